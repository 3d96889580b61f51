#include "platform/bass/SoundDecoder.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace hv {
namespace {

uint32_t LittleEndian32(std::string_view b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

uint32_t BigEndian32(std::string_view b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3]));
}

// Walks the chunks after a 12-byte RIFF or FORM header; chunk bodies are padded to even sizes.
// True when every chunk fits and both `format` and `samples` were seen.
bool ChunksFit(std::string_view b, bool bigEndian, std::string_view format,
               std::string_view samples) {
    bool sawFormat = false, sawSamples = false;
    uint64_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string_view id = b.substr(size_t(at), 4);
        const uint64_t length =
            bigEndian ? BigEndian32(b, size_t(at) + 4) : LittleEndian32(b, size_t(at) + 4);
        if (at + 8 + length > b.size()) return false;
        sawFormat = sawFormat || id == format;
        sawSamples = sawSamples || id == samples;
        at += 8 + length + (length & 1);
    }
    return sawFormat && sawSamples;
}

// Reading an Ogg file from memory.
struct TMemoryFile {
    std::string_view Bytes;
    size_t At = 0;
};

size_t ReadMemory(void* into, size_t size, size_t count, void* source) {
    auto& f = *static_cast<TMemoryFile*>(source);
    const size_t wanted = size * count;
    const size_t n = std::min(wanted, f.Bytes.size() - f.At);
    std::memcpy(into, f.Bytes.data() + f.At, n);
    f.At += n;
    return size ? n / size : 0;
}

}  // namespace

TSoundFileKind SniffSoundFile(std::string_view b) {
    auto starts = [&](std::string_view magic, size_t at = 0) {
        return b.size() >= at + magic.size() && b.substr(at, magic.size()) == magic;
    };
    if (starts("RIFF") && starts("WAVE", 8)) return TSoundFileKind::Wave;
    if (starts("FORM") && (starts("AIFF", 8) || starts("AIFC", 8))) return TSoundFileKind::Aiff;
    if (starts("OggS")) return TSoundFileKind::OggVorbis;
    if (starts("fLaC")) return TSoundFileKind::Flac;
    if (starts("ID3")) return TSoundFileKind::Mpeg;
    // An MPEG audio frame: 11 sync bits, a layer other than the reserved 00.
    if (b.size() >= 4 && uint8_t(b[0]) == 0xFF && (uint8_t(b[1]) & 0xE0) == 0xE0 &&
        (uint8_t(b[1]) & 0x06) != 0)
        return TSoundFileKind::Mpeg;
    return TSoundFileKind::Unknown;
}

bool WaveChunksFit(std::string_view bytes) {
    return ChunksFit(bytes, false, "fmt ", "data");
}

bool AiffChunksFit(std::string_view bytes) {
    return ChunksFit(bytes, true, "COMM", "SSND");
}

Mix_Chunk* DecodeOggVorbis(std::string_view bytes, const TOutputFormat& out, double maxSeconds) {
    TMemoryFile file{bytes};
    // Read front to back as a stream: every link of a chained file in order, in one pass (a
    // seekable open bisects the file and, with some encoders' files, loses links).
    const ov_callbacks callbacks{&ReadMemory, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&file, &vf, nullptr, 0, callbacks) != 0) return nullptr;

    const uint64_t limit = uint64_t(maxSeconds * out.Frequency) * uint64_t(out.FrameBytes);
    std::vector<Uint8> samples;
    SDL_AudioStream* convert = nullptr;
    int link = -1, channels = 0;
    long rate = 0;
    char block[4096];
    bool tooLong = false;
    auto drain = [&] {
        const int ready = SDL_AudioStreamAvailable(convert);
        if (ready <= 0) return;
        const size_t at = samples.size();
        samples.resize(at + size_t(ready));
        const int got = SDL_AudioStreamGet(convert, samples.data() + at, ready);
        samples.resize(at + size_t(std::max(got, 0)));
        tooLong = samples.size() > limit;
    };
    while (!tooLong) {
        int section = 0;
        const long n =
            ov_read(&vf, block, sizeof block, SDL_BYTEORDER == SDL_BIG_ENDIAN, 2, 1, &section);
        if (n == OV_HOLE) continue;  // a gap in the data: decoding goes on after it
        if (n <= 0) break;           // the end, or data that cannot be decoded
        const vorbis_info* info = ov_info(&vf, -1);
        if (!info) break;
        if (section != link || info->channels != channels || info->rate != rate) {
            // A new link of a chained file may change the format: convert it on its own.
            if (convert) {
                SDL_AudioStreamFlush(convert);
                drain();
                SDL_FreeAudioStream(convert);
            }
            link = section;
            channels = info->channels;
            rate = info->rate;
            convert = (channels >= 1 && channels <= 8 && rate > 0 && rate <= 384000)
                          ? SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channels), int(rate), out.Format,
                                               Uint8(out.Channels), out.Frequency)
                          : nullptr;
            if (!convert) break;
        }
        if (SDL_AudioStreamPut(convert, block, int(n)) != 0) break;
        drain();
    }
    if (convert) {
        SDL_AudioStreamFlush(convert);
        drain();
        SDL_FreeAudioStream(convert);
    }
    ov_clear(&vf);
    samples.resize(samples.size() - samples.size() % size_t(out.FrameBytes));
    if (tooLong || samples.empty()) return nullptr;

    // A chunk that owns its samples: the mixer frees both when the chunk is freed.
    auto* chunk = static_cast<Mix_Chunk*>(SDL_malloc(sizeof(Mix_Chunk)));
    auto* buffer = static_cast<Uint8*>(SDL_malloc(samples.size()));
    if (!chunk || !buffer) {
        SDL_free(chunk);
        SDL_free(buffer);
        return nullptr;
    }
    std::memcpy(buffer, samples.data(), samples.size());
    chunk->allocated = 1;
    chunk->abuf = buffer;
    chunk->alen = Uint32(samples.size());
    chunk->volume = MIX_MAX_VOLUME;
    return chunk;
}

}  // namespace hv
