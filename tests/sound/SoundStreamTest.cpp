// Long tracks decoded while they play: the same samples as decoding them whole, from any
// position, with a length known at once, and played, stopped and rewound through the output.
#include "platform/bass/SoundStream.h"

#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "SoundTestSupport.h"
#include "platform/bass/bass.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

class SoundStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("hv_stream_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        BASS_Free();
        fs::remove_all(root);
    }
    // An Ogg Vorbis tone written by sox: a sweep, so that every stretch of it differs.
    std::string Track(const std::string& name, double seconds, int rate, int channels) {
        const fs::path file = root / name;
        const std::string cmd = "sox -q -n -r " + std::to_string(rate) + " -c " +
                                std::to_string(channels) + " '" + file.string() + "' synth " +
                                std::to_string(seconds) + " sine 200-2000 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return test::ReadAll(file);
    }
    // Everything the stream gives from where it stands up to `bytes`, in mixing-pass pieces.
    static std::string ReadOut(TSoundStream& s, size_t bytes, bool loop = false) {
        std::string out(bytes, '\0');
        for (size_t at = 0; at < bytes; at += 4096)
            s.Read(reinterpret_cast<uint8_t*>(out.data() + at), std::min<size_t>(4096, bytes - at),
                   loop);
        return out;
    }
    fs::path root;
};

const TOutputFormat kOut{44100, AUDIO_S16SYS, 2, 4};

TEST_F(SoundStreamTest, GivesTheSamplesOfAWholeDecodeFromTheStartAndFromAnyPosition) {
    // A chained file whose second link changes rate and channels: both paths convert alike.
    const std::string bytes = Track("a.ogg", 1.5, 44100, 2) + Track("b.ogg", 1.0, 48000, 1);
    Mix_Chunk* whole = DecodeOggVorbis(bytes, kOut);
    ASSERT_NE(whole, nullptr);
    const std::string expected(reinterpret_cast<const char*>(whole->abuf), whole->alen);
    Mix_FreeChunk(whole);

    auto stream = TSoundStream::Open(bytes, kOut);
    ASSERT_NE(stream, nullptr);
    // The length is read from the file, not decoded: within a few frames of the decoded one.
    EXPECT_NEAR(double(stream->LengthBytes()), double(expected.size()), 4.0 * 64);
    EXPECT_EQ(stream->LengthBytes() % 4, 0u);

    const std::string all = ReadOut(*stream, expected.size());
    EXPECT_TRUE(all == expected) << "the streamed samples differ from the whole decode";
    EXPECT_FALSE(stream->Ended());

    // Past the end: silence, and the stream says it has ended.
    const std::string after = ReadOut(*stream, 8192);
    EXPECT_EQ(after, std::string(8192, '\0'));
    EXPECT_TRUE(stream->Ended());

    // From a position in the second link, after a rewind.
    const uint64_t from = 44100 * 4 * 2 + 4 * 123;
    stream->Seek(from);
    EXPECT_FALSE(stream->Ended());
    const std::string tail = ReadOut(*stream, expected.size() - from);
    EXPECT_TRUE(tail == expected.substr(from)) << "the samples after a seek differ";
}

TEST_F(SoundStreamTest, ALoopingStreamStartsAgainAtItsEnd) {
    const std::string bytes = Track("a.ogg", 0.5, 44100, 2);
    Mix_Chunk* whole = DecodeOggVorbis(bytes, kOut);
    ASSERT_NE(whole, nullptr);
    const std::string once(reinterpret_cast<const char*>(whole->abuf), whole->alen);
    Mix_FreeChunk(whole);
    auto stream = TSoundStream::Open(bytes, kOut);
    ASSERT_NE(stream, nullptr);
    const size_t half = once.size() / 8 * 4;
    const std::string looped = ReadOut(*stream, once.size() + half, true);
    EXPECT_FALSE(stream->Ended());
    EXPECT_TRUE(looped.substr(0, once.size()) == once);
    EXPECT_TRUE(looped.substr(once.size()) == once.substr(0, half))
        << "the second pass does not begin with the sound's beginning";
}

TEST_F(SoundStreamTest, FilesThatAreNotOggVorbisAreNotStreamed) {
    EXPECT_EQ(TSoundStream::Open("RIFF....WAVEfmt ", kOut), nullptr);
    EXPECT_EQ(TSoundStream::Open("OggS" + std::string(100, '\x01'), kOut), nullptr);
    EXPECT_EQ(TSoundStream::Open("", kOut), nullptr);
}

TEST_F(SoundStreamTest, ALongTrackOpensAtOnceAndPlaysStopsAndRewindsThroughTheOutput) {
    const std::string bytes = Track("long.ogg", 12, 44100, 2);
    std::ofstream(root / "long.ogg", std::ios::binary) << bytes;
    test::UseDiskOutput(root / "capture.raw");
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();

    const auto start = std::chrono::steady_clock::now();
    const HSTREAM h = BASS_StreamCreateFile(0, (root / "long.ogg").c_str(), 0, 0, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    // Decoding 12 s whole takes far longer than reading the length of the file.
    EXPECT_LT(took, std::chrono::milliseconds(100));
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, length), 12.0, 0.01);

    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_GT(test::PeakOfCapture(root / "capture.raw"), 1000) << "nothing was heard";

    // A position beyond the end is refused; the last frame is a position.
    EXPECT_FALSE(BASS_ChannelSetPosition(h, length + 4, BASS_POS_BYTE));
    EXPECT_TRUE(BASS_ChannelSetPosition(h, length - 4 * 441, BASS_POS_BYTE));
    // Played from 10 ms before the end, it ends by itself.
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    EXPECT_TRUE(test::WaitUntilStopped(h));
    EXPECT_TRUE(BASS_StreamFree(h));
}

}  // namespace
}  // namespace hv
