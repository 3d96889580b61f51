// The log engine writing real files: header, lines, repeats, cuts, filtering, footers, and
// what happens when a file cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "log/KavLogEngine.h"
#include "log_test_util.h"
#include "platform/halt.h"

using namespace hv;
using hvtest::Exists;
using hvtest::ReadAll;
using hvtest::ReadLines;

namespace {

struct EngineFixture : ::testing::Test {
    hvtest::TempDir dir;
    hvtest::FakeClock clock;
    std::unique_ptr<TKavLogEngine> engine;
    std::string path;  // the default file

    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        path = dir.Path() + "Game.log";
        engine = std::make_unique<TKavLogEngine>(path, clock.Clock());
    }
    // The message lines: everything between the header's 9 lines and the footer's 5.
    std::vector<std::string> Body() {
        auto lines = ReadLines(path);
        EXPECT_GE(lines.size(), 9u);
        return std::vector<std::string>(lines.begin() + 9, lines.end());
    }
};

}  // namespace

TEST_F(EngineFixture, NewFileBeginsWithTheHeaderLayout) {
    engine->Processor = "Intel(R) Pentium(R) 4 CPU 3.00GHz (MMX SSE SSE2)";
    engine->TotalMemory = "1023 Mb";
    engine->FreeHDSpace = "20480 Mb";
    engine->OS = "Microsoft Windows XP Professional Service Pack 2 (Build 2600)";
    const std::string xp = dir.Path() + "Xp.log";
    engine->AddLogFile(xp);  // takes the texts as they are now
    engine->AddMessageToFile("first", lmHint, "Xp.log");
    const std::string expected =
        std::string(80, '=') + "\r\n" +
        "Log: 1.50 [Errors, Warnings, Hints]                 Sunday  6-Dec-2026  20:07:23\r\n"
        "\r\n"
        "System Information:\r\n"
        "  Processor     : Intel(R) Pentium(R) 4 CPU 3.00GHz (MMX SSE SSE2)\r\n"
        "  Total Memory  : 1023 Mb\r\n"
        "  Free HD Space : 20480 Mb\r\n"
        "  OS            : Microsoft Windows XP Professional Service Pack 2 (Build 2600)\r\n" +
        std::string(80, '-') + "\r\n" + "(00:00:00:000)  first\r\n";
    EXPECT_EQ(ReadAll(xp), expected);
    EXPECT_EQ(ReadLines(xp)[1].size(), 80u);
    EXPECT_EQ(engine->DefaultLogFile->LineTemplate.size(), 67u);

    // The program's own description of this machine fills the same header lines.
    TKavLogEngine real(dir.Path() + "Real.log", clock.Clock());
    EXPECT_NE(real.OS.find(" (Kernel "), std::string::npos) << real.OS;
    EXPECT_NE(real.TotalMemory.find(" Mb"), std::string::npos);
    EXPECT_NE(real.FreeHDSpace.find(" Mb"), std::string::npos);
}

TEST_F(EngineFixture, IdenticalMessagesCollapseIntoOneRepeatLine) {
    clock.ticks = 1234;
    for (int i = 0; i < 10; ++i) engine->AddError("text");
    clock.ticks = 2345;
    engine->AddMessage("other");
    // Same text as another kind is not a repeat; a single repeat shows no count.
    engine->AddWarning("other");
    engine->AddWarning("other");
    clock.ticks = 5002;
    engine->AddError("text");
    engine->AddError("text");
    engine->AddError("text");
    engine->AddError("text");
    clock.ticks = 6000;
    engine->CloseLogFiles();
    auto body = Body();
    std::vector<std::string> expected = {
        "(00:00:01:234) .ERROR !!! text",
        "(00:00:02:345) *9 ERROR !!! text",
        "(00:00:02:345)  other",
        "(00:00:02:345) .Warning! other",
        "(00:00:05:002)  Warning! other",
        "(00:00:05:002) .ERROR !!! text",
        "(00:00:06:000) *3 ERROR !!! text",  // the pending repeat is flushed by the footer
        std::string(80, '-'),
        "[ Errors : 14 ,  Warnings : 2 ,  Hints : 0 ]",
        std::string(80, ' '),
        std::string(80, ' '),
        std::string(80, ' '),
    };
    EXPECT_EQ(body, expected);
    EXPECT_EQ(ReadAll(path).substr(ReadAll(path).size() - 2), "\r\n");
}

TEST_F(EngineFixture, LongMessagesAreCutAndCompareAfterTheCut) {
    const std::string a(1500, 'a');
    std::string b = a;
    b[1200] = 'b';  // differs only after character 1000
    engine->AddHint(a);
    engine->AddHint(b);
    // UTF-8 text is cut after 1000 characters, never inside one.
    std::string accents;
    for (int i = 0; i < 1200; ++i) accents += "\xC3\xA9";
    engine->AddHint(accents);
    engine->AddHint(std::string(1000, 'c'));  // exactly 1000: not cut
    auto body = Body();
    ASSERT_EQ(body.size(), 4u);
    const std::string cut = "(00:00:00:000)  " + std::string(1000, 'a') + " - Message was cut!";
    EXPECT_EQ(body[0], cut);
    EXPECT_EQ(body[1], cut);  // the repeat line of the identical cut text, count 1
    EXPECT_EQ(body[2], "(00:00:00:000)  " + accents.substr(0, 2000) + " - Message was cut!");
    EXPECT_EQ(body[3], "(00:00:00:000)  " + std::string(1000, 'c'));
    EXPECT_EQ(engine->DefaultLogFile->HintsCount, 4);
}

