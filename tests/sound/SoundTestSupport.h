// Sound files written by the tests and the sound output captured through SDL's disk driver,
// which writes everything the output plays to a raw file (16-bit stereo at 44100 Hz here).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hv::test {

// A stretch of a 440 Hz sine tone with a peak amplitude (0: silence).
struct ToneSegment {
    double Seconds;
    int Amplitude;
};

// Writes a mono 16-bit PCM WAV file of the segments, one after another.
void WriteToneWav(const std::filesystem::path& path, const std::vector<ToneSegment>& segments,
                  int rate = 44100);

// Selects the disk driver writing to `file` (or the named driver) for the next open of the
// output.
void UseDiskOutput(const std::filesystem::path& file);
void UseAudioDriver(const std::string& driver);

// Waits until the stream has stopped playing (at most 10 s); false when it never did.
bool WaitUntilStopped(uint32_t handle);

// The whole file's bytes ("" when it cannot be read).
std::string ReadAll(const std::filesystem::path& file);

// The largest absolute sample of a raw 16-bit capture; 0 for a missing or silent file.
int PeakOfCapture(const std::filesystem::path& file);

}  // namespace hv::test
