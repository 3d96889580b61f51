#include "platform/bass/SoundStream.h"

#include <SDL.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hv {
namespace {

// Reading an Ogg file from memory with seeking, for the open that reads the length.
struct TMemoryReader {
    const std::string& Bytes;
    size_t At = 0;
};

size_t ReadMemory(void* into, size_t size, size_t count, void* source) {
    auto& r = *static_cast<TMemoryReader*>(source);
    const size_t n = std::min(size * count, r.Bytes.size() - r.At);
    std::memcpy(into, r.Bytes.data() + r.At, n);
    r.At += n;
    return size ? n / size : 0;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
    auto& r = *static_cast<TMemoryReader*>(source);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? int64_t(r.At)
                                              : int64_t(r.Bytes.size());
    const int64_t to = base + offset;
    if (to < 0 || to > int64_t(r.Bytes.size())) return -1;
    r.At = size_t(to);
    return 0;
}

long TellMemory(void* source) {
    return long(static_cast<TMemoryReader*>(source)->At);
}

// The decoded length of all links of the file, in frames at `rate`; 0 when the file cannot be
// opened for seeking or a link's length is unknown.
uint64_t LengthFrames(const std::string& bytes, int rate) {
    TMemoryReader reader{bytes};
    const ov_callbacks callbacks{&ReadMemory, &SeekMemory, nullptr, &TellMemory};
    OggVorbis_File vf;
    if (ov_open_callbacks(&reader, &vf, nullptr, 0, callbacks) != 0) return 0;
    double frames = 0;
    for (long link = 0; link < ov_streams(&vf); ++link) {
        const vorbis_info* info = ov_info(&vf, int(link));
        const ogg_int64_t samples = ov_pcm_total(&vf, int(link));
        if (!info || info->rate <= 0 || samples < 0) {
            frames = 0;
            break;
        }
        frames += double(samples) * rate / double(info->rate);
    }
    ov_clear(&vf);
    return uint64_t(std::floor(frames));
}

}  // namespace

std::unique_ptr<TSoundStream> TSoundStream::Open(std::string bytes, const TOutputFormat& out) {
    if (SniffSoundFile(bytes) != TSoundFileKind::OggVorbis || out.FrameBytes <= 0) return nullptr;
    const uint64_t frames = LengthFrames(bytes, out.Frequency);
    if (frames == 0) return nullptr;
    std::unique_ptr<TSoundStream> s(
        new TSoundStream(std::move(bytes), out, frames * uint64_t(out.FrameBytes)));
    if (!s->Rewind()) return nullptr;
    return s;
}

TSoundStream::TSoundStream(std::string bytes, const TOutputFormat& out, uint64_t length)
    : bytes_(std::move(bytes)), out_(out), length_(length), file_(new OggVorbis_File) {
    // Room for what a finished link leaves in its converter, so the mixer's thread does not
    // allocate while it plays.
    carry_.reserve(1 << 16);
}

TSoundStream::~TSoundStream() {
    CloseDecoder();
}

size_t TSoundStream::ReadFile(void* into, size_t size, size_t count, void* source) {
    auto& s = *static_cast<TSoundStream*>(source);
    const size_t n = std::min(size * count, s.bytes_.size() - s.at_);
    std::memcpy(into, s.bytes_.data() + s.at_, n);
    s.at_ += n;
    return size ? n / size : 0;
}

void TSoundStream::CloseDecoder() {
    if (open_) ov_clear(file_.get());
    open_ = false;
    if (convert_) SDL_FreeAudioStream(convert_);
    convert_ = nullptr;
    link_ = -1;
    channels_ = 0;
    rate_ = 0;
    carry_.clear();
    carryAt_ = 0;
}

bool TSoundStream::Rewind() {
    CloseDecoder();
    at_ = 0;
    ended_.store(false, std::memory_order_release);
    // Front to back, as DecodeOggVorbis reads: every link of a chained file in order.
    const ov_callbacks callbacks{&TSoundStream::ReadFile, nullptr, nullptr, nullptr};
    if (ov_open_callbacks(this, file_.get(), nullptr, 0, callbacks) != 0) return false;
    open_ = true;
    return true;
}