TEST_F(EngineFixture, DetailLevelFiltersAfterCounting) {
    TLogFile* f = engine->DefaultLogFile;
    f->DetalizationMode = 0;
    engine->AddError("e");
    engine->AddWarning("w");
    engine->AddHint("h");
    EXPECT_EQ(f->ErrorsCount, 1);
    EXPECT_EQ(f->WarningsCount, 1);
    EXPECT_EQ(f->HintsCount, 1);
    engine->CloseLogFiles();
    EXPECT_FALSE(Exists(path));  // only filtered messages: never created, no footer

    f->DetalizationMode = 2;
    engine->AddHint("dropped");
    engine->AddWarning("kept");
    engine->AddMessage("plain %ErrorsCount; errors");  // message text is expanded too
    auto body = Body();
    ASSERT_EQ(body.size(), 2u);
    EXPECT_EQ(body[0], "(00:00:00:000) .Warning! kept");
    EXPECT_EQ(body[1], "(00:00:00:000)  plain 1 errors");
    EXPECT_NE(ReadLines(path)[1].find("[Errors, Warnings]"), std::string::npos);

    TLogFile* off = engine->AddLogFile(dir.Path() + "Off.log");
    off->Disabled = true;
    engine->AddMessageToFile("x", lmError, "Off.log");
    engine->AddMessageToFile("x", lmError, "Unknown.log");  // unregistered: ignored
    engine->CloseLogFiles();
    EXPECT_FALSE(Exists(dir.Path() + "Off.log"));
    EXPECT_EQ(off->ErrorsCount, 1);
}

TEST_F(EngineFixture, FrameWarningsAreWrittenOnceAndTalliedBeforeTheFooter) {
    // Two missing pictures drawn in turn every frame: repeat collapsing cannot catch them.
    for (int frame = 0; frame < 500; ++frame) {
        clock.ticks = uint32_t(frame);
        engine->AddWarningOnce("a - Src Surface does not exists!");
        engine->AddWarningOnce("b - Src Surface does not exists!");
    }
    engine->AddWarningOnce("c - once only");
    clock.ticks = 1000;
    engine->CloseLogFiles();
    std::vector<std::string> expected = {
        "(00:00:00:000) .Warning! a - Src Surface does not exists!",
        "(00:00:00:000) .Warning! b - Src Surface does not exists!",
        "(00:00:00:499) .Warning! c - once only",
        "(00:00:01:000)  a - Src Surface does not exists! (500 times in all, logged once)",
        "(00:00:01:000)  b - Src Surface does not exists! (500 times in all, logged once)",
        std::string(80, '-'),
        "[ Errors : 0 ,  Warnings : 3 ,  Hints : 0 ]",
    };
    auto body = Body();
    body.resize(expected.size());
    EXPECT_EQ(body, expected);

    // A file whose detail level drops warnings shows neither the warning nor its tally.
    const std::string quiet = dir.Path() + "Quiet.log";
    engine->DefaultLogFile = engine->AddLogFile(quiet);
    engine->DefaultLogFile->DetalizationMode = 1;
    engine->AddError("shown");
    engine->AddWarningOnce("hidden");
    engine->AddWarningOnce("hidden");
    engine->CloseLogFiles();
    EXPECT_EQ(ReadAll(quiet).find("hidden"), std::string::npos);
}

TEST_F(EngineFixture, EmptyFirstMessageIsARepeatOfNothing) {
    engine->AddMessage("");
    EXPECT_FALSE(Exists(path));
    engine->AddHint("next");
    auto body = Body();
    ASSERT_EQ(body.size(), 2u);
    EXPECT_EQ(body[0], "(00:00:00:000)  ");  // the empty repeat line
    EXPECT_EQ(body[1], "(00:00:00:000)  next");
}

TEST_F(EngineFixture, RegisteringANameTwiceKeepsTheFirstAndWarns) {
    TLogFile* first = engine->AddLogFile(dir.Path() + "Same.log");
    std::filesystem::create_directories(dir.Path() + "other");
    TLogFile* second = engine->AddLogFile(dir.Path() + "other/Same.log");
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->FilePath, dir.Path());
    EXPECT_EQ(engine->LogFiles.size(), 2u);
    EXPECT_EQ(engine->FindLogFile("same.log"), nullptr);  // names compare case-sensitively
    auto body = Body();
    ASSERT_EQ(body.size(), 1u);
    EXPECT_EQ(body[0],
              "(00:00:00:000) .Warning! TKavLogEngine.AddLogFile(Same.log) - Log file already "
              "exists!");
    // Windows-style paths split the same way.
    TLogFile* win = engine->AddLogFile("C:\\Games\\Orvandel\\Win.log");
    EXPECT_EQ(win->FileName, "Win.log");
    EXPECT_EQ(win->FilePath, "C:\\Games\\Orvandel\\");
}

