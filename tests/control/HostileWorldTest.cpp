// Saves and cards made to trick the program: nothing outside the save named is
// ever touched.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ControlTestFixture.h"

namespace fs = std::filesystem;

namespace {

class HostileWorldTest : public ControlTest {};

// A name ending in a blank once showed an empty name, and acting on it acted on
// the folder around it: every save of the PC folder, or every PS1 save of the card.
TEST_F(HostileWorldTest, ANameEndingInABlankIsThatSaveOnly)
{
    const std::string blank = "BESLES-11111 ";
    WriteBytes(pcFolder + blank + "/icon.sys", MakeIconSys("BLANK PC"));
    WriteBytes(pcFolder + "OTHER/icon.sys", MakeIconSys("OTHER"));
    WriteBytes(pcFolder + "LOOSE", MakePS1Save("LOOSE"));
    WriteBytes(cardFolder + blank + "/icon.sys", MakeIconSys("BLANK CARD"));
    WriteBytes(cardFolder + "ROOT-PS1", MakePS1Save("ROOT"));
    StartConnected();

    Tick(ListSide::PS2, {blank});
    control->OnDeletePS2();
    EXPECT_FALSE(fs::exists(cardFolder + blank));
    EXPECT_TRUE(fs::exists(cardFolder + "ROOT-PS1"));

    Tick(ListSide::PC, {blank});
    control->OnMoveToPS2();
    EXPECT_EQ(ReadBytes(cardFolder + blank + "/icon.sys"), MakeIconSys("BLANK PC"));
    EXPECT_FALSE(fs::exists(cardFolder + "LOOSE"));
    EXPECT_TRUE(fs::exists(pcFolder + "OTHER/icon.sys") && fs::exists(pcFolder + "LOOSE"));
    EXPECT_FALSE(fs::exists(pcFolder + blank));
}

// A card directory holding folders is no save (a server that trims "NAME " to the
// card's root shows just that): deleting, copying into or out of it does nothing.
TEST_F(HostileWorldTest, ACardDirectoryHoldingFoldersIsNotActedOn)
{
    WriteBytes(cardFolder + "ODD/icon.sys", MakeIconSys("ODD"));
    WriteBytes(cardFolder + "ODD/inner/kept", {1});
    WriteBytes(pcFolder + "ODD/icon.sys", MakeIconSys("PC ODD"));
    StartConnected();
    Tick(ListSide::PS2, {"ODD"});
    control->OnDeletePS2();
    Tick(ListSide::PC, {"ODD"});
    control->OnMoveToPS2();
    EXPECT_TRUE(fs::exists(cardFolder + "ODD/inner/kept"));
    EXPECT_EQ(ReadBytes(cardFolder + "ODD/icon.sys"), MakeIconSys("ODD"));
    EXPECT_TRUE(fs::exists(pcFolder + "ODD/icon.sys"));
    EXPECT_NE(LogText().find("セーブのディレクトリではないため何もしませんでした"), std::string::npos);
}

// With NAME.000 to NAME.999 all taken there is no backup name left: the copy is refused.
TEST_F(HostileWorldTest, NoFreeBackupNameRefusesTheCopy)
{
    WriteBytes(cardFolder + "FULL/icon.sys", MakeIconSys("NEW"));
    WriteBytes(pcFolder + "FULL/icon.sys", MakeIconSys("OLD"));
    for (int i = 0; i < 1000; ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, ".%03d", i);
        fs::create_directory(pcFolder + "FULL" + suffix);
    }
    StartConnected();
    Tick(ListSide::PS2, {"FULL"});
    control->OnMoveToPC();
    EXPECT_EQ(ReadBytes(pcFolder + "FULL/icon.sys"), MakeIconSys("OLD"));
    EXPECT_TRUE(fs::exists(cardFolder + "FULL/icon.sys"));
    EXPECT_NE(LogText().find("バックアップ名が残っていないため保存できませんでした"), std::string::npos);
}

// The window stages its files under the same lock as the command line: a run
// holding it is waited for a few seconds, then named, and nothing is staged.
TEST_F(HostileWorldTest, AnotherRunHoldingTheStagingIsWaitedForThenNamed)
{
    WriteBytes(cardFolder + "SAVE/icon.sys", MakeIconSys("SAVE"));
    const std::string lockFile = program + "staging.lock";
    FILE* holder = ::popen(("/usr/bin/python3 -c 'import fcntl,os,sys,time; f=open(sys.argv[1],\"a\"); "
                            "fcntl.lockf(f, fcntl.LOCK_EX); print(os.getpid(), flush=True); time.sleep(30)' '" +
                            lockFile + "'")
                               .c_str(),
                           "r");
    ASSERT_NE(holder, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
    StartConnected();
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);
    EXPECT_NE(LogText().find("python3) がプログラムフォルダを使用中のため待ちきれませんでした"), std::string::npos);
    ::kill(static_cast<pid_t>(std::atoi(line)), SIGTERM);
    ::pclose(holder);
    control->UpdateDataListPS2();
    EXPECT_EQ(view.RowCount(ListSide::PS2), 1);
}

