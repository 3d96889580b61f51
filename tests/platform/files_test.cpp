#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>

#include "platform/exceptions.h"

namespace fs = std::filesystem;
using namespace hv;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("hv_files_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        fs::current_path(root);
    }
    void TearDown() override {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(root);
    }
    static void Write(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    fs::path root;
};

}  // namespace

TEST_F(FilesTest, BackslashPathsResolveWithoutRegardToCase) {
    Write(root / "Data" / "Textures" / "Hero.PNG", "x");
    EXPECT_EQ(NativePath("data\\Textures\\x.png"), "data/Textures/x.png");
    EXPECT_EQ(ResolvePath("data\\textures\\hero.png"), "Data/Textures/Hero.PNG");
    EXPECT_TRUE(FileExists("DATA\\TEXTURES\\HERO.png"));
    EXPECT_FALSE(DirectoryExists("data\\textures\\hero.png"));
    EXPECT_TRUE(DirectoryExists("data\\TEXTURES\\"));
    // The exact spelling wins when it exists; a missing tail is kept as written.
    EXPECT_EQ(ResolvePath("data\\textures\\New.txt"), "Data/Textures/New.txt");
    EXPECT_EQ(ResolvePath("nowhere\\at\\All"), "nowhere/at/All");
    EXPECT_EQ(ResolvePath((root.string() + "\\DATA\\textures").c_str()),
              (root / "Data" / "Textures").string());
    EXPECT_FALSE(FileExists("data\\textures\\missing.png"));
}

TEST_F(FilesTest, ReadsLinesWithEveryLineEnding) {
    Write(root / "a.txt", "one\r\ntwo\nthree\rfour");
    EXPECT_EQ(ReadFileLines("A.TXT"), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\n"), (std::vector<std::string>{""}));
    EXPECT_TRUE(SplitLines("").empty());
    std::string binary("\0\xff\r\n", 4);
    Write(root / "b.bin", binary);
    EXPECT_EQ(ReadFileBytes("b.bin"), binary);
    EXPECT_THROW(ReadFileBytes("missing.txt"), EInOutError);
    EXPECT_THROW(ReadFileBytes("."), EInOutError);

    // A byte-order mark opens the text, it is not part of it; anywhere else it stays.
    const std::string bom = "\xEF\xBB\xBF";
    Write(root / "bom.txt", bom + "a=1\r\n" + bom + "b=2");
    EXPECT_EQ(ReadFileLines("bom.txt"), (std::vector<std::string>{"a=1", bom + "b=2"}));
    Write(root / "mark-only.txt", bom);
    EXPECT_TRUE(ReadFileLines("mark-only.txt").empty());
    EXPECT_EQ(SkipByteOrderMark("\xEF\xBBx"), "\xEF\xBBx");
}

// Files read whole come from the player and the game folder: a FIFO, a device or a huge file in
// their place must give an error naming it, not a read that waits or runs until memory is gone.
TEST_F(FilesTest, ReadsOnlyRegularFilesUpToALimit) {
    ASSERT_EQ(::mkfifo((root / "Profile.txt").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root / "zero.txt");
    fs::create_symlink("/dev/urandom", root / "GameParams.txt");
    for (const char* name : {"Profile.txt", "zero.txt", "GameParams.txt"}) {
        auto read = std::async(std::launch::async, [name] { return ReadFileBytes(name); });
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "reading " << name << " has not ended";
            // Give the reader a writer that closes at once, so that the test can end.
            ::close(::open((root / name).c_str(), O_WRONLY | O_NONBLOCK));
            continue;
        }
        try {
            read.get();
            ADD_FAILURE() << name << " was read";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Message(),
                      std::string("Cannot open file \"") + name + "\". Not a regular file");
        }
    }
    EXPECT_THROW(ReadFileLines("Profile.txt"), EInOutError);

    Write(root / "big.txt", std::string(1000, 'x'));
    EXPECT_EQ(ReadFileBytes("big.txt", 1000).size(), 1000u);
    try {
        ReadFileBytes("big.txt", 999);
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Cannot read file \"big.txt\". It is larger than 999 bytes");
    }
    // A regular file that tells no size still stops at the limit.
    if (fs::exists("/proc/self/status")) {
        EXPECT_THROW(ReadFileBytes("/proc/self/status", 10), EInOutError);
    }
}

