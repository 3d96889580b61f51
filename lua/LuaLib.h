// The Lua 5.1 interpreter, bound at run time. Nothing links against a Lua library: the host loads
// one by name (Lua 5.1 itself or LuaJIT, which serve the same C API) and keeps the address of each
// entry point in a process-wide function variable of the same name in namespace hv. Inside
// namespace hv, a call such as lua_gettop(L) and the Lua headers' own macros (lua_pop,
// lua_pushcfunction, lua_isnil, ...) reach these variables; code outside namespace hv must qualify
// (hv::lua_gettop) or it would reach the unlinked library declarations.
//
// The Lua headers are included for their types, constants and macros only.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <lua5.1/lauxlib.h>
#include <lua5.1/lua.h>
#include <lua5.1/lualib.h>

#include "platform/dynlib/dynlib.h"

// Every entry point of the interpreter the host binds, in the order in which they are looked up.
// clang-format off
#define HV_LUA_ENTRY_POINTS(X) \
    /* core */ \
    X(lua_newstate) \
    X(lua_close) \
    X(lua_newthread) \
    X(lua_atpanic) \
    X(lua_gettop) \
    X(lua_settop) \
    X(lua_pushvalue) \
    X(lua_remove) \
    X(lua_insert) \
    X(lua_replace) \
    X(lua_checkstack) \
    X(lua_xmove) \
    /* access */ \
    X(lua_isnumber) \
    X(lua_isstring) \
    X(lua_iscfunction) \
    X(lua_isuserdata) \
    X(lua_type) \
    X(lua_typename) \
    X(lua_equal) \
    X(lua_rawequal) \
    X(lua_lessthan) \
    X(lua_tonumber) \
    X(lua_tointeger) \
    X(lua_toboolean) \
    X(lua_tolstring) \
    X(lua_objlen) \
    X(lua_tocfunction) \
    X(lua_touserdata) \
    X(lua_tothread) \
    X(lua_topointer) \
    /* push */ \
    X(lua_pushnil) \
    X(lua_pushnumber) \
    X(lua_pushinteger) \
    X(lua_pushlstring) \
    X(lua_pushstring) \
    X(lua_pushvfstring) \
    X(lua_pushfstring) \
    X(lua_pushcclosure) \
    X(lua_pushboolean) \
    X(lua_pushlightuserdata) \
    X(lua_pushthread) \
    /* get */ \
    X(lua_gettable) \
    X(lua_getfield) \
    X(lua_rawget) \
    X(lua_rawgeti) \
    X(lua_createtable) \
    X(lua_newuserdata) \
    X(lua_getmetatable) \
    X(lua_getfenv) \
    /* set */ \
    X(lua_settable) \
    X(lua_setfield) \
    X(lua_rawset) \
    X(lua_rawseti) \
    X(lua_setmetatable) \
    X(lua_setfenv) \
    /* calls and misc */ \
    X(lua_call) \
    X(lua_pcall) \
    X(lua_cpcall) \
    X(lua_load) \
    X(lua_dump) \
    X(lua_yield) \
    X(lua_resume) \
    X(lua_status) \
    X(lua_gc) \
    X(lua_error) \
    X(lua_next) \
    X(lua_concat) \
    X(lua_getallocf) \
    X(lua_setallocf) \
    /* debug */ \
    X(lua_getstack) \
    X(lua_getinfo) \
    X(lua_getlocal) \
    X(lua_setlocal) \
    X(lua_getupvalue) \
    X(lua_setupvalue) \
    X(lua_sethook) \
    X(lua_gethook) \
    X(lua_gethookmask) \
    X(lua_gethookcount) \
    /* libraries */ \
    X(luaopen_base) \
    X(luaopen_table) \
    X(luaopen_io) \
    X(luaopen_os) \
    X(luaopen_string) \
    X(luaopen_math) \
    X(luaopen_debug) \
    X(luaopen_package) \
    X(luaL_openlibs) \
    /* auxiliary */ \
    X(luaL_register) \
    X(luaL_getmetafield) \
    X(luaL_callmeta) \
    X(luaL_typerror) \
    X(luaL_argerror) \
    X(luaL_checklstring) \
    X(luaL_optlstring) \
    X(luaL_checknumber) \
    X(luaL_optnumber) \
    X(luaL_checkinteger) \
    X(luaL_optinteger) \
    X(luaL_checkstack) \
    X(luaL_checktype) \
    X(luaL_checkany) \
    X(luaL_newmetatable) \
    X(luaL_checkudata) \
    X(luaL_where) \
    X(luaL_error) \
    X(luaL_checkoption) \
    X(luaL_ref) \
    X(luaL_unref) \
    X(luaL_loadfile) \
    X(luaL_loadbuffer) \
    X(luaL_loadstring) \
    X(luaL_newstate) \
    X(luaL_gsub) \
    X(luaL_findtable) \
    X(luaL_buffinit) \
    X(luaL_prepbuffer) \
    X(luaL_addlstring) \
    X(luaL_addstring) \
    X(luaL_addvalue) \
    X(luaL_pushresult)
