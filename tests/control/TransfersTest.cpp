#include <algorithm>
#include <filesystem>

#include "ControlTestFixture.h"
#include "common/FileStatus.h"

namespace fs = std::filesystem;

class TransfersTest : public ControlTest {
protected:
    void SetUp() override
    {
        WriteBytes(cardFolder + "BESLES-1/icon.sys", MakeIconSys(kFullWidthABC));
        WriteBytes(cardFolder + "BESLES-1/data", std::vector<uint8_t>(3000, 1));
        WriteBytes(cardFolder + "BESLES-1/more", std::vector<uint8_t>(10, 2));
        WriteBytes(cardFolder + "BASLUS-PS1/BASLUS-PS1", MakePS1Save("PS ONE"));
        StartConnected();
    }
};

// A command with nothing ticked says so (a highlighted row is not what commands take);
// a deletion asks first, listing the saves, and "No" deletes nothing.
TEST_F(TransfersTest, NothingTickedSaysSoAndDeletionsAsk)
{
    view.highlighted[static_cast<size_t>(ListSide::PS2)] = 0;
    for (auto command : {&Control::OnCopyToPC, &Control::OnMoveToPS2, &Control::OnDeletePS2}) {
        view.ClearStatusHistory();
        (control.get()->*command)();
        EXPECT_EQ(view.StatusHistory(), std::vector<std::string>{"チェックの付いたセーブがありません（左端のチェックボックスで選んでください）"});
    }
    EXPECT_TRUE(view.questions.empty());
    Tick(ListSide::PS2, {"BESLES-1", "BASLUS-PS1"});
    view.confirmAnswer = false;
    control->OnDeletePS2();
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_NE(view.questions[0].find("ABC (BESLES-1)"), std::string::npos) << view.questions[0];
    EXPECT_NE(view.questions[0].find("PS ONE (BASLUS-PS1)"), std::string::npos) << view.questions[0];
    EXPECT_TRUE(IsFileAt(cardFolder + "BESLES-1/data"));
    view.confirmAnswer = true;
    control->OnDeletePS2();
    EXPECT_FALSE(fs::exists(cardFolder + "BESLES-1"));
}

// A card has no room for backups: copying onto a card save of the same name asks,
// and "skip" or "cancel" leaves the card's save as it was.
TEST_F(TransfersTest, CopyingOntoACardSaveAsksFirst)
{
    WriteBytes(pcFolder + "BESLES-1/icon.sys", MakeIconSys("OLDER"));
    control->OnRefreshPC();
    for (const auto answer : {ControlView::Overwrite::Skip, ControlView::Overwrite::Cancel, ControlView::Overwrite::Replace}) {
        view.overwriteAnswer = answer;
        view.questions.clear();
        Tick(ListSide::PC, {"BESLES-1"});
        control->OnMoveToPS2();
        ASSERT_EQ(view.questions.size(), 1u);
        EXPECT_NE(view.questions[0].find("メモリーカード : "), std::string::npos);
        EXPECT_EQ(IsFileAt(cardFolder + "BESLES-1/data"), answer != ControlView::Overwrite::Replace);
        EXPECT_EQ(IsFileAt(pcFolder + "BESLES-1/icon.sys"), answer != ControlView::Overwrite::Replace);
    }
}

TEST_F(TransfersTest, DownloadsKeepOlderCopiesAndCarryTheFileOrder)
{
    for (int i = 0; i < 3; ++i) {
        Tick(ListSide::PS2, {"BESLES-1"});
        control->OnCopyToPC();
    }
    EXPECT_TRUE(fs::is_directory(pcFolder + "BESLES-1.000"));
    EXPECT_TRUE(fs::is_directory(pcFolder + "BESLES-1.001"));
    EXPECT_FALSE(fs::exists(pcFolder + "BESLES-1.002"));
    EXPECT_EQ(ReadBytes(pcFolder + "BESLES-1/data"), std::vector<uint8_t>(3000, 1));
    const std::vector<std::string> history = view.StatusHistory();
    EXPECT_NE(std::find(history.begin(), history.end(), "ダウンロード中 : ABC\nBESLES-1/more"), history.end());

    // Card order is byte order here: data, icon.sys, more. Each file's creation seconds are its place.
    const int64_t cardTime = ReadFileTimes(cardFolder + "BESLES-1/more")->lastWrite;
    int place = 1;
    for (const char* name : {"data", "icon.sys", "more"}) {
        const auto times = ReadFileTimes(pcFolder + "BESLES-1/" + name);
        ASSERT_TRUE(times && times->creation);
        std::time_t creation = static_cast<std::time_t>(*times->creation);
        std::tm local{};
        localtime_r(&creation, &local);
        EXPECT_EQ(local.tm_sec, place++) << name;
        EXPECT_EQ(times->lastWrite, std::string(name) == "more" ? cardTime : times->lastWrite);
    }
}

