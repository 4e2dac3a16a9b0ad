#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/NKFWrapper.h"
#include "common/TextCodec.h"

namespace {

std::string Encode(const std::string& utf8, const char* charset)
{
    std::string out(utf8.size() * 4 + 16, '\0');
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = ucnv_convert(charset, "UTF-8", out.data(), static_cast<int32_t>(out.size()),
                                        utf8.data(), static_cast<int32_t>(utf8.size()), &error);
    EXPECT_TRUE(U_SUCCESS(error)) << charset;
    out.resize(static_cast<size_t>(length));
    return out;
}

// Short lines as a catalogue page holds them; the first one alone fools the
// detector's statistics (EUC-JP katakana also read as Shift-JIS half-width ones).
const std::vector<std::string> kPage = {"<title>ソフト</title>", "ジャンル : アクション", "発売日 : 2006/10/26",
                                        "価格 : 7,140円（税込）", "ASCII only", "①Ⅷ～－ｶﾞ㈱", "ア"};

}  // namespace

TEST(NKFWrapper, OnlyTheWindowsOptionIsKnown)
{
    NKFWrapper converter;
    EXPECT_TRUE(converter.SetOption("--windows"));
    EXPECT_FALSE(converter.SetOption("-w"));
    EXPECT_FALSE(converter.SetOption(""));
}

TEST(NKFWrapper, PagesInEveryJapaneseCharsetBecomeTheSameUtf8)
{
    for (const char* charset : {"EUC-JP", "windows-31j", "UTF-8"}) {
        NKFWrapper converter;
        converter.SetOption("--windows");
        for (const std::string& expected : kPage) {
            std::string line = Encode(expected, charset);
            EXPECT_TRUE(converter.Convert(line)) << charset;
            EXPECT_EQ(line, expected) << charset;
        }
    }
    NKFWrapper jis;
    std::string line = Encode("ジャンル : アクション", "ISO-2022-JP");
    EXPECT_TRUE(jis.Convert(line));
    EXPECT_EQ(line, "ジャンル : アクション");
}

TEST(NKFWrapper, EmptyNulAndBrokenText)
{
    NKFWrapper converter;
    std::string empty;
    EXPECT_TRUE(converter.Convert(empty));
    EXPECT_EQ(empty, "");

    std::string ascii("abc\0def", 7);
    EXPECT_TRUE(converter.Convert(ascii));
    EXPECT_EQ(ascii, "abc");

    std::string cut = Encode("ジャンル", "windows-31j") + std::string("\0\x82\xA0", 3);
    EXPECT_TRUE(converter.Convert(cut));
    EXPECT_EQ(cut, "ジャンル");

    // The page's charset is kept; bytes it cannot read still give valid UTF-8.
    std::string broken = "\x82\x4D\xFF";
    EXPECT_TRUE(converter.Convert(broken));
    EXPECT_TRUE(IsValidUtf8(broken));
}

TEST(NKFWrapper, ThreadsConvertAtOnce)
{
    const char* charsets[] = {"EUC-JP", "windows-31j", "UTF-8", "EUC-JP"};
    std::vector<int> wrong(std::size(charsets), 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < std::size(charsets); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                NKFWrapper converter;
                for (const std::string& expected : kPage) {
                    std::string line = Encode(expected, charsets[t]);
                    wrong[t] += !converter.Convert(line) || line != expected;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(std::size(charsets), 0));
}
