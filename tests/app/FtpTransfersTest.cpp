// The controller over a real FTP server on loopback, through the in-memory view.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "ControlTestFixture.h"
#include "FtpServer.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// Rows as "title|name|size|type", sorted: the server decides the listing order.
Lines Describe(const std::vector<ListRow>& rows)
{
    Lines lines;
    for (const ListRow& row : rows) {
        lines.push_back(row[kColumnTitle] + "|" + row[kColumnName] + "|" + row[kColumnSize] + "|" + row[kColumnType]);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class FtpTransfersTest : public ControlTest {
protected:
    void SetUp() override
    {
        WriteBytes(slot0 + "BASLUS-1/icon.sys", MakeIconSys(kFullWidthABC));
        WriteBytes(slot0 + "BASLUS-1/data", std::vector<uint8_t>(3000, 1));
        WriteBytes(slot0 + "SLPS-2/SLPS-2", MakePS1Save("PS ONE"));
        WriteBytes(slot1 + "BESLES-9/icon.sys", MakeIconSys("SLOT ONE"));
        server.emplace(root / "server");
        view.SetEditText(Edit::Address, server->Address());
        Start().OnConnectFtp();
    }

    void Tick(ListSide side, const std::string& name)
    {
        for (MemoryView::Row& row : view.lists[static_cast<size_t>(side)]) {
            row.ticked = row.ticked || row.texts[kColumnName] == name;
        }
    }
    void SelectSlot(int index)
    {
        view.SelectComboItem(Combo::Slot, index);
        control->UpdateDataListPS2();
    }
    bool Logged(const std::string& line) const { return LogText().find(" - " + line + "\n") != std::string::npos; }

    const std::string slot0 = root / "server/mc/0/";
    const std::string slot1 = root / "server/mc/1/";
    std::optional<FtpServer> server;
};

TEST_F(FtpTransfersTest, ListsEachSlotWithTitlesAndSizesAndARefreshIsOneList)
{
    EXPECT_EQ(view.combos[static_cast<size_t>(Combo::Slot)].items, (Lines{"0", "1"}));
    EXPECT_EQ(view.GetComboText(Combo::Slot), "0");
    EXPECT_EQ(Describe(view.Rows(ListSide::PS2)), (Lines{"ABC|BASLUS-1|0006|PS2", "PS ONE|SLPS-2|0008|PS1"}));
    EXPECT_EQ(view.Text(TextField::Usage), "約14KB使用中");
    EXPECT_TRUE(fs::is_empty(program + "staging"));

    // An unchanged card: its rows come from the cache, the root from one LIST.
    const size_t before = server->Commands().size();
    control->UpdateDataListPS2();
    Lines refresh = server->Commands();
    refresh.erase(refresh.begin(), refresh.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(std::count(refresh.begin(), refresh.end(), "LIST"), 1) << testing::PrintToString(refresh);
    EXPECT_EQ(std::count_if(refresh.begin(), refresh.end(), [](const std::string& c) { return c.rfind("RETR", 0) == 0; }), 0);
    EXPECT_EQ(view.RowCount(ListSide::PS2), 2);

    SelectSlot(1);
    EXPECT_EQ(Describe(view.Rows(ListSide::PS2)), (Lines{"SLOT ONE|BESLES-9|0002|PS2"}));
    EXPECT_EQ(view.Text(TextField::Usage), "約2KB使用中");

    // A console with a card in slot 1 only offers slot 1.
    TempDir other;
    WriteBytes(other / "mc/1/SAVE/icon.sys", MakeIconSys("LONE"));
    FtpServer secondServer(other.path());
    view.SetEditText(Edit::Address, secondServer.Address());
    control->OnConnectFtp();
    EXPECT_EQ(view.combos[static_cast<size_t>(Combo::Slot)].items, (Lines{"1"}));
    EXPECT_EQ(Describe(view.Rows(ListSide::PS2)), (Lines{"LONE|SAVE|0002|PS2"}));
}

TEST_F(FtpTransfersTest, CopiesAndMovesBothWaysAndDeletes)
{
    Tick(ListSide::PS2, "BASLUS-1");
    Tick(ListSide::PS2, "SLPS-2");
    control->OnCopyToPC();
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-1/icon.sys"), MakeIconSys(kFullWidthABC));
    EXPECT_EQ(ReadBytes(pcFolder + "SLPS-2"), MakePS1Save("PS ONE"));
    EXPECT_EQ(Describe(view.Rows(ListSide::PC)), (Lines{"ABC|BASLUS-1|0006|PS2", "PS ONE|SLPS-2|0008|PS1"}));

    // Up to slot 1, where the PC copies leave the PC folder; the PS1 save becomes a directory of its name.
    SelectSlot(1);
    view.TickAll(ListSide::PC, true);
    control->OnMoveToPS2();
    EXPECT_EQ(ReadBytes(slot1 + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    EXPECT_EQ(ReadBytes(slot1 + "SLPS-2/SLPS-2"), MakePS1Save("PS ONE"));
    EXPECT_TRUE(fs::is_empty(pcFolder));
    EXPECT_EQ(view.RowCount(ListSide::PS2), 3);

    // And back down: slot 1 empties.
    view.TickAll(ListSide::PS2, true);
    control->OnMoveToPC();
    EXPECT_TRUE(fs::is_empty(slot1));
    EXPECT_EQ(ReadBytes(pcFolder + "SLPS-2"), MakePS1Save("PS ONE"));
    EXPECT_EQ(ReadBytes(pcFolder + "BESLES-9/icon.sys"), MakeIconSys("SLOT ONE"));
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);

    // A file the server cannot send (a link to nothing) keeps its save on the card.
    SelectSlot(0);
    fs::create_symlink("nowhere", slot0 + "BASLUS-1/broken");
    control->UpdateDataListPS2();
    fs::remove_all(pcFolder + "BASLUS-1");
    Tick(ListSide::PS2, "BASLUS-1");
    control->OnMoveToPC();
    EXPECT_TRUE(fs::exists(slot0 + "BASLUS-1/data"));
    EXPECT_TRUE(Logged("FTP : ファイルのダウンロードに失敗しました broken -> nowhere"));
    EXPECT_TRUE(Logged("エラー : コピーが完了しなかったため移動元のセーブデータを残しました BASLUS-1"));

    fs::remove(slot0 + "BASLUS-1/broken");
    control->UpdateDataListPS2();
    view.TickAll(ListSide::PS2, true);
    control->OnDeletePS2();
    EXPECT_TRUE(fs::is_empty(slot0));
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
}

// The server dies while a file is coming in: the download leaves nothing, the
// move keeps its source, every later command fails instead of waiting.
TEST_F(FtpTransfersTest, AServerStoppedMidTransferLeavesNoPartFileAndKeepsTheSource)
{
    // Sparse: large enough that the transfer is still running when the server is stopped.
    constexpr off_t kBigBytes = off_t{128} << 20;
    WriteBytes(slot0 + "BIG/icon.sys", MakeIconSys("BIG"));
    const int big = ::open((slot0 + "BIG/big").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(big, 0);
    ASSERT_EQ(::ftruncate(big, kBigBytes), 0);
    ::close(big);
    control->UpdateDataListPS2();
    Tick(ListSide::PS2, "BIG");

    // Stops the server once the first bytes of "big" have landed under a temporary name.
    std::atomic<bool> stopped{false}, finished{false};
    std::thread watcher([&] {
        const std::string save = pcFolder + "BIG/";
        for (int poll = 0; poll < 60'000 && !finished; ++poll) {
            std::error_code ignored;
            for (fs::directory_iterator it(save, ignored), end; !ignored && it != end; it.increment(ignored)) {
                const std::string name = it->path().filename().string();
                if (name != "icon.sys" && fs::file_size(it->path(), ignored) > 0) {
                    server->Stop();
                    stopped = true;
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    control->OnMoveToPC();
    finished = true;
    watcher.join();
    ASSERT_TRUE(stopped) << "the download ended before the server could be stopped";

    for (const auto& item : fs::directory_iterator(pcFolder + "BIG")) {
        EXPECT_EQ(item.path().filename(), "icon.sys");
    }
    EXPECT_EQ(fs::file_size(slot0 + "BIG/big"), static_cast<uintmax_t>(kBigBytes));
    EXPECT_TRUE(Logged("FTP : ファイルのダウンロードに失敗しました big"));
    EXPECT_TRUE(Logged("エラー : コピーが完了しなかったため移動元のセーブデータを残しました BIG"));
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
}

}  // namespace
