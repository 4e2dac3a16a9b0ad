// The controller over a real FTP server on loopback, through the in-memory view.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
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
    for (const ListRow& r : rows) lines.push_back(r[kColumnTitle] + "|" + r[kColumnName] + "|" + r[kColumnSize] + "|" + r[kColumnType]);
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
        view.SetEditText(Edit::Address, server.Address());
        Start().OnConnectFtp();
    }
    void SelectSlot(int index)
    {
        view.SelectComboItem(Combo::Slot, index);
        control->UpdateDataListPS2();
    }
    bool Logged(const std::string& line) const { return LogText().find(" - " + line + "\n") != std::string::npos; }

    const std::string slot0 = root / "server/mc/0/";
    const std::string slot1 = root / "server/mc/1/";
    FtpServer server{root / "server"};
};

TEST_F(FtpTransfersTest, ListsEachSlotWithTitlesAndSizesAndARefreshIsOneList)
{
    EXPECT_EQ(view.combos[static_cast<size_t>(Combo::Slot)].items, (Lines{"0", "1"}));
    EXPECT_EQ(Describe(view.Rows(ListSide::PS2)), (Lines{"ABC|BASLUS-1|0006|PS2", "PS ONE|SLPS-2|0008|PS1"}));

    // An unchanged card: its rows come from the cache, the root from one LIST.
    const size_t before = server.Commands().size();
    control->UpdateDataListPS2();
    const Lines all = server.Commands();
    Lines transfers;  // CWD, PORT and TYPE come along; only LIST and RETR move data
    for (size_t i = before; i < all.size(); ++i) {
        if (all[i] == "LIST" || all[i].rfind("RETR", 0) == 0) transfers.push_back(all[i]);
    }
    EXPECT_EQ(transfers, Lines{"LIST"});
    EXPECT_EQ(view.RowCount(ListSide::PS2), 2);

    SelectSlot(1);
    EXPECT_EQ(Describe(view.Rows(ListSide::PS2)), (Lines{"SLOT ONE|BESLES-9|0002|PS2"}));

}

// Found by the hunt: a second connection while the first was still open
// stalled for the whole response time limit. The old one now goes first.
TEST_F(FtpTransfersTest, AConnectWhileConnectedClosesTheOldConnectionFirst)
{
    const size_t before = server.Commands().size();
    control->OnConnectFtp();
    const Lines all = server.Commands();
    const Lines after(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0], "QUIT");
    EXPECT_EQ(after[1], "USER anonymous");
    EXPECT_EQ(std::count(after.begin(), after.end(), "USER anonymous"), 1);
    EXPECT_EQ(view.RowCount(ListSide::PS2), 2);
}

// Two cards of one game hold saves of the same name: a row listed for one slot
// is never acted on in the other.
TEST_F(FtpTransfersTest, ARowOfOneSlotIsNotActedOnInTheOther)
{
    WriteBytes(slot0 + "BESLES-SAME/icon.sys", MakeIconSys("ZERO"));
    WriteBytes(slot1 + "BESLES-SAME/icon.sys", MakeIconSys("ONE"));
    SelectSlot(1);
    const std::vector<ListRow> slotOneRows = view.Rows(ListSide::PS2);
    view.SelectComboItem(Combo::Slot, 0);
    control->DeletePS2(slotOneRows);
    EXPECT_TRUE(fs::exists(slot0 + "BESLES-SAME/icon.sys"));
    EXPECT_TRUE(fs::exists(slot1 + "BESLES-SAME/icon.sys"));
}

// Every command after the stop must fail at once instead of waiting.
TEST_F(FtpTransfersTest, AServerStoppedMidTransferLeavesNoPartFileAndKeepsTheSource)
{
    constexpr uintmax_t kBigBytes = uintmax_t{128} << 20;
    WriteBytes(slot0 + "BIG/icon.sys", MakeIconSys("BIG"));
    WriteBytes(slot0 + "BIG/big", {});
    fs::resize_file(slot0 + "BIG/big", kBigBytes);
    control->UpdateDataListPS2();
    Tick(ListSide::PS2, {"BIG"});

    // Stops the server once the first bytes of the sparse "big" land, long before its end.
    std::atomic<bool> stopped{false}, finished{false};
    std::thread watcher([&] {
        for (int poll = 0; poll < 60'000 && !finished && !stopped; ++poll) {
            std::error_code ignored;
            for (fs::directory_iterator it(pcFolder + "BIG", ignored), end; !ignored && it != end; it.increment(ignored)) {
                if (it->path().filename() != "icon.sys" && fs::file_size(it->path(), ignored) > 0 && !stopped) {
                    server.Stop();
                    stopped = true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    control->OnMoveToPC();
    finished = true;
    watcher.join();
    ASSERT_TRUE(stopped) << "the download ended before the server could be stopped";

    for (const auto& item : fs::directory_iterator(pcFolder + "BIG")) EXPECT_EQ(item.path().filename(), "icon.sys");
    EXPECT_EQ(fs::file_size(slot0 + "BIG/big"), kBigBytes);
    EXPECT_TRUE(Logged("FTP : ファイルのダウンロードに失敗しました big"));
    EXPECT_TRUE(Logged("エラー : コピーが完了しなかったため移動元のセーブデータを残しました BIG"));
    // The card list that ends the move could not be read: no empty card is shown as all well.
    EXPECT_TRUE(control->CardListFailed());
    EXPECT_EQ(view.Text(TextField::Status), "1件中1件を処理できませんでした。詳しくは「ログ」をご覧ください");
}

// A console whose transfers end early: a PS1 save arrived short and stayed
// under its name, and a move then deleted the card's only whole copy. Both
// ways a PS1 save lies on a card are checked against the card's listing.
class ShortFtpTransferTest : public ControlTest {};

TEST_F(ShortFtpTransferTest, APS1SaveThatArrivesShortIsNotKeptAndAMoveKeepsIt)
{
    const std::string slot0 = root / "server/mc/0/";
    WriteBytes(slot0 + "SLPS-2/SLPS-2", MakePS1Save("IN A FOLDER", 2));
    WriteBytes(slot0 + "SLPS-3", MakePS1Save("IN THE ROOT", 2));
    FtpServer server(root / "server", "short");
    view.SetEditText(Edit::Address, server.Address());
    Start().OnConnectFtp();
    ASSERT_EQ(view.RowCount(ListSide::PS2), 2);

    view.TickAll(ListSide::PS2, true);
    control->OnMoveToPC();
    EXPECT_TRUE(fs::is_empty(pcFolder));
    EXPECT_EQ(ReadBytes(slot0 + "SLPS-2/SLPS-2"), MakePS1Save("IN A FOLDER", 2));
    EXPECT_EQ(ReadBytes(slot0 + "SLPS-3"), MakePS1Save("IN THE ROOT", 2));
    for (const char* name : {"SLPS-2", "SLPS-3"}) {
        for (const std::string line : {"エラー : 大きさが一覧と合わないためコピーしたファイルを削除しました Control::OnCopyToPC() ",
                                       "エラー : コピーが完了しなかったため移動元のセーブデータを残しました "}) {
            EXPECT_NE(LogText().find(line + name), std::string::npos) << line << name;
        }
    }
}

}  // namespace
