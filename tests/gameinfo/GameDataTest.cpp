#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CataloguePages.h"
#include "card/InternetSession.h"
#include "gameinfo/GameData.h"
#include "gameinfo/GameDataOwner.h"
#include "support/HttpServer.h"

namespace {

using Texts = std::vector<std::string>;
constexpr const char* kFetchFailed = "GameDataWorker::FromInternet() : htmlを取得できませんでした";

class Owner : public GameDataOwner {
public:
    bool IsOptionChecked(Option option) const override
    {
        return option == Option::FetchGameInfo ? online.load() : option == Option::UseWebProxy && proxy.load();
    }
    InternetSession* GetInternetSession() const override { return session; }
    void SetGameInfoText(const std::string& text) override
    {
        const std::lock_guard<std::mutex> hold(lock);
        texts.push_back(text);
    }
    Texts Shown()
    {
        const std::lock_guard<std::mutex> hold(lock);
        return texts;
    }

    std::atomic<bool> online{true}, proxy{false};
    InternetSession* session = nullptr;

private:
    std::mutex lock;
    Texts texts;
};

// A loopback port that takes connections and never answers; or, its queue
// full, never even completes one.
class DeafListener {
public:
    explicit DeafListener(bool full) : listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        const auto* any = reinterpret_cast<sockaddr*>(&address);
        if (::bind(listener, any, length) != 0 || ::listen(listener, full ? 0 : 16) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("no loopback listener");
        }
        url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
        for (int i = 0; full && i < 3; ++i) {
            fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(fillers.back(), any, length);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~DeafListener()
    {
        for (const int fd : fillers) {
            ::close(fd);
        }
        ::close(listener);
    }
    std::string url;

private:
    int listener;
    std::vector<int> fillers;
};

class GameDataTest : public testing::Test {
protected:
    // A proxy set in the environment must not see the loopback requests.
    static void SetUpTestSuite() { setenv("no_proxy", "127.0.0.1", 1); }
    void SetUp() override { owner.session = &session; }

    std::unique_ptr<GameData> Make(CatalogueAddresses addresses = {})
    {
        if (addresses.catalogue.empty()) {
            addresses = {server.Url("software/title/"), server.Url("mirror/software/title/")};
        }
        return std::make_unique<GameData>(&owner, cacheFile, addresses);
    }
    void WritePage(const std::string& code, const std::string& bytes, const std::string& folder = "software/title/")
    {
        WriteText(site / folder + code + ".html", bytes);
    }
    bool Logged(const std::string& message) { return ReadText(program / "log.txt").find(message) != std::string::npos; }

