// The sound output itself: handles, lengths, playing, pausing, through SDL's disk driver.
#include "platform/bass/bass.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "SoundTestSupport.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

class BassTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("hv_sound_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        capture = root / "capture.raw";
        test::UseDiskOutput(capture);
    }
    void TearDown() override {
        BASS_Free();
        fs::remove_all(root);
    }
    // Opens the output and a tone file; the test fails when either cannot be opened.
    HSTREAM OpenTone(const std::vector<test::ToneSegment>& segments, int rate = 44100) {
        const fs::path file = root / "tone.wav";
        test::WriteToneWav(file, segments, rate);
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
            ADD_FAILURE() << "no disk output, error " << BASS_ErrorGetCode();
            return 0;
        }
        const HSTREAM h = BASS_StreamCreateFile(0, file.c_str(), 0, 0, 0);
        EXPECT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
        return h;
    }
    fs::path root;
    fs::path capture;
};

TEST_F(BassTest, CallsBeforeInitFreedAndUnknownHandlesFailHarmlessly) {
    EXPECT_FALSE(BASS_ChannelPlay(1, 1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(BASS_StreamCreateFile(0, (root / "x.wav").c_str(), 0, 0, 0), 0u);
    EXPECT_FALSE(BASS_Pause());
    EXPECT_FALSE(BASS_Start());
    EXPECT_FALSE(BASS_Free());

    const HSTREAM h = OpenTone({{0.1, 8000}});
    ASSERT_NE(h, 0u);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_NE(BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(-1)) << "the second init kept it";

    const HSTREAM other = BASS_StreamCreateFile(0, (root / "tone.wav").c_str(), 0, 0, 0);
    EXPECT_NE(other, h);
    EXPECT_TRUE(BASS_StreamFree(h));
    for (DWORD bad : {DWORD(0), h, DWORD(0xFFFFFFFF), other + 1000}) {
        EXPECT_FALSE(BASS_ChannelPlay(bad, 1)) << bad;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_FALSE(BASS_ChannelStop(bad));
        EXPECT_FALSE(BASS_ChannelSetAttribute(bad, BASS_ATTRIB_VOL, 0.5f));
        EXPECT_FALSE(BASS_ChannelSetPosition(bad, 0, BASS_POS_BYTE));
        EXPECT_FALSE(BASS_StreamFree(bad));
        EXPECT_EQ(BASS_ChannelGetLength(bad, BASS_POS_BYTE), QWORD(-1));
        EXPECT_LT(BASS_ChannelBytes2Seconds(bad, 1000), 0.0);
        EXPECT_EQ(BASS_ChannelIsActive(bad), BASS_ACTIVE_STOPPED);
    }
    // A freed handle is not given out again, so a stale one cannot reach a new stream.
    const HSTREAM third = BASS_StreamCreateFile(0, (root / "tone.wav").c_str(), 0, 0, 0);
    EXPECT_NE(third, h);
    EXPECT_NE(third, other);
}

TEST_F(BassTest, OpeningReportsTheLengthOfWhatWasDecodedAtTheOutputRate) {
    const HSTREAM h = OpenTone({{1.5, 8000}}, 22050);
    ASSERT_NE(h, 0u);
    const QWORD bytes = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, bytes), 1.5, 0.001);
    EXPECT_EQ(BASS_ChannelGetLength(h, 99), QWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);

    // Part of a file in memory: the header and the first half of the samples.
    std::ifstream in(root / "tone.wav", std::ios::binary);
    std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string junk = "junk";
    const std::string buffer = junk + wav;
    const HSTREAM whole = BASS_StreamCreateFile(1, buffer.data(), junk.size(), wav.size(), 0);
    ASSERT_NE(whole, 0u);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(whole, BASS_ChannelGetLength(whole, BASS_POS_BYTE)), 1.5,
                0.001);

    // Files that are not sounds, or not there.
    std::ofstream(root / "text.wav") << "not a sound at all";
    EXPECT_EQ(BASS_StreamCreateFile(0, (root / "text.wav").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_StreamCreateFile(0, (root / "none.wav").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_StreamCreateFile(0, root.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(1, nullptr, 0, 10, 0), 0u);
    // A FIFO or a device in a sound's place is refused at once, neither waited on nor read.
    ASSERT_EQ(::mkfifo((root / "fifo.wav").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root / "zero.wav");
    for (const char* name : {"fifo.wav", "zero.wav"}) {
        EXPECT_EQ(BASS_StreamCreateFile(0, (root / name).c_str(), 0, 0, 0), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN) << name;
    }
    EXPECT_FALSE(BASS_ChannelSetPosition(h, bytes + 4, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
}

TEST_F(BassTest, CompressedFormatsDecodeWhenSoxCanWriteThem) {
    const HSTREAM wav = OpenTone({{0.5, 8000}});
    ASSERT_NE(wav, 0u);
    for (const char* ext : {"ogg", "flac"}) {
        const fs::path file = root / (std::string("tone.") + ext);
        const std::string cmd =
            "sox -q '" + (root / "tone.wav").string() + "' '" + file.string() + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) continue;
        const HSTREAM h = BASS_StreamCreateFile(0, file.c_str(), 0, 0, 0);
        ASSERT_NE(h, 0u) << ext;
        EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE)), 0.5,
                    0.01)
            << ext;
    }
}

TEST_F(BassTest, PausedOutputHoldsPlayingStreamsAndStartsThosePlayedMeanwhile) {
    const HSTREAM h = OpenTone({{0.3, 8000}});
    ASSERT_NE(h, 0u);
    const HSTREAM later = BASS_StreamCreateFile(0, (root / "tone.wav").c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(BASS_Pause());
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PAUSED);
    ASSERT_TRUE(BASS_ChannelPlay(later, 1));
    EXPECT_EQ(BASS_ChannelIsActive(later), BASS_ACTIVE_PAUSED);
    EXPECT_TRUE(BASS_ChannelPlay(later, 0)) << "already waiting to play";
    EXPECT_EQ(BASS_ChannelIsActive(later), BASS_ACTIVE_PAUSED);

    ASSERT_TRUE(BASS_Start());
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelIsActive(later), BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(test::WaitUntilStopped(h));
    EXPECT_TRUE(test::WaitUntilStopped(later));
    // Both played at full volume; together they add up.
    BASS_Free();
    EXPECT_GT(test::PeakOfCapture(capture), 7500);
}

TEST_F(BassTest, PlayWithoutRestartBeginsAtTheSetPositionAndVolumeIsClamped) {
    // A loud first tenth, then a quiet stretch.
    const HSTREAM h = OpenTone({{0.1, 16000}, {0.2, 2000}});
    ASSERT_NE(h, 0u);
    const QWORD tenth = BASS_ChannelGetLength(h, BASS_POS_BYTE) / 3;
    ASSERT_TRUE(BASS_ChannelSetPosition(h, tenth + 1000, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    EXPECT_TRUE(BASS_ChannelPlay(h, 0)) << "playing already: goes on";
    ASSERT_TRUE(test::WaitUntilStopped(h));
    ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 7.0f));
    float volume = 0;
    ASSERT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_VOL, &volume));
    EXPECT_EQ(volume, 1.0f);
    EXPECT_FALSE(BASS_ChannelSetAttribute(h, 99, 1.0f));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    BASS_Free();
    const int peak = test::PeakOfCapture(capture);
    EXPECT_GT(peak, 1800);
    EXPECT_LT(peak, 2200) << "the loud beginning was skipped";
}

}  // namespace
}  // namespace hv
