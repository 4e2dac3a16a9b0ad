#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <string>
#include <thread>
#include <utility>

#include "common/TextCodec.h"

TEST(TextCodec, WindowsVariantOfShiftJisBothWays)
{
    std::string ascii(0x80, '\0');  // control bytes included
    std::iota(ascii.begin(), ascii.end(), '\0');
    const std::string r = "\uFFFD";
    const std::pair<std::string, std::string> cases[] = {
        {"\x81\x7C", "\uFF0D"}, {"\x81\x60", "\uFF5E"},  // not U+2212 and U+301C as strict JIS has them
        {"\\~", "\\~"}, {"\xB6\xDE", "ｶﾞ"}, {"\x82\xA0\x8A\xBF", "あ漢"}, {ascii, ascii},
        {"\x82\x4D", r}, {"\x82?", r + "?"}, {"A\x82", "A" + r}, {"\x80\xA0\xFF", r + r + r}};  // an ASCII trail is read again
    for (const auto& [sjis, utf8] : cases) {
        EXPECT_EQ(SjisToUtf8(sjis), utf8) << sjis;
        if (utf8.find(r) == std::string::npos) {
            EXPECT_EQ(Utf8ToSjis(utf8), sjis) << utf8;
        }
    }
    EXPECT_EQ(Utf8ToSjis("한😀\u2215\u29F8a\xFF"), "????a?");  // look-alikes of the path separators stay no separators
}

TEST(TextCodec, RoundTripsEveryDoubleByteCharacter)
{
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC && IsSjisLeadByte(static_cast<unsigned char>(lead)); ++trail) {
            const std::string utf8 = SjisToUtf8(std::string{static_cast<char>(lead), static_cast<char>(trail)});
            ASSERT_TRUE(IsValidUtf8(utf8));
            // NEC and IBM rows give some characters two codes: only the decoded text must survive.
            if (utf8.find("\uFFFD") == std::string::npos) {
                EXPECT_EQ(SjisToUtf8(Utf8ToSjis(utf8)), utf8) << std::hex << lead << ' ' << trail;
            }
        }
    }
}

TEST(TextCodec, ValidatesUtf8AndConvertsOnSeveralThreads)
{
    EXPECT_TRUE(IsValidUtf8("") && IsValidUtf8("plain ascii") && IsValidUtf8("設定😀"));
    // Overlong '/', surrogate, above U+10FFFF, cut short, Shift-JIS.
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE8\xA8", "\x82\xA0"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    }
    std::atomic<int> failures{0};
    const auto convert = [&failures] {
        for (int i = 0; i < 200; ++i) {
            failures += SjisToUtf8(Utf8ToSjis("あなたのシステム")) != "あなたのシステム";
        }
    };
    {
        std::jthread a(convert), b(convert), c(convert), d(convert);
    }
    EXPECT_EQ(failures.load(), 0);
}
