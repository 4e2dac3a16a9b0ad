#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <thread>
#include <vector>

#include "TestSupport.h"
#include "common/NKFWrapper.h"
#include "common/TextCodec.h"

namespace {

using Lines = std::vector<std::string>;

TEST(NKFWrapper, EveryJapaneseCharsetBecomesTheSameUtf8FromManyThreadsAtOnceAndBrokenTextStaysValid)
{
    // Short lines as a page holds them; the first alone fools a statistical detector.
    const Lines page = {"<title>ソフト</title>", "ジャンル : アクション", "価格 : 7,140円（税込）", "ASCII", "①Ⅷ～－ｶﾞ㈱", "ア"};
    const char* const charsets[] = {"EUC-JP", "windows-31j", "UTF-8", "EUC-JP", "windows-31j", "UTF-8"};
    std::vector<int> wrong(std::size(charsets), 0);  // per thread
    {
        std::vector<std::jthread> threads;
        for (size_t t = 0; t < wrong.size(); ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 30; ++round) {
                    NKFWrapper converter;
                    for (const std::string& expected : page) {
                        std::string line = Encode(expected, charsets[t]);
                        wrong[t] += !converter.Convert(line) || line != expected;
                    }
                }
            });
        }
    }
    EXPECT_EQ(wrong, std::vector<int>(wrong.size(), 0));

    NKFWrapper converter;
    EXPECT_TRUE(!converter.SetOption("-w") && !converter.SetOption("") && converter.SetOption("--windows"));
    // Text ends at its first NUL; the page's charset is kept, and bytes it
    // cannot read still give valid UTF-8.
    std::string empty, ascii("abc\0def", 7), cut = Encode("ジャンル", "windows-31j") + std::string("\0\x82\xA0", 3),
                       broken = "\x82\x4D\xFF", jis = Encode("ジャンル : アクション", "ISO-2022-JP");
    EXPECT_TRUE(converter.Convert(empty) && converter.Convert(ascii) && converter.Convert(cut) && converter.Convert(broken));
    EXPECT_EQ((Lines{empty, ascii, cut, IsValidUtf8(broken) ? "valid" : broken}), (Lines{"", "abc", "ジャンル", "valid"}));
    EXPECT_EQ(NKFWrapper().Convert(jis) ? jis : "failed", "ジャンル : アクション");
}

}  // namespace