TEST_F(EngineFixture, DeletedFileComesBackWithAHeaderAndOldFilesAreReplaced) {
    {
        std::ofstream old(path, std::ios::binary);
        old << "from an earlier run\r\n";
    }
    engine->AddHint("one");
    EXPECT_EQ(ReadAll(path).find("earlier"), std::string::npos);  // Overwrite empties it
    std::filesystem::remove(path);
    engine->AddHint("two");
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], std::string(80, '='));
    EXPECT_EQ(lines[9], "(00:00:00:000)  two");

    // Without Overwrite an existing file keeps its content and gets a second header.
    const std::string kept = dir.Path() + "Kept.log";
    {
        std::ofstream old(kept, std::ios::binary);
        old << "old\r\n";
    }
    engine->AddLogFile(kept)->Overwrite = false;
    engine->AddMessageToFile("new", lmMessage, "Kept.log");
    auto k = ReadLines(kept);
    ASSERT_EQ(k.size(), 11u);
    EXPECT_EQ(k[0], "old");
    EXPECT_EQ(k[10], "(00:00:00:000)  new");
}

TEST(LogEngineClock, TimeFromStartSurvivesTheTickWrap) {
    hvtest::TempDir dir;
    hvtest::FakeClock clock;
    clock.ticks = 0xFFFFF000u;
    TKavLogEngine engine(dir.Path() + "Wrap.log", clock.Clock());
    clock.ticks = 0x00000FFFu;  // 8191 ms later, past 2^32
    EXPECT_EQ(engine.TimeFromStart(), 8191u);
    engine.AddHint("after the wrap");
    auto lines = ReadLines(dir.Path() + "Wrap.log");
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[9], "(00:00:08:191)  after the wrap");
}

TEST(LogEngineFailure, AnUnwritableFileSendsItsLinesToStandardErrorWithOneNotice) {
    hvtest::TempDir dir;
    hvtest::FakeClock clock;
    // A folder that is a regular file stops writes even for root.
    const std::string blocker = dir.Path() + "blocker";
    { std::ofstream(blocker) << "x"; }
    TKavLogEngine engine(blocker + "/Game.log", clock.Clock());
    ::testing::internal::CaptureStderr();
    engine.AddError("lost one");
    engine.AddError("lost two");
    engine.CloseLogFiles();
    std::string err = ::testing::internal::GetCapturedStderr();
    // One notice naming the file, then the lines themselves.
    const size_t notice = err.find("cannot create the log file \"" + blocker + "/Game.log\"");
    EXPECT_EQ(notice, err.find("cannot")) << err;
    EXPECT_EQ(err.find("cannot", notice + 1), std::string::npos) << err;
    EXPECT_NE(err.find("\n(00:00:00:000) .ERROR !!! lost one\n"), std::string::npos) << err;
    EXPECT_NE(err.find("\n(00:00:00:000) .ERROR !!! lost two\n"), std::string::npos) << err;
    EXPECT_EQ(engine.DefaultLogFile->ErrorsCount, 2);

    // Once the folder can be written, the next message gets through with a header.
    std::filesystem::remove(blocker);
    std::filesystem::create_directories(blocker);
    ::testing::internal::CaptureStderr();
    engine.AddHint("back");
    engine.CloseLogFiles();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    auto lines = ReadLines(blocker + "/Game.log");
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], std::string(80, '='));
    // The earlier lines are not in the file, but they are counted.
    EXPECT_EQ(lines[9], "(00:00:00:000)  back");
    EXPECT_EQ(lines[11], "[ Errors : 2 ,  Warnings : 0 ,  Hints : 1 ]");
}

TEST(ProgramLogEngine, FootersAreWrittenOnceHoweverTheProgramEnds) {
    hvtest::TempDir dir;
    const std::string halted = dir.Path() + "Halted.log";
    const std::string exited = dir.Path() + "Exited.log";
    EXPECT_EQ(LogEngine().DefaultLogFile->FileName, "Log.txt");
    EXPECT_EXIT(
        {
            TKavLogEngine& e = LogEngine();
            e.DefaultLogFile = e.AddLogFile(halted);
            e.AddHint("TMainForm.QuitGame");
            Halt(0);  // finalisation, then the runtime's exit: one footer
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            TKavLogEngine& e = LogEngine();
            e.DefaultLogFile = e.AddLogFile(exited);
            e.AddError("failed");
            std::exit(1);  // a plain end of the process still closes the files
        },
        ::testing::ExitedWithCode(1), "");
    for (const auto& file : {halted, exited}) {
        std::string all = ReadAll(file);
        size_t footer = all.find("[ Errors : ");
        ASSERT_NE(footer, std::string::npos) << file;
        EXPECT_EQ(all.find("[ Errors : ", footer + 1), std::string::npos) << file;
    }
    EXPECT_NE(ReadAll(halted).find("Hints : 1 ]"), std::string::npos);
    EXPECT_NE(ReadAll(exited).find("[ Errors : 1 ,"), std::string::npos);
}
