// A watch over the script's calls: when one call into the script has not returned for
// kLateAfterMs, the script's stack is written to the log once, as a warning, so that a game
// frozen in an endless loop says where it is. The call is not interrupted: the game goes on
// waiting for it.
//
// The watch runs on a thread of its own; what it writes, it writes from the script's thread (a
// count hook set on the late call), since the log and the interpreter belong to that thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "lua/LuaLib.h"

namespace hv {

class TScriptWatchdog {
public:
    static constexpr int kLateAfterMs = 5000;

    explicit TScriptWatchdog(lua_State* L, int lateAfterMs = kLateAfterMs);
    ~TScriptWatchdog();
    TScriptWatchdog(const TScriptWatchdog&) = delete;
    TScriptWatchdog& operator=(const TScriptWatchdog&) = delete;

    // Marks one call into the script; calls made from inside it (the script calling the host
    // calling the script) belong to the outermost one.
    class TCall {
    public:
        explicit TCall(TScriptWatchdog& dog);
        ~TCall();
        TCall(const TCall&) = delete;
        TCall& operator=(const TCall&) = delete;

    private:
        TScriptWatchdog& dog_;
    };

    // The warning text for a call that has run `elapsedMs`, followed by the stack of `L` from
    // its innermost level: "stack traceback:" and one line per level, as Lua writes them.
    static std::string LateCallReport(lua_State* L, uint64_t elapsedMs);

private:
    void Watch();
    static void Hook(lua_State* L, lua_Debug* ar);

    lua_State* L_;
    const std::chrono::milliseconds lateAfter_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    int depth_ = 0;          // nesting of calls on the script's thread
    uint64_t call_ = 0;      // number of the outermost call in progress (or the last one)
    uint64_t reported_ = 0;  // the call whose stack was asked for (0: none)
    std::chrono::steady_clock::time_point started_;
    std::thread thread_;
};

}  // namespace hv
