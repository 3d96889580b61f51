#include "platform/text.h"

#include <gtest/gtest.h>

using namespace hv;

TEST(Text, Utf8WithWindows1252ForStrayBytes) {
    EXPECT_EQ(DecodeText("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              (std::vector<uint32_t>{'A', 0xE9, 0x20AC, 0x1F600}));
    // Stray bytes are Windows-1252 characters, each on its own: nothing is dropped.
    EXPECT_EQ(DecodeText("caf\xE9"), (std::vector<uint32_t>{'c', 'a', 'f', 0xE9}));
    EXPECT_EQ(DecodeText("\x80\x9F\x81"), (std::vector<uint32_t>{0x20AC, 0x0178, 0x81}));
    // Overlong forms, encoded surrogates, values past U+10FFFF and cut sequences are not UTF-8.
    EXPECT_EQ(DecodeText("\xC0\xAF").size(), 2u);
    EXPECT_EQ(DecodeText("\xED\xA0\x80").size(), 3u);
    EXPECT_EQ(DecodeText("\xF4\x90\x80\x80").size(), 4u);
    EXPECT_EQ(DecodeText("\xE2\x82"), (std::vector<uint32_t>{0xE2, 0x201A}));
    EXPECT_EQ(NextCharacter("\xE2\x82\xAC!", 0), 3u);
    EXPECT_EQ(NextCharacter("\xE2\x82", 0), 1u);
}

TEST(Text, EncodesEveryLengthAndReplacesNonCharacters) {
    for (char32_t cp : {U'A', U'\u00E9', U'\u20AC', U'\U0001F600'})
        EXPECT_EQ(DecodeText(EncodeUtf8(cp)), (std::vector<uint32_t>{uint32_t(cp)}));
    EXPECT_EQ(EncodeUtf8(0xD800), "\xEF\xBF\xBD");
    EXPECT_EQ(EncodeUtf8(0x110000), "\xEF\xBF\xBD");
}
