#include <filesystem>

#include "ControlTestFixture.h"
#include "ServerProcess.h"

namespace {

ListTexts Row(const std::string& title, const std::string& name, const std::string& size, const std::string& type)
{
    return ListTexts{title, name, size, type};
}

}  // namespace

TEST_F(ControlTest, PcListShowsTitlesSizesAndDamagedSaves)
{
    WriteBytes(pcFolder + "BASLUS-1/icon.sys", MakeIconSys(kFullWidthABC + "\r\n" + kFullWidthABC + "\x81\x40\x81\x40"));
    WriteBytes(pcFolder + "BASLUS-1/empty", {});
    WriteBytes(pcFolder + "BASLUS-1/exact", std::vector<uint8_t>(2048));
    WriteBytes(pcFolder + "BASLUS-1/over", std::vector<uint8_t>(2049));
    WriteBytes(pcFolder + "BROKEN/data", std::vector<uint8_t>(10));
    WriteBytes(pcFolder + "ps1save", MakePS1Save("\x82\x6f\x82\x72\x82\x50"));
    WriteText(pcFolder + "notes.txt", "not a save");
    Start();

    // icon.sys (964 bytes) 2 + empty 2 + 2048 bytes 2 + 2049 bytes 4.
    EXPECT_EQ(view.Texts(ListSide::PC),
              (std::vector<ListTexts>{Row("ABC ABC", "BASLUS-1", "0010", "PS2"), Row("破損ファイル", "BROKEN", "0002", "PS2"),
                                    Row("破損ファイル", "notes.txt", "0008", "PS1"), Row("PS1", "ps1save", "0008", "PS1")}));
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
    EXPECT_NE(LogText().find("ファイルの読み込みに失敗しました IconSys::IconSys "), std::string::npos);
}

TEST_F(ControlTest, PcFolderThatDoesNotExistIsCreatedOneLevel)
{
    view.SetEditText(Edit::PcFolder, pcFolder + "new");
    Start();
    EXPECT_TRUE(std::filesystem::is_directory(pcFolder + "new"));
    view.SetEditText(Edit::PcFolder, pcFolder + "a/b");
    control->UpdateDataListPC();
    EXPECT_FALSE(std::filesystem::exists(pcFolder + "a"));
    EXPECT_NE(LogText().find("フォルダを作成できませんでした"), std::string::npos);
}

TEST_F(ControlTest, ForceDirectoryEntersFilesAndFallsBackToPS1)
{
    WriteBytes(cardFolder + "AAA/icon.sys", MakeIconSys(kFullWidthABC));
    WriteBytes(cardFolder + "ZZZ", MakePS1Save("ROOTFILE"));
    view.SetOptionChecked(Option::ForceDirectory, true);
    StartConnected();
    // The file cannot be entered: it must not borrow the title of the save entered before it.
    EXPECT_EQ(view.Texts(ListSide::PS2),
              (std::vector<ListTexts>{Row("ABC", "AAA", "0002", "PS2"), Row("ROOTFILE", "ZZZ", "0008", "PS1")}));
}

TEST_F(ControlTest, RowCacheKeepsCardRowsUntilDisconnectWhichClearsWhatTheCardShowed)
{
    WriteBytes(cardFolder + "SAVE/icon.sys", MakeIconSys(kFullWidthABC));
    StartConnected();
    ASSERT_EQ(view.GetRow(ListSide::PS2, 0)[kColumnTitle], "ABC");

    WriteBytes(cardFolder + "SAVE/icon.sys", MakeIconSys("NEW"));
    control->UpdateDataListPS2();
    EXPECT_EQ(view.GetRow(ListSide::PS2, 0)[kColumnTitle], "ABC");

    view.highlighted[static_cast<size_t>(ListSide::PS2)] = 0;
    control->OnChangePS2();
    ASSERT_FALSE(view.Text(TextField::SaveInfo).empty());
    ASSERT_FALSE(view.Text(TextField::Usage).empty());
    control->OnDisconnect();
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);
    EXPECT_EQ(view.ComboItemCount(Combo::Slot), 0);
    // Nothing of the card stays on show.
    EXPECT_EQ(view.Text(TextField::Usage), "");
    EXPECT_EQ(view.Text(TextField::SaveInfo), "");
    control->OnConnectUSBMemory();
    EXPECT_EQ(view.GetRow(ListSide::PS2, 0)[kColumnTitle], "NEW");
}

TEST_F(ControlTest, EmptyAddressKeepsTheBackendAndStillRefreshes)
{
    WriteBytes(cardFolder + "SAVE/icon.sys", MakeIconSys(kFullWidthABC));
    StartConnected();
    view.ClearStatusHistory();
    control->OnConnectFtp();
    EXPECT_TRUE(control->IsCardConnected());
    EXPECT_EQ(view.RowCount(ListSide::PS2), 1);
    EXPECT_EQ(view.StatusHistory().front(), "FTP接続開始");
    EXPECT_EQ(view.StatusHistory().back(), "接続先が入力されていません");
    EXPECT_TRUE(view.failures.empty());
}

// A connection that fails is shown with what the backend said: FTP where nothing
// listens, PS2Link without ps2client beside the program.
TEST_F(ControlTest, AFailedConnectionIsShownWithItsReason)
{
    Start();
    view.SetEditText(Edit::Address, "127.0.0.1:" + std::to_string(FreeLoopbackPort()));
    control->OnConnectFtp();
    view.SetEditText(Edit::Address, "127.0.0.1");
    control->OnConnectPS2Link();
    ASSERT_EQ(view.failures.size(), 2u);
    for (const std::string& failure : view.failures) {
        EXPECT_EQ(failure.rfind("接続できませんでした\nメモリーカードに接続できませんでした。\n\n", 0), 0u) << failure;
        EXPECT_EQ(failure.find("理由はログをご覧ください"), std::string::npos) << failure;
    }
    EXPECT_NE(view.failures[1].find("ps2client"), std::string::npos) << view.failures[1];
    // Unconnected, a card list is nothing, not a crash.
    control->UpdateMemoryCardList();
    control->UpdateDataListPS2();
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);
}

TEST_F(ControlTest, RealSampleSavesListWithDecodedTitles)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "sample files not found";
    }
    view.SetEditText(Edit::PcFolder, samples + "ps2-saves");
    Start();
    ASSERT_GT(view.RowCount(ListSide::PC), 10);
    for (const ListRow& row : view.Rows(ListSide::PC)) {
        EXPECT_NE(row[kColumnTitle], "破損ファイル") << row[kColumnName];
        EXPECT_EQ(row[kColumnTitle].find("\xEF\xBF\xBD"), std::string::npos) << row[kColumnName];
        EXPECT_EQ(row[kColumnType], "PS2");
    }
    view.SetEditText(Edit::PcFolder, samples + "ps1/raw");
    control->UpdateDataListPC();
    ASSERT_EQ(view.RowCount(ListSide::PC), 5);
    for (const ListRow& row : view.Rows(ListSide::PC)) {
        EXPECT_NE(row[kColumnTitle], "破損ファイル") << row[kColumnName];
        EXPECT_EQ(row[kColumnType], "PS1");
    }
}
