// The script bundle on any bytes: the stored form's transform must give the bytes back, and the
// decoded text is loaded (compiled, not run) by the real interpreter.
#include "lua/Lua.h"
#include "main/ScriptBundle.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hv;  // the interpreter's entry points are the host's bound ones
    static hv::TLua* lua = new hv::TLua(false);
    const std::string_view bytes = hv::fuzz::Text(data, size);
    const std::string stored = hv::TransformScriptStream(bytes, hv::kBundleKey);
    if (hv::TransformScriptStream(stored, hv::kBundleKey) != bytes) __builtin_trap();
    const std::string text = hv::BundleText(hv::fuzz::Lines(bytes));
    const int top = hv::lua_gettop(lua->State);
    hv::luaL_loadbuffer(lua->State, text.data(), text.size(), "AllLua");
    hv::lua_settop(lua->State, top);
    return 0;
}
