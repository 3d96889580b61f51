#include "lua/Lua.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "log/KavLogEngine.h"
#include "platform/convert.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/halt.h"
#include "platform/system.h"

namespace hv {

// ---- published-method tables

const TClassInfo& TObject::StaticClassInfo() {
    static const TClassInfo info{"TObject", nullptr, {}};
    return info;
}

const TPublishedMethod* TClassInfo::FindMethod(std::string_view name) const {
    name = name.substr(0, std::min(name.size(), kMaxMethodNameLength));
    for (const TClassInfo* cls = this; cls; cls = cls->Parent) {
        for (const TPublishedMethod& row : cls->Methods) {
            if (name == row.Name) return &row;
        }
    }
    return nullptr;
}

HV_NO_PUBLISHED_METHODS(TLua, TObject)

// ---- argument readers

std::string ArgString(lua_State* L, int index) {
    const char* text = lua_tostring(L, index);
    return text ? std::string(text) : std::string();
}

std::string_view ArgText(lua_State* L, int index) {
    const char* text = lua_tostring(L, index);
    return text ? std::string_view(text) : std::string_view();
}

double ArgNumber(lua_State* L, int index) {
    return lua_tonumber(L, index);
}

namespace {

// The nearest integer to `value`, halves to even, for |value| < 2^51: adding 1.5 * 2^52 leaves
// no bits below the units, so the default rounding mode rounds the sum as wanted, and taking
// the constant away again is exact. The readers below call it for every integer argument of
// every host call; the library's rounding function costs a call each time.
int32_t NearestInt32(double value) {
    static_assert(FLT_EVAL_METHOD == 0, "sums must be rounded to double");
    constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
    return int32_t((value + kShift) - kShift);
}

}  // namespace

lua_Integer ArgInteger(lua_State* L, int index) {
    const double value = lua_tonumber(L, index);
    if (!(value > -2147483648.5 && value < 2147483647.5))
        return std::numeric_limits<int32_t>::min();
    return NearestInt32(value);
}

int32_t ArgRounded(lua_State* L, int index) {
    const double value = lua_tonumber(L, index);
    if (std::isnan(value)) return 0;
    if (value >= double(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= double(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return NearestInt32(value);
}

bool ArgBoolean(lua_State* L, int index) {
    return lua_toboolean(L, index) != 0;
}

// ---- binding the interpreter

namespace {

std::string PackageOf(const std::string& libraryName) {
    if (libraryName.find("luajit") != std::string::npos) return "libluajit-5.1-2";
    return "liblua5.1-0";
}

// The program cannot run a game without its interpreter: say which library is missing and where
// it comes from, and end at once.
[[noreturn]] void StopWithoutLuaLibrary(intptr_t result) {
    const std::string name = GetLuaLibraryName();
    std::string text = "The Lua 5.1 library \"" + name + "\" ";
    if (result == kLuaLibraryFileMissing) {
        text += "does not exist.";
    } else {
        text += "cannot be loaded: " + GetLuaLibraryLoadError() + ".";
    }
    text += " It is provided by the package " + PackageOf(name) + " (apt-get install " +
            PackageOf(name) + "); the environment variable " + kLuaLibraryEnvironmentVariable +
            " names another library (for example libluajit-5.1.so.2).";
    LogEngine().AddError("TLua.Create " + text);
    std::fprintf(stderr, "halvardine: %s\n", text.c_str());
    Halt(1);
}

void EnsureLuaLibrary() {
    if (IsLuaLibraryBound() && IsLuaLibraryComplete()) return;
    // A binding that stopped part-way is tried again, so that the missing entry point is reported
    // instead of an empty one being called.
    const intptr_t result = BindLuaLibrary("");
    if (result <= 0) StopWithoutLuaLibrary(result);
}

}  // namespace

// ---- the host object

void* TLua::CappedAlloc(void* heap, void* block, size_t oldSize, size_t newSize) {
    auto& h = *static_cast<TScriptHeap*>(heap);
    if (!block) oldSize = 0;  // a new block: the interpreter passes no meaningful old size
    if (newSize == 0) {
        std::free(block);
        h.Used -= oldSize;
        return nullptr;
    }
    // Only growth may fail: the interpreter relies on shrinking never failing.
    if (newSize > oldSize && h.Used - oldSize + newSize > h.Limit) return nullptr;
    void* moved = std::realloc(block, newSize);
    if (!moved) return newSize <= oldSize ? block : nullptr;
    h.Used = h.Used - oldSize + newSize;
    return moved;
}

namespace {

size_t ScriptMemoryLimitFromEnvironment() {
    size_t megabytes = TLua::kDefaultScriptMemoryLimitMB;
    if (auto text = GetEnv(TLua::kScriptMemoryEnvironmentVariable)) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(text->c_str(), &end, 10);
        if (end != text->c_str() && *end == '\0' && value > 0 && value < (SIZE_MAX >> 20)) {
            megabytes = size_t(value);
        } else {
            LogEngine().AddWarning(
                std::string("TLua.Create ") + TLua::kScriptMemoryEnvironmentVariable + "=" + *text +
                " is not a number of megabytes; the script's heap is capped at " +
                std::to_string(megabytes) + " MB");
        }
    }
    return megabytes << 20;
}

}  // namespace

TLua::TLua(bool autoRegister) : AutoRegister(autoRegister) {
    EnsureLuaLibrary();
    heap_.Limit = ScriptMemoryLimitFromEnvironment();
    State = lua_newstate(&TLua::CappedAlloc, &heap_);
    if (!State) {
        heap_ = {};
        State = luaL_newstate();
    }
    if (!State) throw Exception("TLua.Create: the Lua state could not be created (out of memory)");
    lua_atpanic(State, &TLua::Panic);
    watchdog_ = std::make_unique<TScriptWatchdog>(State);
    // The base library opened on its own first, then all of them; what the first call leaves on
    // the stack stays there.
    lua_pushcfunction(State, luaopen_base);
    lua_call(State, 0, LUA_MULTRET);
    luaL_openlibs(State);
    if (AutoRegister) RegisterPublishedMethods(this);
}

TLua::~TLua() {
    if (AutoRegister) UnregisterTarget(this);
    // Closing the state runs the script's pending finalizers, which may call host functions: every
    // callback is emptied first, so such a call does nothing, and the records are freed only once
    // no global can reach them.
    for (const auto& callback : Callbacks) {
        callback->Target = nullptr;
        callback->Method = nullptr;
    }
    watchdog_.reset();
    lua_close(State);
    Callbacks.clear();
    retired_.clear();
}

int TLua::Panic(lua_State* L) {
    // An error outside any protected call: the interpreter cannot go on.
    const char* text = lua_tostring(L, -1);
    const std::string message =
        std::string("Unprotected error in the Lua interpreter: ") + (text ? text : "(no message)");
    LogEngine().AddError(message);
    std::fprintf(stderr, "halvardine: %s\n", message.c_str());
    Halt(1);
}

int TLua::RunFile(const std::string& fileName) {
    const int top = lua_gettop(State);
    const std::string path = ResolvePath(fileName);
    TScriptWatchdog::TCall watched(*watchdog_);
    const int status = luaL_dofile(State, path.c_str());
    RethrowHostException(top);
    return status;
}

int TLua::RunString(const std::string& text) {
    const int top = lua_gettop(State);
    TScriptWatchdog::TCall watched(*watchdog_);
    const int status = luaL_dostring(State, text.c_str());
    RethrowHostException(top);
    return status;
}

void TLua::RegisterMethod(const std::string& functionName, const std::string& methodName,
                          TObject* target) {
    const std::string& method = methodName.empty() ? functionName : methodName;
    if (!target) target = this;
    Callbacks.push_back(
        std::make_unique<TCallback>(this, target, target->ClassInfo().FindMethod(method)));
    lua_pushstring(State, functionName.c_str());
    lua_pushlightuserdata(State, Callbacks.back().get());
    lua_pushcclosure(State, &TLua::DispatchHostCall, 1);
    lua_settable(State, LUA_GLOBALSINDEX);
}

void TLua::RegisterPublishedMethods(TObject* target) {
    if (!target) target = this;
    for (const TPublishedMethod& row : target->ClassInfo().Methods) {
        RegisterMethod(row.Name, row.Name, target);
    }
}

void TLua::UnregisterTarget(TObject* target) {
    for (size_t i = Callbacks.size(); i-- > 0;) {
        if (Callbacks[i]->Target != target) continue;
        Callbacks[i]->Target = nullptr;
        Callbacks[i]->Method = nullptr;
        retired_.push_back(std::move(Callbacks[i]));
        Callbacks.erase(Callbacks.begin() + std::ptrdiff_t(i));
    }
}

// Runs the callback's method. A C++ exception is kept in the owner and reported as -1; the caller
// raises the Lua error from a frame without C++ objects, since raising it unwinds (or jumps) past
// the frames in between. The interpreter's own unwinding (LuaJIT raises errors as foreign
// exceptions) passes through untouched.
int TLua::InvokeCallback(TCallback& callback, lua_State* L) {
    // No C++ object may be alive across the method call: an interpreter error raised inside it
    // (Lua 5.1 jumps with longjmp) would skip its destructor.
    TLua& owner = *callback.Owner;
    try {
        const int results = callback.Method->Method(*callback.Target, L);
        // A count beyond what is on the stack would hand the interpreter values that do not
        // exist.
        return std::clamp(results, 0, lua_gettop(L));
    } catch (const Exception& e) {
        owner.KeepHostException(callback, e.Message());
    } catch (const std::exception& e) {
        owner.KeepHostException(callback, e.what());
    } catch (...) {
        // Not a C++ exception (no exception_ptr can hold it): the interpreter unwinding.
        if (!std::current_exception()) throw;
        owner.KeepHostException(callback, "unknown exception");
    }
    return -1;
}

void TLua::KeepHostException(const TCallback& callback, const std::string& reason) {
    hostException_ = std::current_exception();
    hostExceptionText_ = std::string(callback.Method->Name) + ": " + reason;
}

int TLua::DispatchHostCall(lua_State* L) {
    // The debug library can replace the upvalue with any value; only a record is followed.
    if (lua_type(L, lua_upvalueindex(1)) != LUA_TLIGHTUSERDATA) return 0;
    auto* callback =
        static_cast<TCallback*>(const_cast<void*>(lua_topointer(L, lua_upvalueindex(1))));
    if (!callback || !callback->Method || !callback->Target) return 0;
    TLua& owner = *callback->Owner;
    const int results = owner.hostException_ ? -1 : InvokeCallback(*callback, L);
    if (results >= 0) return results;
    lua_pushstring(L, owner.hostExceptionText_.c_str());
    return lua_error(L);
}

int TLua::ProtectedCall(int nargs, int nresults) {
    const int base = lua_gettop(State) - nargs - 1;
    TScriptWatchdog::TCall watched(*watchdog_);
    const int status = lua_pcall(State, nargs, nresults, 0);
    RethrowHostException(base);
    return status;
}

void TLua::RethrowHostException(int top) {
    if (!hostException_) return;
    std::exception_ptr e = std::exchange(hostException_, nullptr);
    hostExceptionText_.clear();
    lua_settop(State, top);
    std::rethrow_exception(e);
}

}  // namespace hv
