#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FtpServer.h"
#include "TestSupport.h"
#include "card/InternetSession.h"
#include "card/MemoryCardFactory.h"
#include "card/MemoryCardFtp.h"
#include "card/MemoryCardOwner.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

class FakeOwner : public MemoryCardOwner {
public:
    std::string slot = "0";
    bool limitSpeed = false;
    InternetSession* session = nullptr;
    std::string GetSlotText() const override { return slot; }
    std::string GetEditText(Edit) const override { return std::string(); }
    bool IsOptionChecked(Option option) const override { return option == Option::LimitFtpSpeed && limitSpeed; }
    InternetSession* GetInternetSession() const override { return session; }
};

// A loopback socket bound to a port: listening (accepts TCP, never answers)
// or not (connections are refused).
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listen) : fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        if (listen) {
            ::listen(fd, 4);
        }
    }
    ~LoopbackSocket() { ::close(fd); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }

private:
    int fd;
    uint16_t port = 0;
};

// Each entry as "<name> d" or "<name> <size>" (directory sizes depend on the file system).
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
    void SetUp() override
    {
        WriteBytes(card + "SAVE/icon.sys", std::vector<uint8_t>(964, 1));
        WriteBytes(card + "SAVE/data", std::vector<uint8_t>(5000, 2));
        fs::create_directories(card + "MY SAVE");
        fs::create_directories(temp / "server/mc/1");
        fs::create_directories(pc);
        fs::current_path(pc);
        server.emplace(temp / "server");
        owner.session = &session;
    }
    void TearDown() override { fs::current_path(previousDirectory); }

    std::unique_ptr<MemoryCardFtp> Connect(FtpTimeLimits limits = {})
    {
        return std::make_unique<MemoryCardFtp>(&owner, server->Address(), limits);
    }
    bool Logged(const std::string& line) const
    {
        return ReadText(temp / "log.txt").find(" - " + line + "\n") != std::string::npos;
    }
    // Names in the PC folder, temporaries included.
    Names PcFiles() const
    {
        Names names;
        for (const auto& item : fs::directory_iterator(pc)) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path previousDirectory = fs::current_path();
    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    const std::string card = temp / "server/mc/0/";
    const std::string pc = temp / "pc/";
    std::optional<FtpServer> server;
    InternetSession session{"Tansu"};
    FakeOwner owner;
};

TEST_F(MemoryCardFtpTest, ConnectsOnceAndFindsTheCards)
{
    const auto card0 = CreateMemoryCard(&owner, kMemoryCardFtp, server->Address());
    EXPECT_TRUE(card0->IsConnected());
    EXPECT_EQ(card0->slotMask, 3u);
    EXPECT_TRUE(Logged("FTP接続開始"));
    EXPECT_TRUE(Logged("FTP : MemoryCardFtp::EnumerateMemoryCard() リストパース中"));

    // Only the card in slot 2; entries that name no slot change nothing.
    TempDir other;
    fs::create_directories(other / "mc/1");
    fs::create_directories(other / "mc/32");
    fs::create_directories(other / "mc/x");
    FtpServer secondServer(other.path());
    EXPECT_EQ(MemoryCardFtp(&owner, secondServer.Address()).slotMask, 2u);
}

TEST_F(MemoryCardFtpTest, ListsTheSelectedSlotOverOneControlConnection)
{
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory(""));
    EXPECT_EQ(Describe(ftp->List()), (Names{"MY SAVE d", "SAVE d"}));
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    EXPECT_EQ(Describe(ftp->List()), (Names{"data 5000", "icon.sys 964"}));
    EXPECT_TRUE(Logged("MemoryCardFtp::List() リストパース中"));

    // A refresh of the same directory is a LIST and nothing else.
    const size_t before = server->Commands().size();
    ftp->List();
    Names refresh = server->Commands();
    refresh.erase(refresh.begin(), refresh.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(std::count(refresh.begin(), refresh.end(), "LIST"), 1);
    EXPECT_EQ(std::count_if(refresh.begin(), refresh.end(), [](const std::string& c) {
                  return c.rfind("CWD", 0) == 0 || c.rfind("USER", 0) == 0;
              }),
              0);

    // A directory that is not there fails and leaves the current one.
    EXPECT_FALSE(ftp->SetCurrentDirectory("NOPE"));
    EXPECT_TRUE(Logged("FTP : カレントディレクトリの設定に失敗しました"));
    EXPECT_EQ(Describe(ftp->List()).size(), 2u);

    // Another slot applies at the next operation.
    owner.slot = "1";
    EXPECT_TRUE(ftp->List().empty());
    const Names all = server->Commands();
    EXPECT_EQ(std::count(all.begin(), all.end(), "USER anonymous"), 1);
}

