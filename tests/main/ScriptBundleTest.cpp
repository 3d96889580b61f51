#include "main/ScriptBundle.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "TempFolder.h"
#include "log/KavLogEngine.h"

using namespace hv;

namespace {

// The game folder as the current folder, with the host's log in it.
class ScriptBundleTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        // The log engine keeps one file per name: each test names its own.
        logName =
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log";
        log = LogEngine().AddLogFile((root / logName).string());
        LogEngine().DefaultLogFile = log;
    }
    void TearDown() override {
        log->Disabled = true;  // the folder goes with the test: no footer at program end
        LogEngine().DefaultLogFile = nullptr;
        TempFolderTest::TearDown();
    }
    TLogFile* log = nullptr;
    std::string logName;
};

TEST(TransformScriptStream, KeepsLengthPairsBytesWithTheKeyBlockAndUndoesItself) {
    const std::string plain = "0123456789abcdefg";  // two full blocks and one byte
    std::string stored = TransformScriptStream(plain, "tavrin");
    ASSERT_EQ(stored.size(), 17u);
    // Key block "tavrinta": byte 6 and 7 of every block restart the key.
    const std::string keyBlock = "tavrinta";
    for (size_t i = 0; i < plain.size(); ++i)
        EXPECT_EQ(char(plain[i] ^ keyBlock[i % 8]), stored[i]) << i;
    EXPECT_EQ(TransformScriptStream(stored, "tavrin"), plain);

    EXPECT_EQ(TransformScriptStream("", "tavrin"), "");
    std::string eight(8, '\0');
    EXPECT_EQ(TransformScriptStream(eight, "tavrin"), keyBlock);
    // An empty key counts as "1".
    EXPECT_EQ(TransformScriptStream("ab", ""), TransformScriptStream("ab", "1"));
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += char(i);
    EXPECT_EQ(TransformScriptStream(TransformScriptStream(binary, "k"), "k"), binary);
}

TEST_F(ScriptBundleTest, PlainTextWinsAndRewritesTheStoredForm) {
    Write("data/AllLua.lua", "a = 1\nb = 2");
    Write("data/AllLua.luac", "stale");
    auto lines = ReadScriptBundle();
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"a = 1", "b = 2"}));
    EXPECT_EQ(Read("data/AllLua.luac"), TransformScriptStream("a = 1\r\nb = 2\r\n", kBundleKey));

    // A stored form that already follows the text is left as it is; one that does not, even by
    // a byte at its end, is written again.
    const auto luac = root / "data/AllLua.luac";
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    std::filesystem::last_write_time(luac, old);
    ASSERT_TRUE(ReadScriptBundle());
    EXPECT_EQ(std::filesystem::last_write_time(luac), old);
    Write("data/AllLua.luac", TransformScriptStream("a = 1\r\nb = 2\r\n!", kBundleKey));
    ASSERT_TRUE(ReadScriptBundle());
    EXPECT_EQ(Read("data/AllLua.luac"), TransformScriptStream("a = 1\r\nb = 2\r\n", kBundleKey));

    // The stored form alone runs, and no plain copy is written.
    std::filesystem::remove(root / "data/AllLua.lua");
    lines = ReadScriptBundle();
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"a = 1", "b = 2"}));
    EXPECT_FALSE(std::filesystem::exists(root / "data/AllLua.lua"));

    std::filesystem::remove(root / "data/AllLua.luac");
    EXPECT_FALSE(ReadScriptBundle());
}

// A game installed where it cannot write (a system folder, a read-only mount) runs from its
// text; the stored form is a copy that is simply not refreshed.
TEST_F(ScriptBundleTest, StoredFormThatCannotBeWrittenLeavesTheTextToRun) {
    Write("data/AllLua.lua", "a = 1");
    // Any user can meet a folder where the stored file should be; only a user other than root
    // is also stopped by a folder without write permission.
    std::filesystem::create_directories(root / "data/AllLua.luac/inside");
    auto lines = ReadScriptBundle();
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, std::vector<std::string>{"a = 1"});
    EXPECT_TRUE(std::filesystem::is_directory(root / "data/AllLua.luac/inside"));
    EXPECT_NE(Read(logName).find("Warning! data\\AllLua.luac not written, the game runs "
                                 "from data\\AllLua.lua: Cannot rename file"),
              std::string::npos);

    if (::geteuid() != 0) {
        std::filesystem::remove_all(root / "data/AllLua.luac");
        std::filesystem::permissions(
            root / "data", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        lines = ReadScriptBundle();
        std::filesystem::permissions(root / "data", std::filesystem::perms::owner_all);
        ASSERT_TRUE(lines);
        EXPECT_EQ(*lines, std::vector<std::string>{"a = 1"});
        EXPECT_FALSE(std::filesystem::exists(root / "data/AllLua.luac"));
    }
}

// A bundle saved by a Windows editor as UTF-8 starts with a byte-order mark, which Lua cannot
// read: the text runs without it, in both forms.
TEST_F(ScriptBundleTest, ByteOrderMarkIsNoPartOfTheScript) {
    const std::string bom = "\xEF\xBB\xBF";
    Write("data/AllLua.lua", bom + "a = 1\r\n");
    auto lines = ReadScriptBundle();
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, std::vector<std::string>{"a = 1"});
    EXPECT_EQ(Read("data/AllLua.luac"), TransformScriptStream("a = 1\r\n", kBundleKey));

    std::filesystem::remove(root / "data/AllLua.lua");
    Write("data/AllLua.luac", TransformScriptStream(bom + "b = 2\r\n", kBundleKey));
    lines = ReadScriptBundle();
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, std::vector<std::string>{"b = 2"});
}

TEST_F(ScriptBundleTest, EmptyPlainBundleGivesEmptyStoredFile) {
    Write("Data/alllua.lua", "");  // found without regard to case
    auto lines = ReadScriptBundle();
    ASSERT_TRUE(lines);
    EXPECT_TRUE(lines->empty());
    EXPECT_EQ(Read("Data/AllLua.luac"), "");
}

TEST_F(ScriptBundleTest, ReLoadListStartsWithTheTemplatesOnceAndSkipsTheBundle) {
    Write("aaa.lua", "");
    Write("KavInterfaceTemplatesEngine.lua", "");
    Write("zzz.lua", "");
    Write("AllLua.lua", "");
    Write("AllLua.luac", "");
    Write("notes.txt", "");
    std::filesystem::create_directory(root / "folder.lua");
    auto names = ReLoadLuaFileNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "KavInterfaceTemplatesEngine.lua");
    std::vector<std::string> rest(names.begin() + 1, names.end());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"aaa.lua", "zzz.lua"}));
}

TEST(BundleText, JoinsLinesWithCrLf) {
    EXPECT_EQ(BundleText({}), "");
    EXPECT_EQ(BundleText({"x", ""}), "x\r\n\r\n");
}

}  // namespace

TEST(TransformScriptStream, MatchesTheDocumentedExample) {
    EXPECT_EQ(TransformScriptStream("print(1)", kBundleKey),
              std::string("\x04\x13\x1f\x1c\x1d\x46\x45\x48", 8));
}
