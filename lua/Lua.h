// The Lua host object: one Lua state, script text run in it, and methods of host objects made
// callable from the script as global functions.
//
// Published methods. A class publishes methods through a table of rows, each a name and a member
// function, declared once per class in declaration order. A method meant for the script follows
// the script-function convention:
//   int Method(lua_State* L);
// it reads its arguments by position (see the Arg* readers below: missing or wrong arguments read
// as 0, empty text or false, never a script error), pushes its results and returns how many it
// pushed. Methods that take other arguments may be published as inert rows: their names become
// globals too, and calling one from the script does nothing and returns no results.
//
// Declaring a class with published methods:
//   class TGame : public TObject {               // or any class derived from TObject
//       HV_PUBLISHED_CLASS(TGame)
//   public:
//       int DrawThing(lua_State* L);
//       void Draw();                             // not for the script
//   };
//   // in exactly one .cpp file, the class's one list of published methods:
//   HV_PUBLISHED_METHODS(TGame, TObject,
//       HV_PUBLISH(TGame, DrawThing),
//       HV_PUBLISH_INERT(TGame, Draw))
//   // a class that publishes nothing of its own:
//   HV_NO_PUBLISHED_METHODS(TOther, TGame)
//
// Host code and Lua errors. A C++ exception never unwinds through the interpreter: the one C
// function behind every host function catches it, keeps it in its TLua and raises a Lua error;
// every host call into the script (RunFile, RunString, CallScript) re-throws the kept exception
// when lua_pcall returns, so the exception reaches the host's caller intact, also from calls whose
// script errors are otherwise ignored. Once a host function has failed, further host functions
// called before control returns to the host raise the same Lua error at once, so a script that
// catches the error with pcall cannot carry on drawing or saving as if nothing had happened.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "lua/LuaLib.h"
#include "lua/ScriptWatchdog.h"

namespace hv {

class TObject;

// A published method, type-erased: calls the member function on `target` (which is an object of
// the class that declared the row) and returns the number of results it pushed.
using TPublishedThunk = int (*)(TObject& target, lua_State* L);

struct TPublishedMethod {
    const char* Name;
    TPublishedThunk Method;
    bool ForScript;  // false for inert rows: methods with other arguments than the Lua state
};

// The published-method table of one class and the link to its base class's table.
struct TClassInfo {
    const char* ClassName;
    const TClassInfo* Parent;                   // nullptr for the root class
    std::span<const TPublishedMethod> Methods;  // this class's own rows, in declaration order

    // Longest method name looked up; longer names are cut to this length first.
    static constexpr size_t kMaxMethodNameLength = 255;

