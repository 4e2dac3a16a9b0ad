#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <tuple>
#include <random>
#include <string>
#include <vector>

#include "CataloguePages.h"
#include "card/InternetFile.h"
#include "common/TextCodec.h"
#include "gameinfo/CataloguePage.h"
#include "support/TestSupport.h"

namespace {

using Fields = CataloguePage::Fields;

std::optional<Fields> ParseBytes(std::string bytes)
{
    const std::unique_ptr<InternetFile> file = InternetFile::FromBody(std::move(bytes));
    return CataloguePage::Parse([&](std::string& line) { return file->ReadString(line); });
}

std::optional<Fields> ParseLines(const std::vector<std::string>& lines)
{
    size_t next = 0;
    return CataloguePage::Parse([&](std::string& line) {
        if (next == lines.size()) {
            return false;
        }
        line = lines[next++];
        return true;
    });
}

// Texts every one of the page encodings holds, half-width katakana among them.
const std::vector<std::string> kWords = {"ファイナルファンタジーX", "ｹﾞｰﾑ", "ｱｸｼｮﾝ", "アクション", "ロールプレイング",
                                         "スクウェア", "株式会社バンダイナムコ", "2001年7月19日", "ＤＶＤ", "PlayStation 2",
                                         "鉄拳タッグトーナメント", "ぷよぷよ", "ﾃﾞﾓ版", "", " 空白 "};
const std::vector<std::string> kFillers = {"<tr>", "</tr>", "", "<td class=\"note\">ゲームの紹介です。</td>",
                                           "<p>ｹﾞｰﾑ <span>半角</span></p>", "<!-- コメント -->", "メーカー名 : 不明",
                                           "<td>title</td>", "   "};

TEST(CataloguePage, RandomPagesInEveryCharsetGiveBackTheirFields)
{
    std::mt19937 random(20240501);
    const auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    for (int round = 0; round < 150; ++round) {
        PageModel page{pick(kWords), pick(kWords), pick(kWords), pick(kWords), "", pick(kWords), random() % 2 == 0};
        const auto price = static_cast<uint32_t>(random() % 10000);
        page.price = std::to_string(price) + "円";
        page.filler = [&] {
            std::vector<std::string> lines(random() % 4);
            for (std::string& line : lines) {
                line = pick(kFillers);
            }
            return lines;
        };
        const char* charset = std::vector<const char*>{"EUC-JP", "windows-31j", "UTF-8"}[random() % 3];
        const std::string body = Encode(JoinLines(PageLines(page), random() % 2 == 0 ? "\n" : "\r\n"), charset);
        const Fields expected = {{"FORMAT", page.format},   {"GENRE", page.genre},
                                 {"MAKER", page.maker},     {"PRICE", std::to_string(price)},
                                 {"PRICE_TAX_IN", std::to_string(price * 105 / 100)},
                                 {"SALE_DATE", page.saleDate}, {"TITLE", page.title}};
        EXPECT_EQ(ParseBytes(body), expected) << "round " << round << ", " << charset;
    }
}

TEST(CataloguePage, PricesCountTheFirstFiveCharactersAndBrokenPagesGiveEmptyFieldsOrNoData)
{
    PageModel model{"T", "M", "F", "G", "", "D"};
    for (const auto& [price, number, taxIn] : {std::tuple{"5,800円", "5800", "6090"}, {"12,345", "1234", "1295"},
                                              {"価格未定 1,000", "0", "0"}, {"<b>1</b>,<i>9</i>80円", "1980", "2079"}}) {
        model.price = price;
        const std::optional<Fields> fields = ParseLines(PageLines(model));
        ASSERT_TRUE(fields);
        EXPECT_EQ((std::pair{fields->at("PRICE"), fields->at("PRICE_TAX_IN")}), (std::pair<std::string, std::string>{number, taxIn}))
            << price;
    }

    const Fields empty = {{"FORMAT", ""}, {"GENRE", ""}, {"MAKER", ""}, {"PRICE", ""}, {"PRICE_TAX_IN", ""},
                          {"SALE_DATE", ""}, {"TITLE", ""}};
    EXPECT_EQ(ParseBytes(""), std::nullopt);
    EXPECT_EQ(CataloguePage::NoData().at("TITLE"), "NO DATA");
    EXPECT_EQ(ParseLines({"<html>", "no labels here", "<td>ジャンル"}), empty);
    // The first line is never looked at, and a title line needs two '>'.
    EXPECT_EQ(ParseLines({"<td class=titlename>T</td>", "<td class=titlename>no second"}), empty);
    // Strictly forwards: a publisher above the title is missed, and with it
    // every field after it, as its search ran to the end of the page.
    Fields forwards = empty;
    forwards["TITLE"] = "T";
    EXPECT_EQ(ParseLines({"<html>", "<tr><td class=licensee-name>M</td>", "<tr><td class=titlename>T</td>",
                          "<td>ジャンル</td>", "", "", "G"}),
              forwards);

    // Ten megabytes on one line, tags and bytes no character set reads among them.
    std::string huge = "<tr><td class=\"titlename\">";
    while (huge.size() < 10'000'000) {
        huge += "<i>\xFF\x80タイトル</i>\xFE";
    }
    for (const std::string& body : {huge, "<html>\n" + huge + "\n<td>ジャンル</td>\n\n\n" + huge}) {
        const std::optional<Fields> fields = ParseBytes(body);
        ASSERT_TRUE(fields);
        for (const auto& [key, value] : *fields) {
            EXPECT_TRUE(IsValidUtf8(value)) << key;
        }
    }
}

}  // namespace
