#include "main/LinkFile.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "TempFolder.h"

using namespace hv;

namespace {

TEST(ReadInternetShortcutUrl, TakesTheUrlOfTheShortcutSection) {
    EXPECT_EQ(ReadInternetShortcutUrl("[InternetShortcut]\r\nURL=https://example.org/x\r\n"),
              "https://example.org/x");
    EXPECT_EQ(ReadInternetShortcutUrl("[Other]\nURL=http://no\n[internetshortcut]\n"
                                      "IconIndex=0\n url = http://yes \n"),
              "http://yes");
    EXPECT_FALSE(ReadInternetShortcutUrl("URL=http://outside.section\n"));
    EXPECT_FALSE(ReadInternetShortcutUrl(""));
    // Saved by a Windows editor as UTF-8: the mark before the section is no part of it.
    EXPECT_EQ(ReadInternetShortcutUrl("\xEF\xBB\xBF[InternetShortcut]\r\nURL=https://e.org/\r\n"),
              "https://e.org/");
}

TEST(IsWebUrl, AcceptsOnlyHttpAndHttps) {
    EXPECT_TRUE(IsWebUrl("https://example.org/"));
    EXPECT_TRUE(IsWebUrl("HTTP://example.org"));
    EXPECT_FALSE(IsWebUrl("http://"));
    EXPECT_FALSE(IsWebUrl("file:///etc/passwd"));
    EXPECT_FALSE(IsWebUrl("javascript:alert(1)"));
    EXPECT_FALSE(IsWebUrl("C:\\game\\setup.exe"));
    EXPECT_FALSE(IsWebUrl("http://a b"));
    EXPECT_FALSE(IsWebUrl("http://a\nb"));
}

// The opener is found in PATH; a stand-in records what it was given.
class OpenLinkFileTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        std::filesystem::create_directory(root / "bin");
        Write("bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + (root / "opened").string() +
                                  ".tmp\"\nmv \"" + (root / "opened").string() + ".tmp\" \"" +
                                  (root / "opened").string() + "\"\n");
        std::filesystem::permissions(root / "bin/xdg-open", std::filesystem::perms::owner_all);
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        ::setenv("PATH", ((root / "bin").string() + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath.c_str(), 1);
        TempFolderTest::TearDown();
    }
    // The stand-in runs on its own; wait (bounded) for its record.
    std::string Opened() {
        for (int i = 0; i < 500 && !std::filesystem::exists(root / "opened"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Read("opened");
    }
    std::string oldPath;
};

TEST_F(OpenLinkFileTest, OpensWebUrlsWithoutAShellAndRefusesEverythingElse) {
    Write("Link.url", "[InternetShortcut]\r\nURL=https://example.org/a?b=1&c=$(id>x);`id>x`\r\n");
    TLinkResult r = OpenLinkFile("link.URL");
    EXPECT_TRUE(r.Opened) << r.Reason;
    EXPECT_EQ(Opened(), "https://example.org/a?b=1&c=$(id>x);`id>x`|");
    EXPECT_FALSE(std::filesystem::exists(root / "x"));

    std::filesystem::remove(root / "opened");
    Write("Link.url", "[InternetShortcut]\r\nURL=file:///bin/sh\r\n");
    r = OpenLinkFile("Link.url");
    EXPECT_FALSE(r.Opened);
    EXPECT_EQ(r.Url, "file:///bin/sh");
    EXPECT_FALSE(r.Reason.empty());

    Write("Link.url", "just text");
    EXPECT_FALSE(OpenLinkFile("Link.url").Opened);
    EXPECT_FALSE(OpenLinkFile("Missing.url").Opened);
    EXPECT_FALSE(std::filesystem::exists(root / "opened"));

    // No opener installed: reported, not thrown.
    ::setenv("PATH", (root / "nothing").string().c_str(), 1);
    Write("Link.url", "[InternetShortcut]\r\nURL=https://example.org/\r\n");
    r = OpenLinkFile("Link.url");
    EXPECT_FALSE(r.Opened);
    EXPECT_NE(r.Reason.find("xdg-open"), std::string::npos);
}

}  // namespace
