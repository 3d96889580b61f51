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

// Strict 64-bit integer reading: optional leading blanks, an optional sign, then decimal digits
// or a hexadecimal form introduced by "$", "0x" or "0X" (up to 64 bits, "$FFFFFFFFFFFFFFFF" is
// -1); nothing may follow. Throws EConvertError "'TEXT' is not a valid integer value".
int64_t StrToInt64(std::string_view text) {
    auto fail = [&]() -> int64_t {
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    };
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    const uint64_t limit = base == 16 ? std::numeric_limits<uint64_t>::max()
                                      : uint64_t(std::numeric_limits<int64_t>::max()) + 1;
    uint64_t magnitude = 0;
    size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && std::isxdigit((unsigned char)c))
            d = std::tolower(c) - 'a' + 10;
        if (d < 0) break;
        if (magnitude > (limit - uint64_t(d)) / uint64_t(base)) return fail();
        magnitude = magnitude * uint64_t(base) + uint64_t(d);
    }
    if (digits == 0 || i != text.size()) return fail();
    if (base == 10 && !negative && magnitude == limit) return fail();
    const uint64_t bits = negative ? ~magnitude + 1 : magnitude;
    return int64_t(bits);
}

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
