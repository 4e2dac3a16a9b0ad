#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <thread>

#include "FtpServer.h"
#include "HttpServer.h"
#include "card/InternetSession.h"
#include "card/MemoryCardFactory.h"
#include "card/MemoryCardFtp.h"
#include "card/MemoryCardOwner.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

struct FakeOwner : MemoryCardOwner {
    std::string slot = "0";
    bool limitSpeed = false;
    mutable InternetSession session{"Tansu"};
    std::string GetSlotText() const override { return slot; }
    std::string GetEditText(Edit) const override { return {}; }
    bool IsOptionChecked(Option option) const override { return option == Option::LimitFtpSpeed && limitSpeed; }
    InternetSession* GetInternetSession() const override { return &session; }
};

// Each entry as "<name> d" or "<name> <size>", sorted (directory sizes depend on the file system).
Names Describe(const std::vector<FtpClient::FILE_DATA>& entries)
{
    Names lines;
    for (const auto& e : entries) {
        lines.push_back(e.name + " " + (e.isDirectory ? "d" : std::to_string(e.size)));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// server/ is served (server/mc/0 and 1 are the cards), pc/ is the current directory.
class MemoryCardFtpTest : public ::testing::Test {
protected:
    MemoryCardFtpTest()
    {
        WriteBytes(card + "SAVE/icon.sys", Bytes(964, 1));
        WriteBytes(card + "SAVE/data", Bytes(5000, 2));
        fs::create_directories(card + "MY SAVE");
        fs::create_directories(pc);
        fs::current_path(pc);
    }
    std::unique_ptr<MemoryCardFtp> Connect() { return std::make_unique<MemoryCardFtp>(&owner, server.Address()); }
    // Whether every one of the lines is in the log.
    bool Logged(std::initializer_list<std::string> lines) const
    {
        const std::string log = ReadText(temp / "log.txt");
        return std::all_of(lines.begin(), lines.end(),
                           [&log](const std::string& line) { return log.find(" - " + line + "\n") != std::string::npos; });
    }
    // Files in the PC folder, temporaries included.
    long PcFiles() const { return std::distance(fs::directory_iterator(pc), fs::directory_iterator()); }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    const std::string card = temp / "server/mc/0/", pc = temp / "pc/";
    FtpServer server{temp / "server"};
    FakeOwner owner;
};

TEST_F(MemoryCardFtpTest, FindsTheCardsAndListsTheSelectedSlotOverOneControlConnection)
{
    const auto ftp = CreateMemoryCard(&owner, kMemoryCardFtp, server.Address());
    EXPECT_EQ(ftp->slotMask, 3u);
    ASSERT_TRUE(ftp->SetCurrentDirectory(""));
    EXPECT_EQ(Describe(ftp->List()), (Names{"MY SAVE d", "SAVE d"}));
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    EXPECT_EQ(Describe(ftp->List()), (Names{"data 5000", "icon.sys 964"}));

    // A refresh of the same directory is one LIST and nothing else.
    const size_t before = server.Commands().size();
    ftp->List();
    const Names all = server.Commands();
    ASSERT_EQ(all.size(), before + 2);
    EXPECT_TRUE(all[before].starts_with("PORT ") && all[before + 1] == "LIST") << all[before];

    // A directory that is not there fails and leaves the current one.
    EXPECT_FALSE(ftp->SetCurrentDirectory("NOPE"));
    EXPECT_EQ(Describe(ftp->List()).at(0), "data 5000");
    EXPECT_TRUE(Logged({"FTP接続開始", "FTP : MemoryCardFtp::EnumerateMemoryCard() リストパース中",
                        "MemoryCardFtp::List() リストパース中", "FTP : カレントディレクトリの設定に失敗しました"}));
    ASSERT_TRUE(ftp->SetCurrentDirectory("MY SAVE"));
    EXPECT_TRUE(ftp->List().empty() && !ftp->lastListFailed);
    // Another slot applies at the next operation; there is no card in it
    // here, which is no empty card.
    owner.slot = "1";
    EXPECT_TRUE(ftp->List().empty() && ftp->lastListFailed);
    EXPECT_EQ(std::count(all.begin(), all.end(), "USER anonymous"), 1);

    // Only the card in slot 2; entries that name no slot change nothing.
    fs::remove_all(card);
    fs::create_directories(temp / "server/mc/32");
    EXPECT_EQ(Connect()->slotMask, 2u);
}

TEST_F(MemoryCardFtpTest, TransfersWithTheSpeedLimitNeverReplacingALocalFileNorLeavingAPartOne)
{
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    ASSERT_TRUE(ftp->Get("data"));
    EXPECT_EQ(ReadBytes(pc + "data"), Bytes(5000, 2));
    WriteText(pc + "data", "mine");
    EXPECT_FALSE(ftp->Get("data") || ftp->Get("absent"));
    EXPECT_EQ(ReadText(pc + "data"), "mine");
    // Nor one that appears while the data comes in.
    fs::remove(pc + "data");
    ftp->pieceObserver = [this](size_t) { WriteText(pc + "data", "theirs"); };
    EXPECT_FALSE(ftp->Get("data"));
    EXPECT_EQ(ReadText(pc + "data"), "theirs");
    EXPECT_EQ(PcFiles(), 1);

    // The speed limit sends pieces of 2048 bytes; without it a file goes whole.
    std::vector<size_t> pieces;
    ftp->pieceObserver = [&pieces](size_t bytes) { pieces.push_back(bytes); };
    WriteBytes(pc + "upload", Bytes(5000, 7));
    owner.limitSpeed = true;
    EXPECT_TRUE(ftp->Put("upload") && !ftp->Put("missing"));
    owner.limitSpeed = false;
    EXPECT_TRUE(ftp->Put("upload") && !ftp->Put("missing"));
    EXPECT_EQ(pieces, (std::vector<size_t>{2048, 2048, 904, 5000}));
    EXPECT_EQ(ReadBytes(card + "SAVE/upload"), Bytes(5000, 7));
    EXPECT_TRUE(ftp->Remove("upload") && !fs::exists(card + "SAVE/upload"));
    // Names that would reach outside the directory never go out.
    EXPECT_FALSE(ftp->Remove("upload") || ftp->Remove("../SAVE/data") || !fs::exists(card + "SAVE/data"));

    ASSERT_TRUE(ftp->SetCurrentDirectory(""));
    EXPECT_TRUE(ftp->MakeDirectory("NEW") && fs::is_directory(card + "NEW") && !ftp->MakeDirectory("NEW"));
    EXPECT_TRUE(ftp->RemoveDirectory("NEW") && !fs::exists(card + "NEW") && !ftp->RemoveDirectory("SAVE"));

    // A server stopped in the middle of a download leaves no partial file,
    // and later commands fail at once instead of waiting on it.
    WriteBytes(card + "big", Bytes(16 << 20, 3));
    ftp->pieceObserver = [this](size_t) { server.Stop(); };
    EXPECT_FALSE(ftp->Get("big") || ftp->Put("upload") || !ftp->List().empty() || !ftp->lastListFailed);
    EXPECT_EQ(PcFiles(), 2);
    EXPECT_TRUE(Logged({"FTP : ファイルのダウンロードに失敗しました data", "FTP : ファイルの削除に失敗しました upload",
                        "FTP : ファイルのアップロードに失敗しました(ローカル) missing",
                        "FTP : ファイルのアップロードに失敗しました missing", "FTP : ディレクトリの作成に失敗しました NEW",
                        "FTP : ディレクトリの削除に失敗しました SAVE", "FTP : ファイルのダウンロードに失敗しました big"}));
}

TEST_F(MemoryCardFtpTest, AServerThatIsNotThereOrSilentLeavesTheBackendUnconnected)
{
    {
        MemoryCardFtp ftp(&owner, "127.0.0.1:" + std::to_string(FreeLoopbackPort()));
        EXPECT_FALSE(ftp.IsConnected() || ftp.slotMask != 0 || ftp.SetCurrentDirectory("") || !ftp.List().empty());
    }
    // An HTTP server accepts and never sends an FTP greeting: the time limit ends the wait.
    const HttpServer silent(temp.path());
    const std::string address = "127.0.0.1:" + std::to_string(silent.Port());
    EXPECT_FALSE(MemoryCardFtp(&owner, address, {std::chrono::seconds(1), std::chrono::seconds(1)}).IsConnected());
    EXPECT_TRUE(Logged({"エラー: FTP接続ができませんでした", "警告 : FTP未接続中に切断しようとしました",
                        "エラー : 時間切れです MemoryCardFtp::MemoryCardFtp() " + address}));
}

// A link or a pipe in the PC folder is no file to send: a link could name any
// file the user can read, and a pipe never ends.
TEST_F(MemoryCardFtpTest, PutSendsNoLinkAndWaitsOnNoPipe)
{
    WriteText(temp / "secret", "secret");
    fs::create_symlink(temp / "secret", pc + "link");
    const PipeTrap pipe(pc + "pipe");
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    EXPECT_FALSE(ftp->Put("link") || ftp->Put("pipe") || pipe.Sprung());
    EXPECT_FALSE(fs::exists(card + "SAVE/link") || fs::exists(card + "SAVE/pipe"));
    EXPECT_TRUE(Logged({"エラー : シンボリックリンクはたどりません MemoryCardFtp::Put() link",
                        "エラー : 通常のファイルではないため開きませんでした MemoryCardFtp::Put() pipe"}));
}

// A server trickling a few bytes every two seconds was never cut off, and one
// sending more than a file's listed size had all of it taken (300 MB for an
// icon.sys of 964 bytes). Both are cut off now, and nothing of the file is
// kept. Should the cut not come, the server is stopped after a while, so the
// test ends either way; the log tells which ended the download.
TEST(MisbehavingFtpTest, ATrickleOrMoreThanListedIsCutOffAndNothingKept)
{
    const struct {
        const char* mode;
        const char* logged;
    } cases[] = {
        {"trickle", "エラー : 時間切れです MemoryCardFtp::Get() icon.sys"},
        {"oversize", "エラー : 一覧の大きさを超えたためダウンロードを中止しました MemoryCardFtp::Get() icon.sys"},
    };
    for (const auto& c : cases) {
        TempDir temp;
        const ScopedProgramDirectory programDirectory{temp.path()};
        WriteBytes(temp / "server/mc/0/SAVE/icon.sys", Bytes(964, 1));
        fs::create_directories(temp / "pc");
        fs::current_path(temp / "pc");
        FtpServer server(temp / "server", c.mode);
        FakeOwner owner;
        FtpTimeLimits limits;
        limits.slowTime = std::chrono::seconds(2);
        MemoryCardFtp ftp(&owner, server.Address(), limits);
        ASSERT_TRUE(ftp.SetCurrentDirectory("SAVE")) << c.mode;
        ASSERT_EQ(Describe(ftp.List()), Names{"icon.sys 964"}) << c.mode;

        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> held(lock);
            if (!done.wait_for(held, std::chrono::seconds(20), [&] { return finished; })) {
                server.Stop();
            }
        });
        EXPECT_FALSE(ftp.Get("icon.sys")) << c.mode;
        {
            const std::lock_guard<std::mutex> held(lock);
            finished = true;
        }
        done.notify_all();
        watchdog.join();
        EXPECT_TRUE(fs::is_empty(temp / "pc")) << c.mode;
        EXPECT_NE(ReadText(temp / "log.txt").find(c.logged), std::string::npos) << c.mode;
    }
}

}  // namespace
