// The game script engine: runs the game's script bundle and calls the script's entry functions for
// start-up, every frame, loading progress and input events. A script error is logged with the
// script lines around the failing line and raised as an exception that carries the same report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lua/Lua.h"
#include "platform/exceptions.h"

namespace hv {

// A script error report. Shown as the general exception class by the failure report; the own
// type lets a caller tell a script error from other failures.
class EScriptReport : public EScriptError {
public:
    using EScriptError::EScriptError;
    const char* ClassName() const noexcept override { return "Exception"; }
};

class TMyLua : public TLua {
    HV_PUBLISHED_CLASS(TMyLua)

public:
    explicit TMyLua(bool autoRegister);
    ~TMyLua() override;

    // Runs the script text once (its lines joined, each ended by CR LF), keeping a copy of the
    // lines for error excerpts. A script error is reported through WriteErrorLines.
    void Start(const std::vector<std::string>& script);

    // Every call below calls one script function with the listed arguments and takes no results;
    // the Lua stack is left as it was. A script error (a missing function included) is reported
    // through WriteErrorLines, except in SendKeyDown, where it is ignored. A host exception raised
    // by a host function during the call passes out unchanged.

    // "A_Init"(elapsed, 0, 1, 1, effects, startName, fullScreen); EngineStarted on success.
    void StartEngine(int32_t elapsed, const std::string& effects, const std::string& startName,
                     bool fullScreen);
    // "A_Loading"(elapsed, progress).
    void Loading(int32_t elapsed, int32_t progress);
    // "A_Update"(elapsed).
    void Update(int32_t elapsed);
    // "A_MouseMove"(oldX, oldY, x, y), with e1..e4 appended when any of them is not 0.
    void MouseMove(int32_t oldX, int32_t oldY, int32_t x, int32_t y, int32_t e1, int32_t e2,
                   int32_t e3, int32_t e4);
    // "A_MouseDown"(x, y), with e1, e2 appended when both are not 0.
    void SendMouseDown(int32_t x, int32_t y, int32_t e1, int32_t e2);
    // "A_MouseUp", as SendMouseDown.
    void SendMouseUp(int32_t x, int32_t y, int32_t e1, int32_t e2);
    // "A_KeyDown"(key, code), each as a 16-bit unsigned value. Script errors are ignored.
    void SendKeyDown(int32_t key, int32_t code);
    // "A_KeyUp"(key), as a 16-bit unsigned value.
    void SendKeyUp(int32_t key);
    // "A_KeyPress"(the one-character text of `ch`, a Unicode code point, as UTF-8). Code points
    // that are not characters (surrogates, beyond U+10FFFF) arrive as U+FFFD.
    void SendKeyPress(char32_t ch);

    // Logs the error message and the script lines around the failing line, then throws
    // EScriptReport with the report: CR LF, the message, and for each excerpt line CR LF, the line
    // number in brackets right-aligned to six places, ": " and the line's text.
    [[noreturn]] void WriteErrorLines(const std::string& message);

    bool EngineStarted = false;
    std::vector<std::string> ScriptLines;  // line i is script line i + 1

private:
    // "A_MouseDown" or "A_MouseUp"(x, y), with e1, e2 appended when both are not 0.
    void SendMouseButton(const char* name, int32_t x, int32_t y, int32_t e1, int32_t e2);
    // Calls the script function and reports its error; `ignoreErrors` for A_KeyDown.
    template <typename PushArgs>
    void CallEntry(const char* name, PushArgs&& pushArgs, bool ignoreErrors = false);
};

// The failing line named by a Lua error message ("[string \"...\"]:n: text" gives n), or 0 when
// the message names none.
int64_t ErrorLineOfMessage(const std::string& message);

}  // namespace hv
