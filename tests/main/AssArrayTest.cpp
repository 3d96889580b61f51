#include "main/AssArray.h"

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "TempFolder.h"
#include "platform/exceptions.h"

using namespace hv;

namespace {

class AssArrayTest : public test::TempFolderTest {};

TEST_F(AssArrayTest, FileRoundTripKeepsDuplicatesExtraEqualsAndEmptyLines) {
    Write("p.txt", "a=1\r\nb=2\na=3\rx=y=z\r\n\r\n  blank key = v \r\n");
    tAssArray s;
    s.LoadFromFile("p.txt");
    ASSERT_EQ(s.Count(), 6);
    EXPECT_EQ(s.IndexOf("a"), 0);
    EXPECT_EQ(s.Items[2].Value, "3");
    EXPECT_EQ(s.Items[3].Key, "x");
    EXPECT_EQ(s.Items[3].Value, "y=z");
    EXPECT_EQ(s.Items[4].Key, "");
    EXPECT_EQ(s.Items[5].Key, "  blank key ");
    EXPECT_EQ(s.IndexOf("A"), -1);  // keys are case-sensitive
    s.SaveToFile("p.txt");
    EXPECT_EQ(Read("p.txt"), "a=1\r\nb=2\r\na=3\r\nx=y=z\r\n=\r\n  blank key = v \r\n");

    // A profile saved by a Windows editor as UTF-8 keeps its first key.
    Write("bom.txt", "\xEF\xBB\xBFname=Ann\r\n");
    tAssArray b;
    b.LoadFromFile("bom.txt");
    EXPECT_EQ(b.IndexOf("name"), 0);

    tAssArray empty;
    empty.SaveToFile("e.txt");
    EXPECT_EQ(Read("e.txt"), "");
}

TEST_F(AssArrayTest, LoadKeepsPairsByLineCountAndIgnoresMissingFile) {
    tAssArray s;
    s.Add("keep", "me");
    s.LoadFromFile("missing.txt");
    ASSERT_EQ(s.Count(), 1);

    // Line 0 has no "=": pair 0 keeps what it held; the store grows to the line count.
    Write("two.txt", "no pair here\r\nk=v\r\n");
    s.Add("dropped", "x");
    s.Add("also", "y");
    s.LoadFromFile("two.txt");
    ASSERT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Items[0].Key, "keep");
    EXPECT_EQ(s.Items[0].Value, "me");
    EXPECT_EQ(s.Items[1].Key, "k");

    // A folder of that name is not a file: nothing changes.
    std::filesystem::create_directory(root / "dir.txt");
    s.LoadFromFile("dir.txt");
    EXPECT_EQ(s.Count(), 2);
}

// A profile kept behind a link that cannot be followed is not an empty profile: the load fails,
// so no save can write over the real one.
TEST_F(AssArrayTest, StoreOutOfReachFailsToLoadAndStaysAsItWas) {
    Write("sync.real/Profile.txt", "level=7\r\n");
    std::filesystem::create_symlink("sync", root / "sync");  // a loop
    std::filesystem::create_symlink("sync/Profile.txt", root / "Profile.txt");
    tAssArray s;
    s.Add("keep", "me");
    EXPECT_THROW(s.LoadFromFile("Profile.txt"), EInOutError);
    ASSERT_EQ(s.Count(), 1);
    EXPECT_EQ(s.Items[0].Key, "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(root / "Profile.txt"));
    EXPECT_EQ(Read("sync.real/Profile.txt"), "level=7\r\n");
}

TEST_F(AssArrayTest, EditingOperationsTouchOnlyWhatTheyMay) {
    tAssArray s;
    s.Add("a", "1");
    s.Add("a", "2");
    EXPECT_EQ(s.Count(), 1);
    EXPECT_EQ(s.Items[0].Value, "1");
    s.SetValue("b", "x");
    EXPECT_EQ(s.Count(), 1);
    s.SetValue("a", "3");
    EXPECT_EQ(s.Items[0].Value, "3");
    s.SetValueAt(-1, "no");
    s.SetValueAt(1, "no");
    EXPECT_EQ(s.Items[0].Value, "3");
    s.SetValueAt(0, "4");
    EXPECT_EQ(s.Items[0].Value, "4");
    s.AddLine("without equals");
    s.AddLine("c=d=e");
    ASSERT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Items[1].Value, "d=e");
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
}

// A save that fails after part of the new content has gone to disk (here: the file size limit
// stops the write) must leave the previous profile whole and no stray file behind.
TEST_F(AssArrayTest, InterruptedSaveLeavesTheOldFileWhole) {
    tAssArray s;
    s.Add("name", "Ann");
    s.SaveToFile("Profile.txt");
    const std::string before = Read("Profile.txt");

    for (int i = 0; i < 200; ++i) s.Add("key" + std::to_string(i), std::string(50, 'v'));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        s.SaveToFile("Profile.txt");
    } catch (const EInOutError&) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(Read("Profile.txt"), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root),
                            std::filesystem::directory_iterator()),
              1);
    s.SaveToFile("Profile.txt");
    EXPECT_EQ(Read("Profile.txt"), s.Text());
}

}  // namespace
