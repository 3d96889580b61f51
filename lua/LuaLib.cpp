#include "lua/LuaLib.h"

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/system.h"

namespace hv {

#define HV_LUA_DEFINE_ENTRY_POINT(name) decltype(&::name) name = nullptr;
HV_LUA_ENTRY_POINTS(HV_LUA_DEFINE_ENTRY_POINT)
#undef HV_LUA_DEFINE_ENTRY_POINT

namespace {

HMODULE libraryHandle = nullptr;
std::string loadError;

std::string& LibraryName() {
    static std::string name = [] {
        auto fromEnvironment = GetEnv(kLuaLibraryEnvironmentVariable);
        if (fromEnvironment && !fromEnvironment->empty()) return *fromEnvironment;
        return std::string(kDefaultLuaLibraryName);
    }();
    return name;
}

// A setter and a getter per entry point, so that binding can walk one table while each variable
// keeps its exact prototype.
struct EntryPointSlot {
    void (*Set)(void* address);
};

#define HV_LUA_SLOT(name) {[](void* address) { name = reinterpret_cast<decltype(name)>(address); }},
const EntryPointSlot kSlots[] = {HV_LUA_ENTRY_POINTS(HV_LUA_SLOT)};
#undef HV_LUA_SLOT

#define HV_LUA_ENTRY(name) {#name, []() -> void* { return reinterpret_cast<void*>(name); }},
const LuaEntryPoint kEntryPoints[] = {HV_LUA_ENTRY_POINTS(HV_LUA_ENTRY)};
#undef HV_LUA_ENTRY

static_assert(std::size(kSlots) == 121 && std::size(kEntryPoints) == 121,
              "the interpreter binding has 121 entry points");

bool HasFolder(const std::string& name) {
    return name.find('/') != std::string::npos || name.find('\\') != std::string::npos;
}

}  // namespace

intptr_t BindLuaLibrary(const std::string& name) {
    ResetLuaEntryPoints();
    if (!name.empty()) LibraryName() = name;
    const std::string& libraryName = LibraryName();

    std::string loadName = libraryName;
    if (HasFolder(libraryName)) {
        if (!FileExists(libraryName)) {
            loadError = "no such file";
            return kLuaLibraryFileMissing;
        }
        // A name with a "/" is taken by the loader as a path, relative to the current folder.
        loadName = ResolvePath(libraryName);
    }
    HMODULE handle = LoadLibrary(loadName);
    if (!handle) {
        loadError = LastLibraryError();
        return kLuaLibraryNotLoadable;
    }
    loadError.clear();
    libraryHandle = handle;

    for (size_t i = 0; i < std::size(kEntryPoints); ++i) {
        void* address = GetProcAddress(handle, kEntryPoints[i].Name);
        if (!address) {
            throw Exception(std::string("Cannot load method '") + kEntryPoints[i].Name +
                            "' from dynamic library.");
        }
        kSlots[i].Set(address);
    }
    return reinterpret_cast<intptr_t>(handle);
}

bool IsLuaLibraryBound() {
    return libraryHandle != nullptr;
}

bool IsLuaLibraryComplete() {
    for (const auto& entry : kEntryPoints) {
        if (!entry.Address()) return false;
    }
    return true;
}

void ResetLuaEntryPoints() {
    for (const auto& slot : kSlots) slot.Set(nullptr);
    if (libraryHandle) {
        FreeLibrary(libraryHandle);
        libraryHandle = nullptr;
    }
}

void SetLuaLibraryName(const std::string& name) {
    LibraryName() = name;
}

std::string GetLuaLibraryName() {
    return LibraryName();
}

HMODULE GetLuaLibraryHandle() {
    return libraryHandle;
}

std::string GetLuaLibraryLoadError() {
    return loadError;
}

std::span<const LuaEntryPoint> LuaEntryPoints() {
    return kEntryPoints;
}

void lua_getglobal(lua_State* L, const char* name) {
    lua_getfield(L, LUA_GLOBALSINDEX, name);
}

const char* lua_tostring(lua_State* L, int index) {
    return lua_tolstring(L, index, nullptr);
}

int luaL_dofile(lua_State* L, const char* fileName) {
    int status = luaL_loadfile(L, fileName);
    if (status != 0) return status;
    return lua_pcall(L, 0, LUA_MULTRET, 0);
}

int luaL_dostring(lua_State* L, const char* text) {
    int status = luaL_loadstring(L, text);
    if (status != 0) return status;
    return lua_pcall(L, 0, LUA_MULTRET, 0);
}

}  // namespace hv