// Only "nothing there" is absence; a file the system cannot reach is an error naming it.
TEST_F(FilesTest, FilePresentTellsAMissingFileFromOneOutOfReach) {
    Write(root / "Data" / "Profile.txt", "x");
    EXPECT_TRUE(FilePresent("data\\profile.txt"));
    EXPECT_FALSE(FilePresent("data\\missing.txt"));
    EXPECT_FALSE(FilePresent("nowhere\\Profile.txt"));
    EXPECT_FALSE(FilePresent("Data\\Profile.txt\\inside"));  // a file is no folder
    EXPECT_FALSE(FilePresent("Data"));                       // a folder is no file

    fs::create_symlink("loop", root / "loop");
    fs::create_symlink("loop/Profile.txt", root / "looped.txt");
    fs::create_symlink("gone/Profile.txt", root / "dangling.txt");
    for (const char* name : {"loop", "looped.txt", "dangling.txt"}) {
        try {
            FilePresent(name);
            ADD_FAILURE() << name << " was taken for a missing file";
        } catch (const EInOutError& e) {
            EXPECT_NE(e.Message().find(std::string("\"") + name + "\""), std::string::npos)
                << e.Message();
        }
    }
    EXPECT_FALSE(FileExists("looped.txt"));  // the lenient test still just says no

    if (::geteuid() != 0) {
        fs::permissions(root / "Data", fs::perms::none);
        EXPECT_THROW(FilePresent("Data/Profile.txt"), EInOutError);
        fs::permissions(root / "Data", fs::perms::owner_all);
    }
}

TEST_F(FilesTest, AtomicWriteReplacesWholeAndKeepsTheOldFileOnFailure) {
    WriteFileAtomic("profile.txt", "first\r\n");
    EXPECT_EQ(ReadFileBytes("profile.txt"), "first\r\n");
    // Writing with another letter case replaces the same file, as on Windows.
    WriteFileAtomic("PROFILE.TXT", "second\r\n");
    EXPECT_EQ(ReadFileBytes("profile.txt"), "second\r\n");
    EXPECT_FALSE(fs::exists(root / "PROFILE.TXT"));
    // No temporary file is left behind.
    size_t count = std::distance(fs::directory_iterator(root), fs::directory_iterator());
    EXPECT_EQ(count, 1u);

    // A folder that cannot be written: the old file stays whole and the failure is reported.
    if (::geteuid() != 0) {
        fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(WriteFileAtomic("profile.txt", "third"), EInOutError);
        fs::permissions(root, fs::perms::owner_all);
        EXPECT_EQ(ReadFileBytes("profile.txt"), "second\r\n");
    }
    // The target is a folder: rename fails, the temporary file is removed.
    fs::create_directories(root / "dir" / "sub");
    EXPECT_THROW(WriteFileAtomic("dir", "x"), EInOutError);
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
    EXPECT_THROW(WriteFileAtomic("missing\\folder\\x.txt", "x"), EInOutError);
}