    TempDir program, site;
    ScopedProgramDirectory scope{program.path()};
    const std::string cacheFile = program / "softdata.ini";
    HttpServer server{site.path()};
    InternetSession session{"Tansu"};
    Owner owner;
};

TEST_F(GameDataTest, PagesAreReadInTheCharsetOfTheWholePageCachedAndShownAndTheCacheAnswersWithoutAServer)
{
    WritePage("slps25001", Encode(JoinLines(PageLines({"ファイナルファンタジーX", "スクウェア", "DVD-ROM",
                                                       "ロールプレイング", "7,800円", "2001年7月19日"})),
                                  "EUC-JP"));
    // Read line by line, the first Japanese line (half-width katakana) would pass for EUC-JP.
    WritePage("slps25002", Encode(JoinLines(PageLines({"ｹﾞｰﾑ ﾀｲﾄﾙ", "ナムコ", "CD-ROM", "アクション", "5,800円",
                                                       "2002年3月1日", false}),
                                            "\r\n"),
                                  "windows-31j"));
    WritePage("slps25003", JoinLines(PageLines({"鉄拳タッグトーナメント", "ナムコ", "DVD-ROM", "格闘", "6,800円", "2000年3月30日"})));
    // Without its declaration this page reads cleanly as EUC-JP too, and with more kana.
    WritePage("slps25004",
              Encode("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>\n"
                     "<td class=\"titlename\"><b>ｹﾞｰﾑ･ｿﾌﾄ</b></td></tr>\n<tr><td class=\"licensee-name\">ﾒｰｶｰ</td></tr>\n",
                     "windows-31j"));
    WritePage("slps25005", JoinLines(PageLines({"CATALOGUE", "", "", "", "", ""})));
    WritePage("slps25005", JoinLines(PageLines({"MIRROR", "", "", "", "", ""})), "mirror/software/title/");
    auto data = Make();
    for (const char* name : {"BISLPS-25001", "BISLPSP25002XY", "BISLPS-25003", "BISLPS-25004"}) {
        data->Request(name);
    }
    data->WaitUntilIdle();
    owner.proxy = true;
    data->Request("BISLPS-25005");
    data->WaitUntilIdle();
    EXPECT_EQ(owner.Shown(), (Texts{"ﾌｧｲﾅﾙﾌｧﾝﾀｼﾞｰX\r\nﾛｰﾙﾌﾟﾚｲﾝｸﾞ 2001年7月19日\r\nｽｸｳｪｱ",
                                    "ｹﾞｰﾑ ﾀｲﾄﾙ\r\nｱｸｼｮﾝ 2002年3月1日\r\nﾅﾑｺ", "鉄拳ﾀｯｸﾞﾄｰﾅﾒﾝﾄ\r\n格闘 2000年3月30日\r\nﾅﾑｺ",
                                    "ｹﾞｰﾑ･ｿﾌﾄ\r\n \r\nﾒｰｶｰ", "MIRROR\r\n \r\n"}));
    // Saved at once, in UTF-8, the values as the page gives them.
    EXPECT_NE(ReadText(cacheFile).find("[slps25002]\r\nFORMAT=CD-ROM\r\nGENRE=アクション\r\nMAKER=ナムコ\r\nPRICE=5800\r\n"
                                       "PRICE_TAX_IN=6090\r\nSALE_DATE=2002年3月1日\r\nTITLE=ｹﾞｰﾑ ﾀｲﾄﾙ\r\n"),
              std::string::npos);
    data.reset();

    server.Stop();
    owner.online = false;
    data = Make();
    data->Request("BISLPS-25001");
    data->WaitUntilIdle();
    EXPECT_EQ(owner.Shown().back(), "ﾌｧｲﾅﾙﾌｧﾝﾀｼﾞｰX\r\nﾛｰﾙﾌﾟﾚｲﾝｸﾞ 2001年7月19日\r\nｽｸｳｪｱ");
    const GameInfo cached = data->Lookup("BISLPS-25003XYZ", true, false);
    EXPECT_EQ(cached.source, GameInfo::Source::Cache);
    EXPECT_EQ(cached.fields.at("PRICE_TAX_IN"), "7140");
}

TEST_F(GameDataTest, NothingIsShownWithoutACodeWithTheInternetBoxOffOrWithoutAPageAndAnEmptyPageIsNoData)
{
    WritePage("slps25001", JoinLines(PageLines({"T1", "M1", "F1", "G1", "1,000", "D1"})));
    auto data = Make();
    owner.online = false;
    for (const char* name : {"BISLPS-25001", "bislps-25001", "BXSLPS-25001", "BISLPS-2500", ""}) {
        data->Request(name);
    }
    data->WaitUntilIdle();
    owner.online = true;
    data->Request("BISLPS-25009");  // no such page
    data->WaitUntilIdle();
    EXPECT_EQ(owner.Shown(), Texts{});
    EXPECT_TRUE(Logged(kFetchFailed));
    EXPECT_EQ(data->Lookup("BISLPS-25001", false, false).source, GameInfo::Source::None);

    // The next request for a code tries again; an empty page is kept, shown from the next time on.
    WritePage("slps25009", JoinLines(PageLines({"T9", "M9", "F9", "G9", "900", "D9"})));
    WritePage("slps25010", "");
    for (const char* name : {"BISLPS-25009", "BISLPS-25010", "BISLPS-25010"}) {
        data->Request(name);
    }
    data->WaitUntilIdle();
    EXPECT_EQ(owner.Shown(), (Texts{"T9\r\nG9 D9\r\nM9", "NO DATA\r\nNO DATA NO DATA\r\nNO DATA"}));
    EXPECT_EQ(data->Lookup("BISLPS-25011", true, false).source, GameInfo::Source::Failed);
    data.reset();
    EXPECT_NE(ReadText(cacheFile).find("[slps25010]\r\nFORMAT=NO DATA\r\n"), std::string::npos);
}

TEST_F(GameDataTest, TenQuickRequestsAreAnsweredInOrderAndTheLastStaysShown)
{
    Texts expected;
    auto data = Make();
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        WritePage("slps2600" + n, JoinLines(PageLines({"GAME " + n, "M", "F", "G", "1", "D"})));
        data->Request("BISLPS-2600" + n);
        expected.push_back("GAME " + n + "\r\nG D\r\nM");
    }
    data->WaitUntilIdle();
    EXPECT_EQ(owner.Shown(), expected);
}

TEST_F(GameDataTest, ClosingWithTenLookupsQueuedAtAServerThatNeverAnswersTakesAboutASecond)
{
    for (const bool full : {false, true}) {
        const DeafListener deaf(full);
        auto data = Make({deaf.url, deaf.url});
        for (int i = 0; i < 10; ++i) {
            data->Request("BISLPS-2700" + std::to_string(i));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first lookup waits on the server
        const auto start = std::chrono::steady_clock::now();
        data.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << (full ? "connecting" : "reading");
    }
    EXPECT_EQ(owner.Shown(), Texts{});
    EXPECT_FALSE(Logged(kFetchFailed));
}

TEST(GameDataProductCode, OnlyTheWholePatternGivesACode)
{
    const std::pair<const char*, const char*> cases[] = {
        {"BISLPS-25000", "slps25000"}, {"BISLPSP25000XY", "slps25000"}, {"BESLES-50000", "sles50000"},
        {"BASLUS-20001TANSU\n\xFF", "slus20001"}, {"BXSLPS-25000", ""}, {"bislps-25000", ""}, {"BISLPS-2500", ""},
        {"BISLPS_25000", ""}, {"XBISLPS-25000", ""}, {"", ""}};
    for (const auto& [name, code] : cases) {
        EXPECT_EQ(GameData::ProductCode(name), code) << name;
    }
}

}  // namespace
