// A main form on the recording device, in a fresh game folder, with its own log file: the set-up
// the form's drawing, picture, display and frame tests share. Tests call StartForm (or set the
// form up themselves) and read the recorded device calls.
#pragma once

#include <string>
#include <vector>

#include "TempFolder.h"
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "tests/common/ScriptText.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv::test {

class RecordedFormTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        logName = name + ".log";
        logFile = LogEngine().AddLogFile(root.string() + "/" + logName);
        LogEngine().DefaultLogFile = logFile;
        SetDesktopSizeQuery([this] { return desktop; });
        SetVideoMemoryQuery([this] { return vidMem; });
        SetDirect3DCreate9Factory([this](UINT) -> IDirect3D9* {
            if (noDirect3D) return nullptr;
            auto* d3d = new RecordingDirect3D9();
            d3d->DesktopMode = {UINT(desktop.Width), UINT(desktop.Height), 60, D3DFMT_X8R8G8B8};
            d3d->Modes = modes;
            return d3d;
        });
    }
    void TearDown() override {
        form.KavSurfaceEngine3D.reset();
        SetDirect3DCreate9Factory(nullptr);
        SetVideoMemoryQuery(nullptr);
        SetDesktopSizeQuery(nullptr);
        // The folder goes with the test: its log must not get a footer at program end.
        logFile->Disabled = true;
        LogEngine().DefaultLogFile = nullptr;
        TempFolderTest::TearDown();
    }

    // The form's start-up for the desktop, full screen or windowed, with its script engine.
    void StartForm(bool fullScreen = false) {
        FullScreenFlag = fullScreen ? 1 : 0;
        form.FormCreate();
        form.StartScriptEngine();
    }
    void Run(const std::string& code) { RunScript(*form.ScriptEngine, code); }
    std::string Eval(const std::string& expression) {
        return EvalScript(*form.ScriptEngine, expression);
    }
    std::string Log() { return Read(logName); }
    bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
    lua_State* L() { return form.ScriptEngine->State; }
    TKavSurfaceEngine3D& Engine() { return *form.KavSurfaceEngine3D; }
    RecordingDevice& Device() { return *static_cast<RecordingDevice*>(Engine().Device.Get()); }

    TWindowSize desktop{1024, 768};
    std::vector<D3DDISPLAYMODE> modes{{1024, 768, 60, D3DFMT_X8R8G8B8}};
    DWORD vidMem = 128000000;
    bool noDirect3D = false;  // Direct3D cannot be had at all
    TLogFile* logFile = nullptr;
    std::string logName;
    TMainForm form;
};

}  // namespace hv::test