// Players keep their profiles in synced folders through links: a save replaces the file the
// link leads to and keeps the link.
TEST_F(FilesTest, AtomicWriteKeepsLinksAndReplacesWhatTheyLeadTo) {
    Write(root / "sync" / "Profile.txt", "old");
    fs::permissions(root / "sync" / "Profile.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(root / "user");
    fs::create_symlink("../sync/Profile.txt", root / "user" / "Profile.txt");
    fs::create_symlink(root / "user" / "Profile.txt", root / "chain.txt");  // absolute, to a link
    fs::create_symlink("sync/New.txt", root / "new.txt");
    fs::create_symlink("self.txt", root / "self.txt");

    WriteFileAtomic("user\\profile.txt", "new");
    EXPECT_TRUE(fs::is_symlink(root / "user" / "Profile.txt"));
    EXPECT_EQ(ReadFileBytes("sync/Profile.txt"), "new");
    EXPECT_EQ(fs::status(root / "sync" / "Profile.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    WriteFileAtomic("chain.txt", "newer");
    EXPECT_TRUE(fs::is_symlink(root / "chain.txt"));
    EXPECT_EQ(ReadFileBytes("sync/Profile.txt"), "newer");
    WriteFileAtomic("new.txt", "created");  // the link's file is made where it leads
    EXPECT_TRUE(fs::is_symlink(root / "new.txt"));
    EXPECT_EQ(ReadFileBytes("sync/New.txt"), "created");
    EXPECT_THROW(WriteFileAtomic("self.txt", "x"), EInOutError);
    EXPECT_TRUE(fs::is_symlink(root / "self.txt"));

    // No temporary file is left anywhere.
    for (const auto& e : fs::recursive_directory_iterator(root))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

// A crash between writing a save's temporary file and renaming it leaves the file behind; the
// next start clears such files away, but not one a running save may still be writing.
TEST_F(FilesTest, StaleSaveFilesAreRemovedAndRecentOnesKept) {
    const auto old = fs::file_time_type::clock::now() - kStaleSaveAge - std::chrono::seconds(5);
    auto make = [&](const fs::path& p, bool stale) {
        Write(p, "partial");
        if (stale) fs::last_write_time(p, old);
    };
    make(root / "user" / ".Profile.txt.tmp123456", true);
    make(root / "user" / ".Profile.txt.tmp7", false);    // maybe still being written
    make(root / "user" / ".Profile.txt.tmpx", true);     // not a name the saves use
    make(root / "user" / ".GameParams.txt.tmp1", true);  // another file's
    make(root / "user" / "Profile.txt", true);
    make(root / "sync" / ".Real.txt.tmp42", true);
    fs::create_symlink("../sync/Real.txt", root / "user" / "Linked.txt");

    EXPECT_EQ(RemoveStaleSaveFiles("user\\Profile.txt"), 1);
    EXPECT_EQ(RemoveStaleSaveFiles("user/Linked.txt"), 1);  // beside the file the link leads to
    EXPECT_EQ(RemoveStaleSaveFiles("nowhere/Profile.txt"), 0);
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".GameParams.txt.tmp1", ".Profile.txt.tmp7",
                                              ".Profile.txt.tmpx", "Profile.txt"}));
}

TEST_F(FilesTest, ForceDirectoriesCreatesParents) {
    EXPECT_TRUE(ForceDirectories("a\\b\\c"));
    EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "c"));
    EXPECT_TRUE(ForceDirectories("A\\B\\d\\"));  // existing parents found without regard to case
    EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "d"));
    Write(root / "file", "x");
    EXPECT_FALSE(ForceDirectories("file\\sub"));
}

TEST_F(FilesTest, FindFilesListsMatchesWithAttributes) {
    Write(root / "a.lua", "");
    Write(root / "B.LUA", "");
    Write(root / "c.luac", "");
    Write(root / "noext", "");
    fs::create_directories(root / "sub.lua");
    auto names = [](const std::vector<FindEntry>& v) {
        std::vector<std::string> n;
        for (auto& e : v) n.push_back(e.Name);
        std::sort(n.begin(), n.end());
        return n;
    };
    auto lua = FindFiles("*.lua");
    EXPECT_EQ(names(lua), (std::vector<std::string>{"B.LUA", "a.lua", "sub.lua"}));
    for (auto& e : lua) EXPECT_EQ(e.Attr, e.Name == "sub.lua" ? kAttrDirectory : kAttrArchive);
    auto all = FindFiles(root.string() + "\\*.*");
    EXPECT_EQ(names(all), (std::vector<std::string>{".", "..", "B.LUA", "a.lua", "c.luac", "noext",
                                                    "sub.lua"}));
    EXPECT_TRUE(FindFiles("missing\\*.*").empty());
    EXPECT_TRUE(WildcardMatch("a?c*", "ABCdef"));
    EXPECT_FALSE(WildcardMatch("*.lua", "x.luac"));
    EXPECT_TRUE(WildcardMatch("*a*a*", "banana"));
    EXPECT_FALSE(WildcardMatch("?", ""));
}
