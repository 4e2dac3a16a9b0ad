#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "card/InternetFile.h"
#include "card/InternetSession.h"
#include "support/HttpServer.h"
#include "support/TestSupport.h"

namespace {

const char* const kCaught = "InternetFile::InternetFile() : インターネット接続例外キャッチ";

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

std::vector<std::string> ReadLines(InternetFile& file)
{
    std::vector<std::string> lines;
    std::string line;
    while (file.ReadString(line)) {
        lines.push_back(line);
    }
    return lines;
}

class InternetFileTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // A proxy set in the environment must not see the loopback requests.
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
    }

    // Opening the log makes the program directory current; it is removed after the test.
    void TearDown() override { std::filesystem::current_path(workingDirectory); }

    std::string LogText() const { return ReadText(program / "log.txt"); }
    // The messages of the log, without their times.
    std::vector<std::string> LogMessages() const
    {
        std::vector<std::string> messages;
        const std::string text = LogText();
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const size_t dash = text.find(" - ", start);
            messages.push_back(dash < end ? text.substr(dash + 3, end - dash - 3) : std::string());
        }
        return messages;
    }

    const std::filesystem::path workingDirectory = std::filesystem::current_path();
    TempDir program;
    ScopedProgramDirectory scope{program.path()};
    TempDir site;
    HttpServer server{site.path()};
    InternetSession session{"Tansu"};
};

}  // namespace

TEST_F(InternetFileTest, PagesInEveryCharsetReadAsTheSameUtf8Lines)
{
    // CR LF and LF endings mixed, the last line without a line feed.
    const std::string page =
        "<html>\r\n<title>ソフト</title>\r\nジャンル : アクション\n発売日 : 2006/10/26\r\n\r\n"
        "価格 : 7,140円（税込）\n①Ⅷ～\n</html>";
    const std::vector<std::string> expected = {"<html>", "<title>ソフト</title>", "ジャンル : アクション",
                                               "発売日 : 2006/10/26", "", "価格 : 7,140円（税込）",
                                               "①Ⅷ～", "</html>"};
    for (const char* charset : {"EUC-JP", "windows-31j", "UTF-8"}) {
        WriteText(site / (std::string(charset) + ".html"), Encode(page, charset));
        InternetFile file(&session, server.Url(std::string(charset) + ".html"));
        EXPECT_TRUE(file.ok) << charset;
        EXPECT_EQ(ReadLines(file), expected) << charset;
        std::string line = "kept";
        EXPECT_FALSE(file.ReadString(line));
    }
    WriteText(site / "empty.html", "");
    InternetFile empty(&session, server.Url("empty.html"));
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(ReadLines(empty).empty());
    EXPECT_EQ(LogText(), "");
}

TEST_F(InternetFileTest, RawBlocksAndAnUnreadBody)
{
    std::vector<uint8_t> bytes(2 * InternetFile::kBlockSize + 1000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    WriteBytes(site / "data.bin", bytes);
    {
        InternetFile unread(&session, server.Url("data.bin"));
        EXPECT_TRUE(unread.ok);
    }
    InternetFile file(&session, server.Url("data.bin"));
    ASSERT_TRUE(file.ok);
    std::vector<uint8_t> buffer(InternetFile::kBlockSize);
    std::vector<uint8_t> received;
    std::vector<size_t> counts;
    while (const size_t count = file.Read(buffer.data())) {
        counts.push_back(count);
        received.insert(received.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
    }
    EXPECT_EQ(counts, (std::vector<size_t>{InternetFile::kBlockSize, InternetFile::kBlockSize, 1000}));
    EXPECT_EQ(received, bytes);
    EXPECT_EQ(file.Read(buffer.data()), 0u);
}

TEST_F(InternetFileTest, NotFoundIsNoError)
{
    InternetFile file(&session, server.Url("missing.html"));
    EXPECT_FALSE(file.ok);
    EXPECT_FALSE(ReadLines(file).empty());  // the server's error page can still be read
    EXPECT_EQ(LogText(), "");
}

TEST_F(InternetFileTest, BadUrlsAndUnreachableServersAreLogged)
{
    {
        InternetFile file(&session, "127.0.0.1/page.html");
        EXPECT_FALSE(file.ok);
        std::string line;
        std::vector<uint8_t> buffer(InternetFile::kBlockSize);
        EXPECT_FALSE(file.ReadString(line));
        EXPECT_EQ(file.Read(buffer.data()), 0u);
    }
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"InternetFile::InternetFile() : URLパースエラー : 127.0.0.1/page.html"});

    // The caught line, then the library's own text as a line of its own.
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/";
    InternetFile file(&session, refused);
    EXPECT_FALSE(file.ok);
    std::vector<std::string> messages = LogMessages();
    ASSERT_EQ(messages.size(), 3u) << LogText();
    EXPECT_EQ(messages[1], kCaught);
    EXPECT_FALSE(messages[2].empty());

    // Only web pages are fetched, never a local file.
    InternetFile local(&session, "file:///etc/hostname");
    EXPECT_FALSE(local.ok);
    messages = LogMessages();
    ASSERT_EQ(messages.size(), 5u) << LogText();
    EXPECT_EQ(messages[3], kCaught);
}
