// The sound output on SDL2_mixer. Streams are decoded whole into mixer chunks when they are
// opened (so their length is known at once and any number can play together); each owns one
// mixer channel for its whole life, so playing, stopping and volume act on that stream alone.
#include "platform/bass/bass.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/bass/alsa_quiet.h"
#include "platform/bass/SoundDecoder.h"
#include "platform/exceptions.h"
#include "platform/files.h"

namespace hv {

namespace {

// Frames per mixing pass: about 23 ms at 44100 Hz.
constexpr int kChunkFrames = 1024;
// Handles stay below 2^31 so that the script's numbers carry them exactly.
constexpr DWORD kLastHandle = 0x7FFFFFFF;

struct TStream {
    Mix_Chunk* Chunk = nullptr;  // the decoded sound, owned
    Mix_Chunk* View = nullptr;   // the part from a start position while it plays; owned, shares
                                 // Chunk's samples
    int Channel = -1;
    float Volume = 1.0f;
    bool Loop = false;
    QWORD Position = 0;         // where a play without restart begins, bytes
    bool PendingStart = false;  // played while the output was paused
    QWORD PendingFrom = 0;
};

struct TOutput {
    bool Open = false;
    bool Paused = false;
    int Frequency = 0;
    int FrameBytes = 4;  // bytes of one sample frame of all channels at the output format
    TOutputFormat Format;
    DWORD NextHandle = 1;
    int ChannelCount = 0;  // mixer channels handed out so far
    std::vector<int> FreeChannels;
    std::unordered_map<DWORD, TStream> Streams;
};

// Never destroyed: the program ends without closing the output (as the original host did), and
// the sounds it loaded must stay with it until the process is gone, not be orphaned by the
// destruction of static objects while the mixer still runs.
TOutput& Output() {
    static TOutput* const output = new TOutput;
    return *output;
}

thread_local int lastError = BASS_OK;

BOOL Fail(int code) {
    lastError = code;
    return 0;
}

BOOL Succeed() {
    lastError = BASS_OK;
    return 1;
}

// The stream of `handle`, or nullptr with BASS_ERROR_INIT / BASS_ERROR_HANDLE set.
TStream* FindStream(DWORD handle) {
    TOutput& out = Output();
    if (!out.Open) {
        lastError = BASS_ERROR_INIT;
        return nullptr;
    }
    auto it = out.Streams.find(handle);
    if (it == out.Streams.end()) {
        lastError = BASS_ERROR_HANDLE;
        return nullptr;
    }
    return &it->second;
}

int MixerVolume(float volume) {
    if (!(volume > 0.0f)) return 0;  // also NaN
    return int(std::lround(std::min(volume, 1.0f) * MIX_MAX_VOLUME));
}

void HaltStream(TStream& s) {
    Mix_HaltChannel(s.Channel);  // returns once the mixer no longer reads the chunk
    if (s.View) {
        Mix_FreeChunk(s.View);
        s.View = nullptr;
    }
    s.PendingStart = false;
}

// Starts the stream's channel at byte `from` (a frame boundary inside the sound).
void StartStream(TStream& s, QWORD from) {
    HaltStream(s);
    if (Output().Paused) {
        s.PendingStart = true;
        s.PendingFrom = from;
        return;
    }
    Mix_Chunk* chunk = s.Chunk;
    if (from > 0 && !s.Loop) {
        if (from >= s.Chunk->alen) return;  // nothing left to play
        s.View = Mix_QuickLoad_RAW(s.Chunk->abuf + from, Uint32(s.Chunk->alen - from));
        if (!s.View) return;
        chunk = s.View;
    }
    Mix_Volume(s.Channel, MixerVolume(s.Volume));
    Mix_PlayChannel(s.Channel, chunk, s.Loop ? -1 : 0);
}

// A mixer channel for a new stream: a freed one, or one more.
int TakeChannel() {
    TOutput& out = Output();
    if (!out.FreeChannels.empty()) {
        const int channel = out.FreeChannels.back();
        out.FreeChannels.pop_back();
        return channel;
    }
    const int channel = out.ChannelCount++;
    if (Mix_AllocateChannels(-1) < out.ChannelCount) Mix_AllocateChannels(out.ChannelCount);
    return channel;
}

void ReleaseStream(TStream& s) {
    HaltStream(s);
    Mix_FreeChunk(s.Chunk);
    s.Chunk = nullptr;
    Output().FreeChannels.push_back(s.Channel);
}

// Reads a whole sound file into `bytes`: a regular file of at most kMaxSoundFileBytes. BASS_OK,
// or the error code for a file that cannot be read, is no regular file (a FIFO, a device) or is
// larger.
int ReadSoundFile(const std::string& path, std::string& bytes) {
    try {
        bytes = ReadFileBytes(path, kMaxSoundFileBytes);
    } catch (const Exception&) {
        return BASS_ERROR_FILEOPEN;
    } catch (const std::bad_alloc&) {
        return BASS_ERROR_MEM;
    }
    return BASS_OK;
}

// Decodes a sound file whole into a chunk at the output's format; nullptr when the file is not
// a sound a stream can hold (see SoundDecoder.h).
Mix_Chunk* DecodeSound(std::string_view sound, const TOutputFormat& format) {
    const TSoundFileKind kind = SniffSoundFile(sound);
    if (kind == TSoundFileKind::Unknown) return nullptr;
    if (kind == TSoundFileKind::Wave && !WaveChunksFit(sound)) return nullptr;
    if (kind == TSoundFileKind::Aiff && !AiffChunksFit(sound)) return nullptr;
    if (kind == TSoundFileKind::OggVorbis) return DecodeOggVorbis(sound, format);
    SDL_RWops* rw = SDL_RWFromConstMem(sound.data(), int(sound.size()));
    if (!rw) return nullptr;
    // The mixer does not close the source on every failure, so it is closed here.
    Mix_Chunk* chunk = Mix_LoadWAV_RW(rw, 0);
    SDL_RWclose(rw);
    const uint64_t limit =
        uint64_t(kMaxSoundSeconds * format.Frequency) * uint64_t(format.FrameBytes);
    if (chunk && chunk->alen > limit) {
        Mix_FreeChunk(chunk);
        return nullptr;
    }
    return chunk;
}

}  // namespace

BOOL BASS_Init(int device, DWORD freq, DWORD, HWND, const void*) {
    TOutput& out = Output();
    if (out.Open) return Fail(BASS_ERROR_ALREADY);
    if (device != -1 && device != 1) return Fail(BASS_ERROR_DEVICE);
    if (freq == 0 || freq > 384000) return Fail(BASS_ERROR_ILLPARAM);
    // A machine without a sound card gets the log's one line, not ALSA's prints.
    SilenceAlsaErrors();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail(BASS_ERROR_DRIVER);
    // Decoders that are missing on this system simply leave their formats undecodable.
    Mix_Init(MIX_INIT_FLAC | MIX_INIT_MP3 | MIX_INIT_OGG | MIX_INIT_OPUS | MIX_INIT_MOD |
             MIX_INIT_MID);
    // No format changes allowed: SDL converts, so the output runs at the rate asked for.
    if (Mix_OpenAudioDevice(int(freq), AUDIO_S16SYS, 2, kChunkFrames, nullptr, 0) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return Fail(BASS_ERROR_DEVICE);
    }
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    out.Frequency = frequency;
    out.FrameBytes = std::max(1, channels * int(SDL_AUDIO_BITSIZE(format) / 8));
    out.Format = {frequency, format, channels, out.FrameBytes};
    out.ChannelCount = 0;
    out.FreeChannels.clear();
    out.Paused = false;
    out.Open = true;
    return Succeed();
}

BOOL BASS_Free() {
    TOutput& out = Output();
    if (!out.Open) return Fail(BASS_ERROR_INIT);
    for (auto& [handle, stream] : out.Streams) ReleaseStream(stream);
    out.Streams.clear();
    out.FreeChannels.clear();
    out.ChannelCount = 0;
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    out.Open = false;
    out.Paused = false;
    return Succeed();
}

int BASS_ErrorGetCode() {
    return lastError;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    TOutput& out = Output();
    if (!out.Open) return Fail(BASS_ERROR_INIT);
    if (!file) return Fail(BASS_ERROR_ILLPARAM);
    if (out.NextHandle > kLastHandle) return Fail(BASS_ERROR_UNKNOWN);

    std::string bytes;  // the file, when it is read from disk
    std::string_view sound;
    if (mem) {
        if (length == 0) return Fail(BASS_ERROR_ILLPARAM);
        if (length > kMaxSoundFileBytes) return Fail(BASS_ERROR_MEM);
        sound = std::string_view(static_cast<const char*>(file) + offset, size_t(length));
    } else {
        const std::string path = ResolvePath(static_cast<const char*>(file));
        if (!FileExists(path)) return Fail(BASS_ERROR_FILEOPEN);
        const int read = ReadSoundFile(path, bytes);
        if (read != BASS_OK) return Fail(read);
        if (offset > bytes.size()) return Fail(BASS_ERROR_ILLPARAM);
        const QWORD available = bytes.size() - offset;
        sound = std::string_view(bytes).substr(
            size_t(offset), size_t(length == 0 ? available : std::min(length, available)));
    }
    Mix_Chunk* chunk = DecodeSound(sound, out.Format);
    if (!chunk) return Fail(BASS_ERROR_FILEFORM);

    const DWORD handle = out.NextHandle++;
    TStream& s = out.Streams[handle];
    s.Chunk = chunk;
    s.Channel = TakeChannel();
    s.Loop = (flags & BASS_SAMPLE_LOOP) != 0;
    lastError = BASS_OK;
    return handle;
}

BOOL BASS_StreamFree(HSTREAM handle) {
    TStream* s = FindStream(handle);
    if (!s) return 0;
    ReleaseStream(*s);
    Output().Streams.erase(handle);
    return Succeed();
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    TStream* s = FindStream(handle);
    if (!s) return QWORD(-1);
    if (mode != BASS_POS_BYTE) {
        lastError = BASS_ERROR_NOTAVAIL;
        return QWORD(-1);
    }
    lastError = BASS_OK;
    return s->Chunk->alen;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    if (!FindStream(handle)) return -1.0;
    const TOutput& out = Output();
    lastError = BASS_OK;
    return double(pos / QWORD(out.FrameBytes)) / double(out.Frequency);
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    TStream* s = FindStream(handle);
    if (!s) return 0;
    if (attrib != BASS_ATTRIB_VOL) return Fail(BASS_ERROR_ILLTYPE);
    s->Volume = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    Mix_Volume(s->Channel, MixerVolume(s->Volume));
    return Succeed();
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    TStream* s = FindStream(handle);
    if (!s) return 0;
    if (attrib != BASS_ATTRIB_VOL || !value) return Fail(BASS_ERROR_ILLTYPE);
    *value = s->Volume;
    return Succeed();
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    TStream* s = FindStream(handle);
    if (!s) return 0;
    if (restart) {
        StartStream(*s, 0);
    } else if (!s->PendingStart && !Mix_Playing(s->Channel)) {
        StartStream(*s, s->Position);
    }
    return Succeed();
}

BOOL BASS_ChannelStop(DWORD handle) {
    TStream* s = FindStream(handle);
    if (!s) return 0;
    HaltStream(*s);
    return Succeed();
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    TStream* s = FindStream(handle);
    if (!s) return 0;
    if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_NOTAVAIL);
    if (pos > s->Chunk->alen) return Fail(BASS_ERROR_POSITION);
    s->Position = pos - pos % QWORD(Output().FrameBytes);
    if (s->PendingStart)
        s->PendingFrom = s->Position;
    else if (Mix_Playing(s->Channel))
        StartStream(*s, s->Position);
    return Succeed();
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    TStream* s = FindStream(handle);
    if (!s) return BASS_ACTIVE_STOPPED;
    lastError = BASS_OK;
    if (s->PendingStart) return BASS_ACTIVE_PAUSED;
    if (!Mix_Playing(s->Channel)) return BASS_ACTIVE_STOPPED;
    return Mix_Paused(s->Channel) ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_PLAYING;
}

BOOL BASS_Pause() {
    TOutput& out = Output();
    if (!out.Open) return Fail(BASS_ERROR_INIT);
    // The mixer marks a paused channel with the current tick, and a mark of 0 reads as "not
    // paused": in the first millisecond after SDL started a pause would be lost.
    while (SDL_GetTicks() == 0) SDL_Delay(1);
    Mix_Pause(-1);
    out.Paused = true;
    return Succeed();
}

BOOL BASS_Start() {
    TOutput& out = Output();
    if (!out.Open) return Fail(BASS_ERROR_INIT);
    if (out.Paused) {
        out.Paused = false;
        Mix_Resume(-1);
        for (auto& [handle, stream] : out.Streams)
            if (stream.PendingStart) StartStream(stream, stream.PendingFrom);
    }
    return Succeed();
}

}  // namespace hv
