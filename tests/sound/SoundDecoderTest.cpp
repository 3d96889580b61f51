// Which files a stream may be opened from, and the bounds on decoding them.
#include "platform/bass/SoundDecoder.h"

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "SoundTestSupport.h"
#include "platform/bass/bass.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

class SoundDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("hv_decoder_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::create_directories(root);
        test::UseDiskOutput(root / "capture.raw");
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    }
    void TearDown() override {
        BASS_Free();
        fs::remove_all(root);
    }
    // A tone of `seconds` at `rate` Hz with `channels` channels, written by sox as `name`.
    fs::path Tone(const std::string& name, double seconds, int rate, int channels) {
        const fs::path file = root / name;
        // 16-bit samples in the uncompressed formats, as games ship them.
        const std::string bits = file.extension() == ".ogg" ? "" : " -b 16";
        const std::string cmd = "sox -q -n" + bits + " -r " + std::to_string(rate) + " -c " +
                                std::to_string(channels) + " '" + file.string() + "' synth " +
                                std::to_string(seconds) + " sine 440 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return file;
    }
    double SecondsOf(HSTREAM h) {
        return BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE));
    }
    fs::path root;
};

TEST_F(SoundDecoderTest, ChainedOggWhoseLinksChangeFormatDecodesEveryLink) {
    // Two Ogg Vorbis files one after the other are one chained file: a stereo link at 44100 Hz,
    // then a mono link at 48000 Hz.
    const std::string chained =
        test::ReadAll(Tone("a.ogg", 0.5, 44100, 2)) + test::ReadAll(Tone("b.ogg", 0.25, 48000, 1));
    std::ofstream(root / "chained.ogg", std::ios::binary) << chained;
    const HSTREAM h = BASS_StreamCreateFile(0, (root / "chained.ogg").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_NEAR(SecondsOf(h), 0.75, 0.01);

    // Longer than a sound may be: refused, nothing kept.
    TOutputFormat out{44100, AUDIO_S16SYS, 2, 4};
    Mix_Chunk* whole = DecodeOggVorbis(chained, out, 1.0);
    ASSERT_NE(whole, nullptr);
    // 0.75 s at 44100 Hz, 16-bit stereo (the rate conversion of the second link may end a few
    // frames early).
    EXPECT_NEAR(whole->alen / 4.0 / 44100.0, 0.75, 0.002);
    Mix_FreeChunk(whole);
    EXPECT_EQ(DecodeOggVorbis(chained, out, 0.5), nullptr);
}

TEST_F(SoundDecoderTest, FilesThatAreNotStreamableSoundsAreRefused) {
    const std::string wav = test::ReadAll(Tone("tone.wav", 0.1, 22050, 1));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(SniffSoundFile(wav), TSoundFileKind::Wave);
    EXPECT_TRUE(WaveChunksFit(wav));

    // A data chunk that claims four gigabytes in a short file.
    std::string lying = wav;
    const size_t data = lying.find("data");
    ASSERT_NE(data, std::string::npos);
    lying.replace(data + 4, 4, "\x3C\xAD\xD5\xFA", 4);
    EXPECT_FALSE(WaveChunksFit(lying));
    // Cut short in the middle of the samples.
    const std::string cut = wav.substr(0, wav.size() - 10);
    // An Impulse Tracker module and a MIDI file: music, not sounds for a stream.
    const std::string module = "IMPM" + std::string(200, '\0');
    const std::string midi = std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14);
    for (const std::string& bytes :
         {lying, cut, module, midi, std::string("RIFF"), std::string()}) {
        const HSTREAM h = BASS_StreamCreateFile(1, bytes.data(), 0, bytes.size(), 0);
        EXPECT_EQ(h, 0u) << bytes.substr(0, 4);
        if (!bytes.empty()) {
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << bytes.substr(0, 4);
        }
    }
    EXPECT_EQ(SniffSoundFile(module), TSoundFileKind::Unknown);
    EXPECT_EQ(SniffSoundFile(midi), TSoundFileKind::Unknown);

    // AIFF is a sound; its chunks are checked the same way.
    const std::string aiff = test::ReadAll(Tone("tone.aiff", 0.1, 22050, 1));
    EXPECT_EQ(SniffSoundFile(aiff), TSoundFileKind::Aiff);
    EXPECT_TRUE(AiffChunksFit(aiff));
    EXPECT_FALSE(AiffChunksFit(aiff.substr(0, aiff.size() - 10)));
    const HSTREAM h = BASS_StreamCreateFile(1, aiff.data(), 0, aiff.size(), 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_NEAR(SecondsOf(h), 0.1, 0.01);
}

}  // namespace
}  // namespace hv