bool TSoundStream::Decode() {
    if (!open_) return false;
    char block[4096];
    for (;;) {
        int section = 0;
        const long n = ov_read(file_.get(), block, sizeof block, SDL_BYTEORDER == SDL_BIG_ENDIAN, 2,
                               1, &section);
        if (n == OV_HOLE) continue;  // a gap in the data: decoding goes on after it
        if (n <= 0) break;           // the end, or data that cannot be decoded
        const vorbis_info* info = ov_info(file_.get(), -1);
        if (!info) break;
        if (section != link_ || info->channels != channels_ || info->rate != rate_) {
            // A new link may change the format: what the old converter holds is kept aside and
            // the link gets a converter of its own.
            if (convert_) {
                SDL_AudioStreamFlush(convert_);
                const int ready = SDL_AudioStreamAvailable(convert_);
                if (ready > 0) {
                    carry_.erase(carry_.begin(), carry_.begin() + long(carryAt_));
                    carryAt_ = 0;
                    const size_t had = carry_.size();
                    carry_.resize(had + size_t(ready));
                    const int got = SDL_AudioStreamGet(convert_, carry_.data() + had, ready);
                    carry_.resize(had + size_t(std::max(got, 0)));
                }
                SDL_FreeAudioStream(convert_);
            }
            link_ = section;
            channels_ = info->channels;
            rate_ = info->rate;
            convert_ = (channels_ >= 1 && channels_ <= 8 && rate_ > 0 && rate_ <= 384000)
                           ? SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channels_), int(rate_),
                                                out_.Format, Uint8(out_.Channels), out_.Frequency)
                           : nullptr;
            if (!convert_) break;
        }
        if (SDL_AudioStreamPut(convert_, block, int(n)) != 0) break;
        return true;
    }
    // The end: what the converter still holds comes out, and the decoder is done.
    if (convert_) SDL_AudioStreamFlush(convert_);
    if (open_) ov_clear(file_.get());
    open_ = false;
    return false;
}

size_t TSoundStream::Take(uint8_t* into, size_t size) {
    size_t moved = 0;
    if (carryAt_ < carry_.size()) {
        moved = std::min(size, carry_.size() - carryAt_);
        std::memcpy(into, carry_.data() + carryAt_, moved);
        carryAt_ += moved;
    }
    if (moved < size && convert_) {
        const int got = SDL_AudioStreamGet(convert_, into + moved, int(size - moved));
        if (got > 0) moved += size_t(got);
    }
    return moved;
}

void TSoundStream::Read(uint8_t* into, size_t size, bool loop) {
    size_t done = 0;
    bool restarted = false;
    while (done < size) {
        const size_t wanted = size - done;
        // Whole frames only, so that the channels never slip.
        const size_t frame = size_t(out_.FrameBytes);
        const size_t ready = (carry_.size() - carryAt_) +
                             size_t(convert_ ? std::max(SDL_AudioStreamAvailable(convert_), 0) : 0);
        if (ready < wanted && open_) {
            Decode();
            continue;
        }
        const size_t got = Take(into + done, std::min(wanted, ready) / frame * frame);
        done += got;
        if (done >= size) break;
        if (open_) continue;
        // The end of the sound.
        if (loop && !restarted && Rewind()) {
            restarted = true;  // a sound that yields nothing is not rewound forever
            continue;
        }
        if (got == 0) {
            std::memset(into + done, 0, size - done);
            if (!loop) ended_.store(true, std::memory_order_release);
            break;
        }
    }
}

void TSoundStream::Seek(uint64_t position) {
    Rewind();
    // The decoder reads front to back: skipping decodes and drops what lies before.
    uint8_t sink[4096];
    uint64_t left = position - position % uint64_t(out_.FrameBytes);
    while (left > 0) {
        const size_t n =
            size_t(std::min<uint64_t>(left, sizeof sink / out_.FrameBytes * out_.FrameBytes));
        const size_t ready = (carry_.size() - carryAt_) +
                             size_t(convert_ ? std::max(SDL_AudioStreamAvailable(convert_), 0) : 0);
        if (ready < n && open_) {
            Decode();
            continue;
        }
        const size_t got = Take(sink, std::min(n, ready));
        if (got == 0) break;
        left -= got;
    }
}

}  // namespace hv
