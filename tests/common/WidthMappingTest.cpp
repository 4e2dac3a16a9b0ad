#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/TextCodec.h"
#include "common/WidthMapping.h"

TEST(WidthMapping, BothDirections)
{
    EXPECT_EQ(ToHalfWidth("ＲＥＳＩＤＥＮＴ　ＥＶＩＬ"), "RESIDENT EVIL");
    EXPECT_EQ(ToHalfWidth("１２３！？＄／＼ガギパ、。「」ー"), "123!?$/\\ｶﾞｷﾞﾊﾟ､｡｢｣ｰ");
    EXPECT_EQ(ToFullWidth("ｶﾞｷﾞﾊﾟｳﾞｱ/\\~-:*?\"<>|"), "ガギパヴア／＼～－：＊？＂＜＞｜");
    // Hiragana and kanji have no other width.
    EXPECT_EQ(ToHalfWidth("ひらがな漢字") + ToFullWidth("ひらがな漢字"), "ひらがな漢字ひらがな漢字");
    // A voiced mark with nothing to join stays a character of its own that Shift-JIS can hold.
    EXPECT_EQ(ToFullWidth("ﾞﾟ"), "゛゜");
    EXPECT_EQ(Utf8ToSjis("゛゜").find('?'), std::string::npos);
    // Every full-width form of printable ASCII is a Shift-JIS character, and none is a separator.
    std::string ascii;
    for (char c = ' '; c <= '~'; ++c) {
        ascii += c;
    }
    const std::string sjis = Utf8ToSjis(ToFullWidth(ascii));
    EXPECT_EQ(sjis.size(), ascii.size() * 2);
    EXPECT_EQ(sjis.find('?'), std::string::npos);
    EXPECT_EQ(ToHalfWidth(ToFullWidth(ascii)), ascii);
}

TEST(WidthMapping, SafeOnSeveralThreads)
{
    std::atomic<int> failures{0};
    const auto map = [&failures] {
        for (int i = 0; i < 100; ++i) {
            failures += ToFullWidth("ｶﾞ A") != "ガ　Ａ" || ToHalfWidth("ガ　Ａ") != "ｶﾞ A";
        }
    };
    {
        std::jthread a(map), b(map), c(map), d(map);
    }
    EXPECT_EQ(failures.load(), 0);
}