TEST_F(MemoryCardFtpTest, TransfersFilesAndDirectories)
{
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    ASSERT_TRUE(ftp->Get("data"));
    EXPECT_EQ(ReadBytes(pc + "data"), std::vector<uint8_t>(5000, 2));

    WriteText(pc + "new file", "uploaded");
    ASSERT_TRUE(ftp->Put("new file"));
    EXPECT_EQ(ReadText(card + "SAVE/new file"), "uploaded");
    ASSERT_TRUE(ftp->Remove("new file"));
    EXPECT_FALSE(fs::exists(card + "SAVE/new file"));
    EXPECT_FALSE(ftp->Remove("new file"));
    EXPECT_TRUE(Logged("FTP : ファイルの削除に失敗しました new file"));

    ASSERT_TRUE(ftp->SetCurrentDirectory(""));
    ASSERT_TRUE(ftp->MakeDirectory("NEW"));
    EXPECT_TRUE(fs::is_directory(card + "NEW"));
    EXPECT_FALSE(ftp->MakeDirectory("NEW"));
    EXPECT_TRUE(Logged("FTP : ディレクトリの作成に失敗しました NEW"));
    ASSERT_TRUE(ftp->RemoveDirectory("NEW"));
    EXPECT_FALSE(fs::exists(card + "NEW"));
    EXPECT_FALSE(ftp->RemoveDirectory("SAVE"));  // not empty
    EXPECT_TRUE(Logged("FTP : ディレクトリの削除に失敗しました SAVE"));
    // Names that would reach outside the directory never go out.
    EXPECT_FALSE(ftp->Remove("../SAVE/data"));
    EXPECT_TRUE(fs::exists(card + "SAVE/data"));
    EXPECT_FALSE(ftp->Put("missing"));
    EXPECT_TRUE(Logged("FTP : ファイルのアップロードに失敗しました missing"));
}

TEST_F(MemoryCardFtpTest, GetNeverReplacesALocalFileNorLeavesAPartOne)
{
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    WriteText(pc + "data", "mine");
    EXPECT_FALSE(ftp->Get("data"));
    EXPECT_EQ(ReadText(pc + "data"), "mine");
    EXPECT_TRUE(Logged("FTP : ファイルのダウンロードに失敗しました data"));

    EXPECT_FALSE(ftp->Get("absent"));
    EXPECT_EQ(PcFiles(), (Names{"data"}));
}

TEST_F(MemoryCardFtpTest, TheSpeedLimitSendsPiecesOf2048Bytes)
{
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    std::vector<size_t> pieces;
    ftp->pieceObserver = [&pieces](size_t bytes) { pieces.push_back(bytes); };
    WriteBytes(pc + "upload", std::vector<uint8_t>(5000, 7));

    owner.limitSpeed = true;
    ASSERT_TRUE(ftp->Put("upload"));
    EXPECT_EQ(pieces, (std::vector<size_t>{2048, 2048, 904}));
    EXPECT_EQ(ReadBytes(card + "SAVE/upload"), std::vector<uint8_t>(5000, 7));

    pieces.clear();
    owner.limitSpeed = false;
    ASSERT_TRUE(ftp->Put("upload"));
    EXPECT_EQ(pieces, (std::vector<size_t>{5000}));

    owner.limitSpeed = true;
    EXPECT_FALSE(ftp->Put("missing"));
    EXPECT_TRUE(Logged("FTP : ファイルのアップロードに失敗しました(ローカル) missing"));
    EXPECT_FALSE(fs::exists(card + "SAVE/missing"));
}

TEST_F(MemoryCardFtpTest, AServerThatIsNotThereLeavesTheBackendUnconnected)
{
    {
        const LoopbackSocket closed(false);
        MemoryCardFtp ftp(&owner, closed.Address());
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_EQ(ftp.slotMask, 0u);
        EXPECT_FALSE(ftp.SetCurrentDirectory(""));
        EXPECT_TRUE(ftp.List().empty());
    }
    const std::string log = ReadText(temp / "log.txt");
    const size_t failed = log.find(" - エラー: FTP接続ができませんでした\n");
    ASSERT_NE(failed, std::string::npos);
    EXPECT_NE(log.find("Failed to connect", failed), std::string::npos);
    EXPECT_TRUE(Logged("警告 : FTP未接続中に切断しようとしました"));

    // Without the program's internet session there is no connection either.
    owner.session = nullptr;
    EXPECT_FALSE(Connect()->IsConnected());
    EXPECT_TRUE(Logged("FTP接続中に不明なエラーが発生しました"));

    // A server that accepts and never greets runs into the time limit.
    owner.session = &session;
    const LoopbackSocket silent(true);
    EXPECT_FALSE(MemoryCardFtp(&owner, silent.Address(), {std::chrono::seconds(1), std::chrono::seconds(1)})
                     .IsConnected());
    EXPECT_TRUE(Logged("エラー : 時間切れです MemoryCardFtp::MemoryCardFtp() " + silent.Address()));
}

TEST_F(MemoryCardFtpTest, AServerStoppedMidTransferLeavesNoPartialFile)
{
    WriteBytes(card + "SAVE/big", std::vector<uint8_t>(16 << 20, 3));
    const auto ftp = Connect();
    ASSERT_TRUE(ftp->SetCurrentDirectory("SAVE"));
    ftp->pieceObserver = [this](size_t) { server->Stop(); };
    EXPECT_FALSE(ftp->Get("big"));
    EXPECT_TRUE(PcFiles().empty());
    EXPECT_TRUE(Logged("FTP : ファイルのダウンロードに失敗しました big"));

    // Later commands fail at once instead of waiting on the dead server.
    WriteText(pc + "up", "x");
    EXPECT_FALSE(ftp->Put("up"));
    EXPECT_TRUE(ftp->List().empty());
}

}  // namespace
