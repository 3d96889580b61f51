// Sound files on any bytes: opened from memory as the host opens them, measured, and freed.
// Needs an output: run with SDL_AUDIODRIVER=dummy on a machine without a sound card.
#include "platform/bass/bass.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hv;
    static const bool open = BASS_Init(-1, 44100, 0, nullptr, nullptr) != 0;
    if (!open) return 0;
    const HSTREAM stream = BASS_StreamCreateFile(1, data, 0, size, 0);
    if (stream) {
        BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetLength(stream, BASS_POS_BYTE));
        BASS_StreamFree(stream);
    }
    return 0;
}