// A card folder whose save is a link to another folder: deleting the save
// once emptied that folder, and a copy to the card wrote into it. The link is
// a card entry like any file; nothing goes through it.
TEST_F(HostileWorldTest, ALinkedSaveOnAFolderCardLeadsNowhere)
{
    WriteBytes(root / "elsewhere/icon.sys", MakeIconSys("ELSEWHERE"));
    WriteText(root / "elsewhere/document", "unrelated");
    fs::create_directory_symlink(root / "elsewhere", cardFolder + "LINKED");
    WriteBytes(pcFolder + "LINKED/icon.sys", MakeIconSys("PC"));
    WriteBytes(pcFolder + "LINKED/extra", {1, 2, 3});
    StartConnected();
    ASSERT_EQ(view.RowCount(ListSide::PS2), 1);
    EXPECT_EQ(view.Rows(ListSide::PS2)[0][kColumnType], "PS1");  // no directory: a file of the root

    Tick(ListSide::PC, {"LINKED"});
    control->OnMoveToPS2();
    EXPECT_TRUE(fs::exists(pcFolder + "LINKED/extra"));
    Tick(ListSide::PS2, {"LINKED"});
    control->OnCopyToPC();
    control->OnDeletePS2();
    EXPECT_EQ(ReadText(root / "elsewhere/document"), "unrelated");
    EXPECT_EQ(ReadBytes(root / "elsewhere/icon.sys"), MakeIconSys("ELSEWHERE"));
    EXPECT_FALSE(fs::exists(root / "elsewhere/extra"));
    EXPECT_NE(LogText().find("シンボリックリンクには入りません MemoryCardUSBMemory::SetCurrentDirectory() LINKED"),
              std::string::npos);
}

// Pipes on the card and in a PC save once hung the card list and the copy to
// the card for good. They are no files to copy: a save holding one is not
// copied whole, so a move keeps it; a link inside a PC save is not followed
// onto the card.
TEST_F(HostileWorldTest, PipesAndLinksInsideSavesAreNotCopied)
{
    WriteText(root / "secret", "any file the user can read");
    WriteBytes(cardFolder + "CARDSAVE/icon.sys", MakeIconSys("CARD"));
    WriteBytes(pcFolder + "PCSAVE/icon.sys", MakeIconSys("PC"));
    WriteBytes(pcFolder + "LINKSAVE/icon.sys", MakeIconSys("LINK"));
    fs::create_symlink(root / "secret", pcFolder + "LINKSAVE/secret");
    const PipeTrap rootPipe(cardFolder + "ROOTPIPE"), cardPipe(cardFolder + "CARDSAVE/pipe"),
        pcPipe(pcFolder + "PCSAVE/pipe");
    StartConnected();
    EXPECT_EQ(view.RowCount(ListSide::PS2), 2);

    Tick(ListSide::PS2, {"CARDSAVE"});
    control->OnMoveToPC();
    for (const char* save : {"PCSAVE", "LINKSAVE"}) {
        Tick(ListSide::PC, {save});
        control->OnMoveToPS2();
    }
    EXPECT_TRUE(fs::exists(cardFolder + "CARDSAVE/icon.sys"));
    EXPECT_TRUE(fs::exists(pcFolder + "PCSAVE/icon.sys") && fs::exists(pcFolder + "LINKSAVE/icon.sys"));
    EXPECT_FALSE(fs::exists(cardFolder + "LINKSAVE/secret") || fs::exists(cardFolder + "PCSAVE/pipe"));
    EXPECT_FALSE(rootPipe.Sprung() || cardPipe.Sprung() || pcPipe.Sprung());
    for (const char* save : {"CARDSAVE", "PCSAVE", "LINKSAVE"}) {
        EXPECT_NE(LogText().find(std::string("コピーが完了しなかったため移動元のセーブデータを残しました ") + save),
                  std::string::npos) << save;
    }
}

// A card folder that could not be read once showed as an empty card. The
// status says the list failed, until a list succeeds again.
TEST_F(HostileWorldTest, ACardListThatFailsIsNoEmptyCard)
{
    WriteBytes(cardFolder + "SAVE/icon.sys", MakeIconSys("SAVE"));
    StartConnected();
    fs::rename(cardFolder, root / "away");
    control->DeletePS2({});  // nothing to delete: the card list afresh
    EXPECT_TRUE(control->CardListFailed());
    EXPECT_EQ(view.RowCount(ListSide::PS2), 0);
    EXPECT_EQ(view.Text(TextField::Usage), "");
    EXPECT_EQ(view.Text(TextField::Status), "エラー : メモリーカードのセーブデータリストを取得できませんでした");
    EXPECT_NE(LogText().find("エラー : メモリーカードのセーブデータリストを取得できませんでした UpdateDataListPS2()"),
              std::string::npos);

    fs::rename(root / "away", cardFolder);
    control->DeletePS2({});
    EXPECT_FALSE(control->CardListFailed());
    EXPECT_EQ(view.RowCount(ListSide::PS2), 1);
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
}

// A file in the card's root is taken for a PS1 save, which is whole 8 KB
// blocks: one that is not is none, and is not copied as one.
TEST_F(HostileWorldTest, ARootFileOfNoWholeBlocksIsNotCopiedAsAPS1Save)
{
    WriteBytes(cardFolder + "ODDSIZE", std::vector<uint8_t>(9000, 1));
    StartConnected();
    Tick(ListSide::PS2, {"ODDSIZE"});
    control->OnMoveToPC();
    EXPECT_FALSE(fs::exists(pcFolder + "ODDSIZE"));
    EXPECT_EQ(fs::file_size(cardFolder + "ODDSIZE"), 9000u);
    EXPECT_NE(LogText().find("PS1のセーブデータの大きさではないためコピーしませんでした Control::OnCopyToPC() ODDSIZE"),
              std::string::npos);
}

}  // namespace
