// The form's sound functions: the script opens the output, opens each sound file as a stream
// and keeps the handle; every later call hands that handle back. The form remembers the handles
// it gave out only so that FormDestroy can free what the script left open.
#include <algorithm>
#include <cctype>
#include <limits>

#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "platform/bass/bass.h"
#include "platform/convert.h"
#include "platform/exceptions.h"
#include "platform/files.h"

namespace hv {

namespace {

// The volume attribute for a volume in percent.
float VolumeFraction(lua_Integer percent) {
    return float(double(percent) / 100.0);
}

DWORD HandleArg(lua_State* L, int index) {
    return DWORD(ArgRounded(L, index));
}

}  // namespace

int TMainForm::InitSound(lua_State*) {
    if (BASS_Init(-1, 44100, 0, Handle, nullptr))
        LogEngine().AddHint("Bass_Init");
    else
        LogEngine().AddError("Bass_Init not bass init");
    return 0;
}

int TMainForm::LoadSound(lua_State* L) {
    const std::string name = ArgString(L, 1);
    const std::string path = FileExists(name) ? name : DataPath + name;
    if (!FileExists(path)) {
        lua_pushinteger(L, 0);
        lua_pushinteger(L, 0);
        return 2;
    }
    const HSTREAM handle = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    const QWORD length = BASS_ChannelGetLength(handle, BASS_POS_BYTE);
    const double seconds = BASS_ChannelBytes2Seconds(handle, length);
    if (handle != 0) LoadedSounds.push_back(handle);
    lua_pushnumber(L, lua_Number(handle));
    lua_pushinteger(L, lua_Integer(RoundHalfEven(seconds * 1000.0)));
    return 2;
}

int TMainForm::PlaySound(lua_State* L) {
    const DWORD handle = HandleArg(L, 1);
    BASS_ChannelSetAttribute(handle, BASS_ATTRIB_VOL, VolumeFraction(ArgInteger(L, 2)));
    BASS_ChannelPlay(handle, 1);
    return 0;
}

int TMainForm::StopSound(lua_State* L) {
    const DWORD handle = HandleArg(L, 1);
    BASS_ChannelStop(handle);
    BASS_ChannelSetPosition(handle, 0, BASS_POS_BYTE);
    return 0;
}

int TMainForm::SetVolumeSound(lua_State* L) {
    BASS_ChannelSetAttribute(HandleArg(L, 1), BASS_ATTRIB_VOL, VolumeFraction(ArgInteger(L, 2)));
    return 0;
}

int TMainForm::FreeSounds(lua_State* L) {
    std::string list = ArgString(L, 1);
    if (!list.empty() && list.back() != ';') list += ';';
    // Each part is freed before the next is read, so a part that is not a number stops the
    // list there with the handles before it already freed.
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = list.find(';', start);
        const DWORD handle = DWORD(StrToInt64(std::string_view(list).substr(start, end - start)));
        BASS_StreamFree(handle);
        std::erase(LoadedSounds, handle);
        start = end + 1;
    }
    return 0;
}

void TMainForm::FreeLoadedSounds() {
    for (DWORD handle : LoadedSounds) BASS_StreamFree(handle);
    LoadedSounds.clear();
}

}  // namespace hv