    // The row named `name` (compared exactly, after the cut), searched in this class and then in
    // its base classes; nullptr when there is none.
    const TPublishedMethod* FindMethod(std::string_view name) const;
};

// The root of every class whose methods can be published.
class TObject {
public:
    virtual ~TObject() = default;
    // The published-method table of the object's own class.
    virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
    static const TClassInfo& StaticClassInfo();
};

namespace published_detail {

template <typename T>
struct MemberOf;
template <typename C, typename R, typename... A>
struct MemberOf<R (C::*)(A...)> {
    using Class = C;
};

// Calls the script method `M` on a target known to be of the class that declared the row (or one
// derived from it).
template <auto M>
int Call(TObject& target, lua_State* L) {
    using C = typename MemberOf<decltype(M)>::Class;
    return (static_cast<C&>(target).*M)(L);
}

inline int Inert(TObject&, lua_State*) {
    return 0;
}

template <typename C>
using ScriptMethod = int (C::*)(lua_State*);

template <auto M>
TPublishedMethod ScriptRow(const char* name) {
    return {name, &Call<M>, true};
}

}  // namespace published_detail

// In the class body: the class's table accessors.
#define HV_PUBLISHED_CLASS(Class)                        \
public:                                                  \
    const ::hv::TClassInfo& ClassInfo() const override { \
        return StaticClassInfo();                        \
    }                                                    \
    static const ::hv::TClassInfo& StaticClassInfo();    \
                                                         \
private:

// A row for a script method `int Class::Name(lua_State*)`.
#define HV_PUBLISH(Class, Name)                                                                   \
    ::hv::published_detail::ScriptRow<::hv::published_detail::ScriptMethod<Class>(&Class::Name)>( \
        #Name)

// A row for a published method that is not for the script (other arguments); the member must
// exist.
#define HV_PUBLISH_INERT(Class, Name)                                                           \
    ::hv::TPublishedMethod {                                                                    \
        (static_cast<void>(sizeof(&Class::Name)), #Name), &::hv::published_detail::Inert, false \
    }

// The one list of published methods of `Class` (whose base is `Base`), in declaration order.
#define HV_PUBLISHED_METHODS(Class, Base, ...)                                         \
    const ::hv::TClassInfo& Class::StaticClassInfo() {                                 \
        static const ::hv::TPublishedMethod methods[] = {__VA_ARGS__};                 \
        static const ::hv::TClassInfo info{#Class, &Base::StaticClassInfo(), methods}; \
        return info;                                                                   \
    }

#define HV_NO_PUBLISHED_METHODS(Class, Base)                                      \
    const ::hv::TClassInfo& Class::StaticClassInfo() {                            \
        static const ::hv::TClassInfo info{#Class, &Base::StaticClassInfo(), {}}; \
        return info;                                                              \
    }

class TLua;

// Ties one global script function to one published method of one object.
class TCallback {
public:
    TCallback(TLua* owner, TObject* target, const TPublishedMethod* method)
        : Owner(owner), Target(target), Method(method) {}

    TLua* Owner;                     // the host object whose state holds the global
    TObject* Target;                 // not owned; nullptr once the target was unregistered
    const TPublishedMethod* Method;  // nullptr when the class has no method of that name
};

// Argument readers of the script-function convention. Positions start at 1; none of them raises
// a script error.
// Text: numbers as their text; anything else (missing, nil, table, boolean) as "".
std::string ArgString(lua_State* L, int index);
// The same text without a copy, for host functions that only read it: valid until the host
// function returns (the argument stays on the script's stack); its end is followed by a NUL.
std::string_view ArgText(lua_State* L, int index);
// A real number: numbers and numeric text; anything else 0.
double ArgNumber(lua_State* L, int index);
// An integer as the game's original 32-bit interpreter converts it: the nearest integer, halves
// to even (a 64-bit interpreter's lua_tointeger would drop the fraction instead, moving things by
// a pixel); a value outside the 32-bit range, or not a number, reads as -2^31, the processor's
// "integer indefinite". Missing or non-numeric arguments read as 0.
lua_Integer ArgInteger(lua_State* L, int index);
// An integer taken from a real (handles, indexes): the nearest integer, halves to even; values
// outside the 32-bit range saturate.
int32_t ArgRounded(lua_State* L, int index);
// A flag: false for missing, nil and false; true for anything else.
bool ArgBoolean(lua_State* L, int index);

// An optional argument: `read` (one of the readers above, or one built on them) applied to
// argument `index` when the script passed at least that many arguments, `fallback` when it did
// not. A nil the script passed counts as given and reads as `read` reads nil.
template <class Reader>
auto ArgOr(lua_State* L, int index, Reader read,
           std::invoke_result_t<Reader, lua_State*, int> fallback) {
    return lua_gettop(L) >= index ? read(L, index) : fallback;
}

// Put between the name of a script function the host calls and Lua's message when the script
// does not define that function.
inline constexpr std::string_view kNotDefined = " is not defined by the script: ";

class TLua : public TObject {
    HV_PUBLISHED_CLASS(TLua)

public:
    // Binds the interpreter if it is not bound yet (a library that cannot be loaded stops the
    // program with a message naming it and the package that provides it), opens a state with
    // all standard libraries, and, when `autoRegister`, registers the published methods of this
    // class. A class derived from TLua that publishes methods of its own registers them in its
    // own constructor when AutoRegister is set, since a constructor sees only its own class.
    explicit TLua(bool autoRegister);
    // Unregisters this object when AutoRegister, frees the callbacks and closes the state.
    ~TLua() override;
    TLua(const TLua&) = delete;
    TLua& operator=(const TLua&) = delete;

    // The script's heap is capped: an allocation past the cap fails inside the interpreter, which
    // raises its own "not enough memory" error, so a script that allocates without end is
    // reported while the host still has memory to report it. The cap is
    // kDefaultScriptMemoryLimitMB, or the megabytes given by the environment variable
    // kScriptMemoryEnvironmentVariable. An interpreter that takes no allocator of the host's
    // (LuaJIT on some 64-bit builds) runs without the cap; ScriptMemoryLimit() is then 0.
    static constexpr size_t kDefaultScriptMemoryLimitMB = 2048;
    static constexpr const char* kScriptMemoryEnvironmentVariable = "HALVARDINE_SCRIPT_MEMORY_MB";
    size_t ScriptMemoryLimit() const { return heap_.Limit; }
    // Bytes the interpreter holds now (0 when running without the cap).
    size_t ScriptMemoryInUse() const { return heap_.Used; }
    // Changes the cap (bytes; 0: none); memory already held stays held.
    void SetScriptMemoryLimit(size_t bytes) {
        if (heap_.Limit) heap_.Limit = bytes ? bytes : SIZE_MAX;
    }

    // Runs a script file (a host path) or a chunk of text. 0 on success, else the Lua status with
    // the error message on the top of the stack (on success the chunk's results stay there).
    // A host exception raised inside is re-thrown instead.
    virtual int RunFile(const std::string& fileName);
    virtual int RunString(const std::string& text);

    // Makes the global `functionName` call the published method `methodName` (empty: the same
    // name) of `target` (nullptr: this object). A name with no such method is registered all the
    // same and does nothing when called. Registering a name again replaces the global.
    virtual void RegisterMethod(const std::string& functionName, const std::string& methodName = "",
                                TObject* target = nullptr);
    // Registers every published method declared by `target`'s own class (not its bases'), in
    // declaration order, under its own name.
    void RegisterPublishedMethods(TObject* target);
    // Forgets every callback of `target`. The globals stay; calling one does nothing.
    void UnregisterTarget(TObject* target);

    // The C function behind every registered global; its one upvalue is the TCallback.
    static int DispatchHostCall(lua_State* L);

    // Calls the global script function `name` with the arguments pushed by `pushArgs` (which
    // pushes them and returns how many), taking no results. Leaves the stack as it found it.
    // Returns the Lua status; on failure `message` gets the error text (empty when the error value
    // is not text), which for a global the script does not define begins with the name:
    // "A_MouseUp is not defined by the script: attempt to call a nil value". A host exception
    // raised inside is re-thrown.
    template <typename PushArgs>
    int CallScript(const char* name, PushArgs&& pushArgs, std::string& message);

    // Runs lua_pcall and re-throws a host exception kept during the call. The stack is left as
    // lua_pcall leaves it when there is no host exception. Every protected call the host makes
    // goes through here (or CallScript, RunFile, RunString), so that no kept exception is lost.
    int ProtectedCall(int nargs, int nresults);

    bool AutoRegister;
    std::vector<std::unique_ptr<TCallback>> Callbacks;
    lua_State* State = nullptr;

protected:
    // Re-throws the host exception kept during a call, if any, after restoring the stack top.
    void RethrowHostException(int top);

private:
    static int InvokeCallback(TCallback& callback, lua_State* L);
    // Inside a catch handler: keeps the exception being handled for the host's caller.
    void KeepHostException(const TCallback& callback, const std::string& reason);
    static int Panic(lua_State* L);

    struct TScriptHeap {
        size_t Used = 0;
        size_t Limit = 0;  // 0: the interpreter allocates on its own
    };
    // lua_Alloc over malloc that refuses to grow the heap past heap_.Limit.
    static void* CappedAlloc(void* heap, void* block, size_t oldSize, size_t newSize);
    TScriptHeap heap_;
    // Logs where the script is when one call has run too long; lives as long as the state.
    std::unique_ptr<TScriptWatchdog> watchdog_;

    // Callbacks removed by UnregisterTarget: their globals may still be called, so the records
    // stay (emptied) until the state is closed.
    std::vector<std::unique_ptr<TCallback>> retired_;
    // The host exception caught by DispatchHostCall, kept until the host's pcall returns.
    std::exception_ptr hostException_;
    std::string hostExceptionText_;
};

template <typename PushArgs>
int TLua::CallScript(const char* name, PushArgs&& pushArgs, std::string& message) {
    const int top = lua_gettop(State);
    lua_getglobal(State, name);
    const bool defined = !lua_isnil(State, -1);
    const int nargs = pushArgs(State);
    const int status = ProtectedCall(nargs, 0);
    const char* text = status != 0 ? lua_tostring(State, -1) : nullptr;
    message = text ? text : "";
    // Lua's own message does not say which function was missing.
    if (status != 0 && !defined) message = name + std::string(kNotDefined) + message;
    lua_settop(State, top);
    return status;
}

}  // namespace hv
