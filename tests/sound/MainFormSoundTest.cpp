// The form's sound functions as the script calls them, played through SDL's disk driver.
#include <gtest/gtest.h>

#include <filesystem>

#include "SoundTestSupport.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "platform/bass/bass.h"
#include "platform/exceptions.h"
#include "tests/common/ScriptText.h"
#include "tests/main/TempFolder.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

// A form with its script engine in a fresh game folder (the current folder), the log there, and
// the output captured to "capture.raw".
class MainFormSoundTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        UserDataDir = root.string() + "/";
        // The log engine knows its files by name, so each test writes a log of its own name.
        logName =
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log";
        log = LogEngine().AddLogFile(root.string() + "/" + logName);
        LogEngine().DefaultLogFile = log;
        form.StartScriptEngine();
        test::UseDiskOutput(root / "capture.raw");
    }
    void TearDown() override {
        BASS_Free();
        TempFolderTest::TearDown();
    }
    void Run(const std::string& code) { test::RunScript(*form.ScriptEngine, code); }
    // The value of a script expression as a number.
    double Number(const std::string& expr) {
        lua_State* L = form.ScriptEngine->State;
        EXPECT_EQ(form.ScriptEngine->RunString("return " + expr), 0);
        const double v = lua_tonumber(L, -1);
        lua_settop(L, 0);
        return v;
    }
    HSTREAM Global(const char* name) { return HSTREAM(Number(name)); }
    // Plays a 0.2 s tone at `volume` through the script and returns the peak captured.
    int PeakPlayedAt(int volume, const std::string& capture) {
        test::UseDiskOutput(root / capture);
        test::WriteToneWav(root / "data" / "tone.wav", {{0.2, 16000}});
        Run("InitSound(); h, d = LoadSound('tone.wav'); PlaySound(h, " + std::to_string(volume) +
            ")");
        EXPECT_NE(Global("h"), 0u);
        EXPECT_TRUE(test::WaitUntilStopped(Global("h")));
        BASS_Free();
        return test::PeakOfCapture(root / capture);
    }

    TMainForm form;
    TLogFile* log = nullptr;
    std::string logName;
};

TEST_F(MainFormSoundTest, PlaysAtTheVolumeAsked) {
    const int full = PeakPlayedAt(100, "full.raw");
    EXPECT_NEAR(full, 16000, 400);
    EXPECT_NE(Read(logName).find("Bass_Init"), std::string::npos);
    const int half = PeakPlayedAt(50, "half.raw");
    EXPECT_NEAR(double(half) / full, 0.5, 0.03);
}

TEST_F(MainFormSoundTest, SetVolumeSoundChangesTheVolumeAndStopSoundRewinds) {
    // A loud first tenth, then a quiet stretch.
    test::WriteToneWav(root / "two.wav", {{0.1, 16000}, {0.3, 2000}});
    Run("InitSound(); h = LoadSound('two.wav'); SetVolumeSound(h, 25)");
    const HSTREAM h = Global("h");
    ASSERT_NE(h, 0u);
    float volume = 0;
    ASSERT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_VOL, &volume));
    EXPECT_FLOAT_EQ(volume, 0.25f);

    // Past the loud part, stopped by the script: a play that goes on from where the stream
    // stands plays the loud beginning again.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelGetLength(h, BASS_POS_BYTE) / 2, 0));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    Run("StopSound(h); SetVolumeSound(h, 100)");
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    ASSERT_TRUE(test::WaitUntilStopped(h));
    BASS_Free();
    EXPECT_GT(test::PeakOfCapture(root / "capture.raw"), 15000);
}

TEST_F(MainFormSoundTest, LoadSoundPrefersTheCurrentFolderAndReportsTheDuration) {
    test::WriteToneWav(root / "both.wav", {{1.5, 4000}});
    test::WriteToneWav(root / "data" / "both.wav", {{0.5, 4000}});
    test::WriteToneWav(root / "data" / "Sub" / "only.wav", {{0.25, 4000}}, 22050);
    Run("InitSound()");
    Run("a, da = LoadSound('both.wav'); b, db = LoadSound('sub\\\\ONLY.wav');"
        "c, dc = LoadSound('missing.wav'); e, de = LoadSound(); f, df = LoadSound('data')");
    EXPECT_NE(Global("a"), 0u);
    EXPECT_EQ(Number("da"), 1500);
    EXPECT_NE(Global("b"), 0u);
    EXPECT_NE(Global("b"), Global("a"));
    EXPECT_EQ(Number("db"), 250);
    for (const char* missing : {"c", "dc", "e", "de", "f", "df"}) EXPECT_EQ(Number(missing), 0);
    EXPECT_EQ(Number("select('#', LoadSound('missing.wav'))"), 2);

    // A file that is there but is no sound: handle 0 and the failed length query's duration.
    Write("data/notes.txt", "not a sound");
    Run("g, dg = LoadSound('notes.txt')");
    EXPECT_EQ(Global("g"), 0u);
    EXPECT_EQ(Number("dg"), -1000);
}

TEST_F(MainFormSoundTest, FreeSoundsFreesEachHandleOfTheList) {
    test::WriteToneWav(root / "s.wav", {{0.1, 4000}});
    Run("InitSound(); a = LoadSound('s.wav'); b = LoadSound('s.wav'); c = LoadSound('s.wav');"
        "d = LoadSound('s.wav')");
    auto alive = [](HSTREAM h) { return BASS_ChannelGetLength(h, BASS_POS_BYTE) != QWORD(-1); };

    Run("FreeSounds(''); FreeSounds(a)");  // a number without ";" names one handle
    EXPECT_FALSE(alive(Global("a")));
    EXPECT_TRUE(alive(Global("b")));
    Run("FreeSounds(b .. ';' .. c .. ';')");
    EXPECT_FALSE(alive(Global("b")));
    EXPECT_FALSE(alive(Global("c")));
    Run("FreeSounds(a .. ';' .. b)");  // freed already: nothing happens
    Run("FreeSounds('0;4294967295;-3')");

    // A part that is not a number stops the list with a conversion error; the handles before
    // it are freed, the ones after it are not.
    Run("e = LoadSound('s.wav')");
    const std::string list = std::to_string(Global("d")) + ";;" + std::to_string(Global("e"));
    try {
        form.ScriptEngine->RunString("FreeSounds('" + list + "')");
        ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'' is not a valid integer value");
    }
    EXPECT_FALSE(alive(Global("d")));
    EXPECT_TRUE(alive(Global("e")));

    // What the script left open goes with the form.
    const HSTREAM e = Global("e");
    form.FormDestroy();
    EXPECT_FALSE(alive(e));
}

TEST_F(MainFormSoundTest, WithoutAnAudioDeviceTheGameGoesOnSilently) {
    test::UseAudioDriver("no-such-driver");
    test::WriteToneWav(root / "s.wav", {{0.1, 4000}});
    Run("InitSound(); h, d = LoadSound('s.wav'); PlaySound(h, 100); SetVolumeSound(h, 50);"
        "StopSound(h); FreeSounds(h); PlaySound(12, 100); StopSound('x'); done = true");
    EXPECT_EQ(Number("h"), 0);
    EXPECT_EQ(Number("done and 1 or 0"), 1);
    const std::string text = Read(logName);
    EXPECT_NE(text.find("Bass_Init not bass init"), std::string::npos) << text;

    // The output opens once a device is there.
    test::UseDiskOutput(root / "capture.raw");
    Run("InitSound(); h, d = LoadSound('s.wav')");
    EXPECT_NE(Number("h"), 0);
    EXPECT_EQ(Number("d"), 100);
}

}  // namespace
}  // namespace hv
