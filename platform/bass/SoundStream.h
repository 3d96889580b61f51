// A long Ogg Vorbis sound played straight from its file's bytes: decoded a mixing pass at a
// time while it plays instead of whole when it is opened, so that opening a track of minutes
// takes milliseconds and holds the compressed file (hundreds of kilobytes), not its samples
// (tens of megabytes). The samples it produces are those DecodeOggVorbis makes of the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bass/SoundDecoder.h"

struct OggVorbis_File;
struct _SDL_AudioStream;

namespace hv {

// Sounds longer than this, in seconds at the output rate, are streamed; shorter ones are
// decoded whole (they start at once and cost little memory).
constexpr double kStreamAboveSeconds = 10;

class TSoundStream {
public:
    // Opens `bytes` (the whole file, kept by the stream) for the output format `out`; nullptr
    // when it is not an Ogg Vorbis file whose length can be read.
    static std::unique_ptr<TSoundStream> Open(std::string bytes, const TOutputFormat& out);
    ~TSoundStream();
    TSoundStream(const TSoundStream&) = delete;
    TSoundStream& operator=(const TSoundStream&) = delete;

    // The length of the decoded sound at the output format, in bytes (whole frames).
    uint64_t LengthBytes() const { return length_; }
    // Starts reading again at output byte `position` (a frame boundary). Only while the mixer
    // does not read the stream.
    void Seek(uint64_t position);
    // Fills `into` with the next `size` bytes at the output format; after the end, silence (or,
    // with `loop`, the sound again from its beginning). Called on the mixer's thread.
    void Read(uint8_t* into, size_t size, bool loop);
    // True once Read has passed the end of a sound that does not loop.
    bool Ended() const { return ended_.load(std::memory_order_acquire); }

private:
    TSoundStream(std::string bytes, const TOutputFormat& out, uint64_t length);
    // Opens the decoder at the file's start; false when the file cannot be read.
    bool Rewind();
    // Decodes more of the file into the converter; false at the end of the data.
    bool Decode();
    // Moves up to `size` converted bytes into `into`; the number moved.
    size_t Take(uint8_t* into, size_t size);
    void CloseDecoder();
    // The decoder's reading callback: `source` is the stream.
    static size_t ReadFile(void* into, size_t size, size_t count, void* source);

    std::string bytes_;
    TOutputFormat out_;
    uint64_t length_ = 0;
    size_t at_ = 0;  // read position of the decoder in bytes_
    std::unique_ptr<OggVorbis_File> file_;
    bool open_ = false;
    _SDL_AudioStream* convert_ = nullptr;
    int link_ = -1, channels_ = 0;
    long rate_ = 0;
    std::vector<uint8_t> carry_;  // converted bytes of a finished link not yet taken
    size_t carryAt_ = 0;
    std::atomic<bool> ended_{false};
};

}  // namespace hv
