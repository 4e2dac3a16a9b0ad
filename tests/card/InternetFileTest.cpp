#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "card/InternetFile.h"
#include "card/InternetSession.h"
#include "support/HttpServer.h"

namespace {

using Lines = std::vector<std::string>;

Lines ReadLines(InternetFile& file)
{
    Lines lines;
    for (std::string line; file.ReadString(line);) {
        lines.push_back(line);
    }
    return lines;
}

class InternetFileTest : public testing::Test {
protected:
    // A proxy set in the environment must not see the loopback requests.
    static void SetUpTestSuite() { setenv("no_proxy", "127.0.0.1", 1); }

    TempDir program, site;
    ScopedProgramDirectory scope{program.path()};
    HttpServer server{site.path()};
    InternetSession session{"Tansu"};
};

TEST_F(InternetFileTest, PagesInEveryCharsetReadAsTheSameUtf8LinesRawBlocksAndNotFoundIsNoError)
{
    // CR LF and LF endings mixed, the last line without a line feed.
    const std::string page = "<title>ソフト</title>\r\nジャンル : アクション\n\r\n価格 : 7,140円（税込）\n①Ⅷ～";
    const Lines expected = {"<title>ソフト</title>", "ジャンル : アクション", "", "価格 : 7,140円（税込）", "①Ⅷ～"};
    for (const char* charset : {"EUC-JP", "windows-31j", "UTF-8"}) {
        WriteText(site / charset, Encode(page, charset));
        InternetFile file(&session, server.Url(charset));
        EXPECT_EQ(file.ok ? ReadLines(file) : Lines{"not ok"}, expected) << charset;
    }
    // Not found: not ok, no log line, and the server's error page can still be read.
    InternetFile missing(&session, server.Url("missing.html"));
    EXPECT_FALSE(missing.ok || ReadLines(missing).empty());
    EXPECT_EQ(ReadText(program / "log.txt"), "");

    // Raw blocks; a body left unread is read to its end before closing.
    std::vector<uint8_t> bytes(2 * InternetFile::kBlockSize + 1000), received(bytes.size() + InternetFile::kBlockSize);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    WriteBytes(site / "data.bin", bytes);
    EXPECT_TRUE(InternetFile(&session, server.Url("data.bin")).ok);
    InternetFile file(&session, server.Url("data.bin"));
    size_t total = 0;
    for (const size_t count : {InternetFile::kBlockSize, InternetFile::kBlockSize, size_t{1000}, size_t{0}}) {
        EXPECT_EQ(file.Read(received.data() + total), count);
        total += count;
    }
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), received.begin()));
}

TEST_F(InternetFileTest, BadUrlsAndUnreachableServersAreLogged)
{
    std::vector<uint8_t> buffer(InternetFile::kBlockSize);
    std::string line;
    InternetFile noScheme(&session, "127.0.0.1/page.html");
    EXPECT_FALSE(noScheme.ok || noScheme.ReadString(line) || noScheme.Read(buffer.data()) != 0);
    // The caught line, then the library's own text as a line of its own.
    EXPECT_FALSE(InternetFile(&session, "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/").ok);
    // Only web pages are fetched, never a local file.
    EXPECT_FALSE(InternetFile(&session, "file:///etc/hostname").ok);
    Lines logged;  // the log's messages without their times
    std::istringstream log(ReadText(program / "log.txt"));
    for (std::string text; std::getline(log, text);) {
        logged.push_back(text.substr(text.find(" - ") + 3));
    }
    const std::string caught = "InternetFile::InternetFile() : インターネット接続例外キャッチ";
    ASSERT_EQ(logged.size(), 5u);
    EXPECT_EQ((Lines{logged[0], logged[1], logged[3]}),
              (Lines{"InternetFile::InternetFile() : URLパースエラー : 127.0.0.1/page.html", caught, caught}));
    EXPECT_FALSE(logged[2].empty() || logged[4].empty());
}

}  // namespace
