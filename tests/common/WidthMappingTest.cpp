#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/TextCodec.h"
#include "common/WidthMapping.h"

TEST(WidthMapping, HalfWidthMakesFullWidthTitlesReadable)
{
    EXPECT_EQ(ToHalfWidth("ＲＥＳＩＤＥＮＴ　ＥＶＩＬ"), "RESIDENT EVIL");
    EXPECT_EQ(ToHalfWidth("１２３！？＄／＼"), "123!?$/\\");
    EXPECT_EQ(ToHalfWidth("ガギパ、。「」ー"), "ｶﾞｷﾞﾊﾟ､｡｢｣ｰ");
    // Hiragana and kanji have no half-width forms.
    EXPECT_EQ(ToHalfWidth("ひらがな漢字"), "ひらがな漢字");
    EXPECT_EQ(ToHalfWidth(""), "");
}

TEST(WidthMapping, FullWidthJoinsVoicedMarks)
{
    EXPECT_EQ(ToFullWidth("ｶﾞｷﾞﾊﾟｳﾞ"), "ガギパヴ");
    EXPECT_EQ(ToFullWidth("ｱｲｳ"), "アイウ");
    // A mark with nothing to join stays a character of its own that Shift-JIS can hold.
    const std::string lone = ToFullWidth("ﾞﾟ");
    EXPECT_EQ(lone, "゛゜");
    EXPECT_EQ(Utf8ToSjis(lone).find('?'), std::string::npos);
}

TEST(WidthMapping, FullWidthCoversAsciiPunctuationAndSpace)
{
    EXPECT_EQ(ToFullWidth("Save 01"), "Ｓａｖｅ　０１");
    EXPECT_EQ(ToFullWidth("/\\~-:*?\"<>|"), "／＼～－：＊？＂＜＞｜");
    EXPECT_EQ(ToFullWidth("ひらがな漢字"), "ひらがな漢字");
    // Every full-width result of printable ASCII is a character Shift-JIS holds, and none is a separator.
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
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 100; ++i) {
                if (ToFullWidth("ｶﾞ A") != "ガ　Ａ" || ToHalfWidth("ガ　Ａ") != "ｶﾞ A") {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}
