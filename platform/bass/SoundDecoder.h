// Decoding sound files for the output: which kinds of file a stream may be opened from (those the
// original sound library streams: WAV, AIFF, MP3, Ogg Vorbis, and FLAC), what a well-formed file
// of each kind looks like before a decoder sees it, and the bounds on what decoding may produce.
// Module and MIDI files are not sounds for a stream and are refused, as they were.
#pragma once

#include <cstdint>
#include <string_view>

struct Mix_Chunk;

namespace hv {

// The output's sample format, as the mixer reports it.
struct TOutputFormat {
    int Frequency = 44100;  // frames per second
    uint16_t Format = 0;    // SDL audio format (AUDIO_S16SYS, ...)
    int Channels = 2;
    int FrameBytes = 4;  // bytes of one frame of all channels
};

// The longest sound a stream holds, in seconds at the output rate: a file that decodes to more
// is refused rather than filling memory (half an hour at 44100 Hz in 16-bit stereo is 318 MB).
constexpr double kMaxSoundSeconds = 30 * 60;
// The largest sound file read whole.
constexpr uint64_t kMaxSoundFileBytes = 512ull << 20;

enum class TSoundFileKind { Unknown, Wave, Aiff, Mpeg, OggVorbis, Flac };

// The kind of sound file `bytes` begins as; Unknown for anything else (modules, MIDI, text).
TSoundFileKind SniffSoundFile(std::string_view bytes);

// True when every chunk of a RIFF WAVE (or IFF AIFF) file lies inside the file and the format
// and sample chunks are there: a chunk that claims more bytes than the file has would make the
// decoder reserve that much.
bool WaveChunksFit(std::string_view bytes);
bool AiffChunksFit(std::string_view bytes);

// Decodes a whole Ogg Vorbis file into the output's format. Chained files whose links change
// channel count or rate are converted link by link. Returns a chunk that owns its samples (free
// it with Mix_FreeChunk), or nullptr when the file is not Ogg Vorbis, decodes to nothing, or
// decodes to more than `maxSeconds`.
Mix_Chunk* DecodeOggVorbis(std::string_view bytes, const TOutputFormat& out,
                           double maxSeconds = kMaxSoundSeconds);

}  // namespace hv
