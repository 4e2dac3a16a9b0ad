// Saves and cards made to trick the program: nothing outside the save named is
// ever touched.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ControlTestFixture.h"

namespace fs = std::filesystem;

namespace {

class HostileWorldTest : public ControlTest {
protected:
    void Tick(ListSide side, const std::string& name)
    {
        for (MemoryView::Row& row : view.lists[static_cast<size_t>(side)]) {
            row.ticked = row.row.name == name;
        }
    }
};

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

    Tick(ListSide::PS2, blank);
    control->OnDeletePS2();
    EXPECT_FALSE(fs::exists(cardFolder + blank));
    EXPECT_TRUE(fs::exists(cardFolder + "ROOT-PS1"));

    Tick(ListSide::PC, blank);
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
    Tick(ListSide::PS2, "ODD");
    control->OnDeletePS2();
    Tick(ListSide::PC, "ODD");
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
    Tick(ListSide::PS2, "FULL");
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

}  // namespace
