#include "SoundTestSupport.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/bass/bass.h"

namespace hv::test {

namespace {
void PutLE(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(char((value >> (8 * i)) & 0xFF));
}
}  // namespace

void WriteToneWav(const std::filesystem::path& path, const std::vector<ToneSegment>& segments,
                  int rate) {
    std::vector<int16_t> samples;
    for (const ToneSegment& s : segments) {
        const size_t n = size_t(std::lround(s.Seconds * rate));
        for (size_t i = 0; i < n; ++i) {
            const double t = double(samples.size()) / rate;
            samples.push_back(int16_t(std::lround(s.Amplitude * std::sin(2 * M_PI * 440.0 * t))));
        }
    }
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    PutLE(out, 36 + dataBytes, 4);
    out << "WAVEfmt ";
    PutLE(out, 16, 4);
    PutLE(out, 1, 2);  // PCM
    PutLE(out, 1, 2);  // mono
    PutLE(out, uint32_t(rate), 4);
    PutLE(out, uint32_t(rate * 2), 4);
    PutLE(out, 2, 2);
    PutLE(out, 16, 2);
    out << "data";
    PutLE(out, dataBytes, 4);
    for (int16_t v : samples) PutLE(out, uint16_t(v), 2);
}

void UseDiskOutput(const std::filesystem::path& file) {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
}

void UseAudioDriver(const std::string& driver) {
    ::setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
}

bool WaitUntilStopped(uint32_t handle) {
    for (int i = 0; i < 1000; ++i) {
        if (BASS_ChannelIsActive(handle) == BASS_ACTIVE_STOPPED) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int PeakOfCapture(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    int peak = 0;
    int16_t sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), 2))
        peak = std::max(peak, std::abs(int(sample)));
    return peak;
}

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace hv::test