// clang-format on

// Five of the helpers below replace macros of the Lua headers with functions over the bound
// entry points.
#undef lua_upvalueindex
#undef lua_getglobal
#undef lua_tostring
#undef luaL_dofile
#undef luaL_dostring

namespace hv {

// The function variables, typed from the interpreter's own prototypes; empty until bound.
#define HV_LUA_DECLARE_ENTRY_POINT(name) extern decltype(&::name) name;
HV_LUA_ENTRY_POINTS(HV_LUA_DECLARE_ENTRY_POINT)
#undef HV_LUA_DECLARE_ENTRY_POINT

// The library loaded when BindLuaLibrary is given no name: the environment variable
// HALVARDINE_LUA_LIBRARY when set and not empty ("libluajit-5.1.so.2" selects LuaJIT), else
// kDefaultLuaLibraryName.
inline constexpr const char* kDefaultLuaLibraryName = "liblua5.1.so.0";
inline constexpr const char* kLuaLibraryEnvironmentVariable = "HALVARDINE_LUA_LIBRARY";

// Results of BindLuaLibrary besides a handle.
inline constexpr intptr_t kLuaLibraryFileMissing = -1;  // a path that names no file
inline constexpr intptr_t kLuaLibraryNotLoadable = -2;  // the loader refused or found nothing

// Binds the interpreter: forgets the current binding (ResetLuaEntryPoints); replaces the library
// name by `name` unless `name` is empty; a name with a folder ("/" or "\") must name an existing
// file (else kLuaLibraryFileMissing), a bare name is left to the loader's search path; loads the
// library (else kLuaLibraryNotLoadable) and looks up every entry point in list order. Returns the
// library handle as a positive number. An entry point the library does not export throws
// Exception "Cannot load method '<name>' from dynamic library."; the library then stays loaded
// with the entry points before that one bound and the rest empty.
intptr_t BindLuaLibrary(const std::string& name);

// True while a library is loaded (a bound library, or one whose binding stopped part-way).
bool IsLuaLibraryBound();

// True when every entry point is bound (a binding that stopped part-way is loaded, not complete).
bool IsLuaLibraryComplete();

// Empties every entry-point variable and unloads the library if one is loaded. Every Lua state
// made with the old library must be closed before.
void ResetLuaEntryPoints();

void SetLuaLibraryName(const std::string& name);
std::string GetLuaLibraryName();

// The handle of the loaded library; nullptr while none is loaded.
HMODULE GetLuaLibraryHandle();

// The loader's explanation of the last failed load (empty when there is none).
std::string GetLuaLibraryLoadError();

// One entry point of the binding list, for diagnostics and checks of the binding.
struct LuaEntryPoint {
    const char* Name;
    void* (*Address)();  // the bound address, nullptr while empty
};
// All entry points, in binding order.
std::span<const LuaEntryPoint> LuaEntryPoints();

// The helpers named after the Lua API, built on the bound entry points. (The sixth,
// luaL_newstate, is the entry-point variable itself.)

// The pseudo-index of a C closure's upvalue `i` (1-based).
constexpr int lua_upvalueindex(int i) {
    return LUA_GLOBALSINDEX - i;
}
// Pushes the global `name`.
void lua_getglobal(lua_State* L, const char* name);
// The value at `index` as text (numbers are converted in place); nullptr when it is neither
// text nor a number.
const char* lua_tostring(lua_State* L, int index);
// Loads and runs a file (all results kept); 0 on success, else the Lua status code with the
// error message on the top of the stack.
int luaL_dofile(lua_State* L, const char* fileName);
// Loads and runs a chunk of text, as luaL_dofile.
int luaL_dostring(lua_State* L, const char* text);

}  // namespace hv