TEST_F(TransfersTest, PS1SaveTravelsAsOneFileAndUploadDropsTheBackupNumber)
{
    Tick(ListSide::PS2, {"BASLUS-PS1"});
    control->OnCopyToPC();
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-PS1"), MakePS1Save("PS ONE"));

    fs::rename(pcFolder + "BASLUS-PS1", pcFolder + "BASLUS-PS2.000");
    fs::remove_all(cardFolder + "BASLUS-PS1");
    WriteBytes(pcFolder + "BESLES-9.000/icon.sys", MakeIconSys("NINE"));
    control->UpdateDataListPC();
    view.TickAll(ListSide::PC, true);
    control->OnCopyToPS2();
    EXPECT_EQ(ReadBytes(cardFolder + "BASLUS-PS2/BASLUS-PS2"), MakePS1Save("PS ONE"));
    EXPECT_TRUE(fs::is_regular_file(cardFolder + "BESLES-9/icon.sys"));
    EXPECT_EQ(view.RowCount(ListSide::PS2), 3);
    EXPECT_TRUE(fs::is_empty(program + "staging"));
}

TEST_F(TransfersTest, MovesDeleteTheSourceOnlyWhenEverythingWasCopied)
{
    // A file that cannot be read (a link to nowhere) spoils the copy of its save.
    fs::create_symlink(root / "nowhere", cardFolder + "BESLES-1/broken");
    view.TickAll(ListSide::PS2, true);
    control->OnMoveToPC();
    EXPECT_TRUE(fs::exists(cardFolder + "BESLES-1/data"));
    EXPECT_FALSE(fs::exists(cardFolder + "BASLUS-PS1"));
    EXPECT_TRUE(fs::is_regular_file(pcFolder + "BASLUS-PS1"));
    EXPECT_NE(LogText().find("コピーが完了しなかったため移動元のセーブデータを残しました BESLES-1"), std::string::npos);

    WriteBytes(pcFolder + "BESLES-2/icon.sys", MakeIconSys("TWO"));
    fs::create_symlink(root / "nowhere", pcFolder + "BESLES-2/broken");
    control->UpdateDataListPC();
    view.TickAll(ListSide::PC, true);
    control->OnMoveToPS2();
    EXPECT_TRUE(fs::exists(pcFolder + "BESLES-2/icon.sys"));
    EXPECT_FALSE(fs::exists(pcFolder + "BASLUS-PS1"));
    EXPECT_TRUE(fs::is_regular_file(cardFolder + "BASLUS-PS1/BASLUS-PS1"));
}

TEST_F(TransfersTest, DeletionsOnBothSides)
{
    WriteBytes(cardFolder + "ROOTPS1", MakePS1Save("ROOT"));
    control->UpdateDataListPS2();
    view.TickAll(ListSide::PS2, true);
    control->OnDeletePS2();
    EXPECT_TRUE(fs::is_empty(cardFolder));
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);

    // A link inside a save is removed, never followed out of the folder.
    WriteBytes(root / "outside/keep", {1});
    WriteBytes(pcFolder + "SAVE/sub/file", {2});
    fs::create_directory_symlink(root / "outside", pcFolder + "SAVE/link");
    WriteBytes(pcFolder + "plain", {3});
    control->UpdateDataListPC();
    view.TickAll(ListSide::PC, true);
    control->OnDeletePC();
    EXPECT_TRUE(fs::is_empty(pcFolder));
    EXPECT_TRUE(fs::exists(root / "outside/keep"));
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
}
