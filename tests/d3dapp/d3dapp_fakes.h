// Stand-ins for what the framework drives: a device whose co-operative level the test sets, a
// main form that records the calls it receives, and an application that counts its frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "d3dapp/D3DApp.h"
#include "log/KavLogEngine.h"

namespace hv::test {

class FakeDevice : public IDirect3DDevice9 {
public:
    HRESULT Level = D3D_OK;

    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT TestCooperativeLevel() override { return Level; }
    HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return E_NOTIMPL; }
    HRESULT BeginScene() override { return E_NOTIMPL; }
    HRESULT EndScene() override { return E_NOTIMPL; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetTexture(DWORD, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
    HRESULT SetFVF(DWORD) override { return E_NOTIMPL; }
    HRESULT GetFVF(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer9*, UINT, UINT) override {
        return E_NOTIMPL;
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9**,
                               void*) override {
        return E_NOTIMPL;
    }
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**,
                          void*) override {
        return E_NOTIMPL;
    }
    HRESULT EvictManagedResources() override { return E_NOTIMPL; }
    HRESULT GetDeviceCaps(D3DCAPS9*) override { return E_NOTIMPL; }
};

class FakeForm : public TD3DAppForm {
public:
    std::vector<std::string> Calls;
    HWND Wnd = nullptr;
    bool FullScreen = false;
    FakeDevice DeviceObject;
    bool HasDevice = true;
    HRESULT InitResult = S_OK;
    bool SwitchFails = false;      // ChangeWindowMode leaves the mode as it was
    RECT Rect{100, 50, 906, 682};  // the window's planned outer rectangle

    void SetWindowHandle(HWND wnd) override {
        Wnd = wnd;
        Calls.push_back("SetWindowHandle");
    }
    void SetFullScreenFlag(int32_t fullScreen) override {
        FullScreen = fullScreen == 1;
        Calls.push_back("SetFullScreenFlag " + std::to_string(fullScreen));
    }
    void FormCreate() override { Calls.push_back("FormCreate"); }
    void SetConfigSize(int32_t w, int32_t h) override {
        Calls.push_back("SetConfigSize " + std::to_string(w) + " " + std::to_string(h));
    }
    void CreateResources_Testing() override { Calls.push_back("CreateResources_Testing"); }
    HWND WindowHandle() const override { return Wnd; }
    bool IsFullScreen() const override { return FullScreen; }
    void ChangeWindowMode() override {
        if (!SwitchFails) FullScreen = !FullScreen;
        Calls.push_back("ChangeWindowMode");
    }
    void Call_A_ChangeResolution() override { Calls.push_back("Call_A_ChangeResolution"); }
    IDirect3DDevice9* Device() override { return HasDevice ? &DeviceObject : nullptr; }
    HRESULT RestoreDisplay() override {
        Calls.push_back("RestoreDisplay");
        if (SUCCEEDED(InitResult)) DeviceObject.Level = D3D_OK;
        return InitResult;
    }
    RECT WindowRect() const override { return Rect; }
    void PauseSound() override { Calls.push_back("PauseSound"); }
    void StartSound() override { Calls.push_back("StartSound"); }
};

class TestApp : public CD3DApplication {
public:
    explicit TestApp(FakeForm* form) { MainForm = form; }
    int Frames = 0;
    int Finalized = 0;
    HRESULT InitResult = S_OK;
    std::function<void(TestApp&)> OnFrame;

    HRESULT InitApplication() override { return InitResult; }
    HRESULT RenderFrame() override {
        ++Frames;
        if (OnFrame) OnFrame(*this);
        return S_OK;
    }
    HRESULT FinalizeApplication() override {
        ++Finalized;
        return S_OK;
    }
};

// Each test starts with no pauses, no dialogs, SDL's off-screen video and a log file of its own.
class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("HALVARDINE_NO_DIALOGS", "1", 1);
        PauseCounter = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        const char* tmp = std::getenv("TMPDIR");
        logPath = std::string(tmp ? tmp : "/tmp") + "/hv_d3dapp_" + name + ".log";
        std::remove(logPath.c_str());
        LogEngine().DefaultLogFile = LogEngine().AddLogFile(logPath);
    }
    void TearDown() override {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
        PauseCounter = 0;
    }
    const TLastMessage& LastLogged() const { return LogEngine().DefaultLogFile->LastMessage; }

    std::string logPath;
};

}  // namespace hv::test
