#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "common/NKFWrapper.h"
#include "common/TextCodec.h"
#include "common/WidthMapping.h"

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

namespace {

// Every line of the page through one converter told the set decided for the whole page.
Lines ConvertPage(const std::string& bytes, const std::string& contentType = {})
{
    NKFWrapper converter;
    EXPECT_TRUE(converter.UseCharset(NKFWrapper::DecideCharset(bytes, contentType)));
    Lines lines;
    for (size_t start = 0; start <= bytes.size();) {
        const size_t feed = std::min(bytes.find('\n', start), bytes.size());
        std::string line = bytes.substr(start, feed - start);
        EXPECT_TRUE(converter.Convert(line));
        lines.push_back(line);
        start = feed + 1;
    }
    return lines;
}

TEST(NKFWrapper, RandomPagesInEveryJapaneseCharsetReadBackWholeWithTheSetDecidedOnThePage)
{
    // Half-width katakana first on a line, kanji alone, kana alone: each fools a line-by-line guess somewhere.
    const Lines words = {"ｹﾞｰﾑ", "ﾃﾞﾓ版", "発売日", "鉄拳", "ジャンル", "アクション", "ぷよぷよ", "株式会社", "ＤＶＤ",
                         "<td>", "</td>", "5,800", "PlayStation 2", " ", "価格", "ロールプレイング"};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        Lines page(1 + random() % 6);
        for (std::string& line : page) {
            for (auto count = random() % 5; count > 0; --count) {
                line += words[random() % words.size()];
            }
        }
        // A page of Japanese text holds kana somewhere: the lines alone may hold none.
        page[random() % page.size()] += "のページです";
        const char* charset = std::vector<const char*>{"EUC-JP", "windows-31j", "UTF-8", "ISO-2022-JP"}[random() % 4];
        // ISO-2022-JP holds no half-width katakana.
        const bool jis = std::string(charset) == "ISO-2022-JP";
        std::string text;
        Lines expected;
        for (const std::string& line : page) {
            text += (expected.empty() ? "" : "\n") + (jis ? ToFullWidth(line) : line);
            expected.push_back(jis ? ToFullWidth(line) : line);
        }
        EXPECT_EQ(ConvertPage(Encode(text, charset)), expected) << "round " << round << ", " << charset;
    }
}

TEST(NKFWrapper, ADeclaredCharsetWinsWhenItFitsTheBytes)
{
    // Clean as Shift-JIS and as EUC-JP; read as EUC-JP it even holds a katakana.
    const std::string sjis = Encode("<title>ｹﾞｰﾑ･ｿﾌﾄ</title>", "windows-31j");
    const std::string meta = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset='Shift_JIS'\">\n";
    EXPECT_EQ(NKFWrapper::DecideCharset(sjis), "EUC-JP");
    EXPECT_EQ(NKFWrapper::DecideCharset(sjis, "text/html; charset=sjis"), "windows-31j");
    EXPECT_EQ(NKFWrapper::DecideCharset(meta + sjis), "windows-31j");
    EXPECT_EQ(NKFWrapper::DecideCharset("<meta charset=\"cp932\">" + sjis, "text/html"), "windows-31j");
    // Unknown, not ASCII-compatible, or not fitting the bytes: not believed.
    for (const char* type : {"text/html; charset=x-no-such-set", "text/html; charset=UTF-16", "text/html; charset=utf-8",
                             "text/html; charset"}) {
        EXPECT_EQ(NKFWrapper::DecideCharset(sjis, type), "EUC-JP") << type;
    }
    EXPECT_EQ(NKFWrapper::DecideCharset("plain ASCII"), "UTF-8");
    // A line by line guess took this page's first Japanese line for EUC-JP and garbled the rest.
    EXPECT_EQ(ConvertPage(Encode("<p>ｹﾞｰﾑ</p>\n<td>ジャンル</td>", "windows-31j")), (Lines{"<p>ｹﾞｰﾑ</p>", "<td>ジャンル</td>"}));
}

}  // namespace
