#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ControlTestFixture.h"

namespace fs = std::filesystem;

// The .psu of BESLES-1 is named after its title, "ABC" in full-width letters.
const std::string kPsuName = "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3.psu";

class ImportExportTest : public ControlTest {
protected:
    ImportExportTest() : exportFolder(root / "export/")
    {
        fs::create_directories(exportFolder);
        WriteBytes(pcFolder + "BESLES-1/icon.sys", MakeIconSys(kFullWidthABC));
        WriteBytes(pcFolder + "BESLES-1/data", std::vector<uint8_t>(3000, 7));
        WriteBytes(pcFolder + "BASLUS-PS1", MakePS1Save("PS1 TITLE", 2));
        Start();
    }

    void TickAllPcRows() { view.TickAll(ListSide::PC, true); }

    // Every PC save exported into exportFolder (0 psu, 1 npo; the PS1 save as .mcr).
    void ExportAll(int fileType)
    {
        TickAllPcRows();
        view.folderAnswers = {exportFolder};
        view.fileTypeAnswer = fileType;
        control->OnExport();
        ASSERT_TRUE(IsFileAt(exportFolder + "BASLUS-PS1.mcr"));
    }

    // Every path below root, relative to it.
    static std::set<std::string> Tree(const std::string& root)
    {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            paths.insert(fs::relative(entry.path(), root).string());
        }
        return paths;
    }

    std::string exportFolder;
};

TEST_F(ImportExportTest, EveryEarlyEndEnablesTheControls)
{
    const auto expectNothingWritten = [&] {
        EXPECT_TRUE(fs::is_empty(exportFolder));
        EXPECT_TRUE(view.enabled[IDC_BUTTON_EXPORT]);
        view.enabled.clear();
    };
    TickAllPcRows();
    control->OnExport();  // folder picker cancelled
    expectNothingWritten();
    view.folderAnswers = {exportFolder};
    control->OnExport();  // format dialog cancelled
    expectNothingWritten();
    view.TickAll(ListSide::PC, false);
    view.folderAnswers = {exportFolder};
    view.fileTypeAnswer = 0;
    control->OnExport();  // nothing ticked
    expectNothingWritten();
}

TEST_F(ImportExportTest, ImportBringsContainersBackIntoThePcFolder)
{
    TickAllPcRows();
    view.folderAnswers = {exportFolder};
    view.fileTypeAnswer = 1;
    control->OnExport();
    fs::remove_all(pcFolder + "BESLES-1");
    fs::remove(pcFolder + "BASLUS-PS1");
    fs::copy_file(exportFolder + "BESLES-1.npo", exportFolder + "BESLES-1.NPO");
    fs::remove(exportFolder + "BESLES-1.npo");
    WriteText(exportFolder + "readme.txt", "x");

    view.openFileAnswer = {exportFolder + "BESLES-1.NPO", exportFolder + "BASLUS-PS1.mcr", exportFolder + "readme.txt"};
    control->OnImport();
    EXPECT_EQ(view.openFileFilter.rfind("PSUファイル (*.psu)|*.psu|npoファイル (*.npo)|*.npo|PS1セーブデータ|", 0), 0u);
    EXPECT_NE(view.openFileFilter.find("*.pss; *.vgs; *.mem; *.srm; *.bin; *.vmp|"), std::string::npos);
    EXPECT_NE(view.openFileFilter.find("|*.max; *.pws; *.cbs; *.sps; *.xps; *.psv|すべてのファイル|*||"), std::string::npos);
    EXPECT_EQ(ReadBytes(pcFolder + "BESLES-1/data"), std::vector<uint8_t>(3000, 7));
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-PS1"), MakePS1Save("PS1 TITLE", 2));
    EXPECT_EQ(view.RowCount(ListSide::PC), 2);
    const std::string log = LogText();
    EXPECT_NE(log.find("Control::OnImport()"), std::string::npos);
    EXPECT_NE(log.find("選択ファイル数 : 3"), std::string::npos);
    EXPECT_NE(log.find("読込中(npo) : " + exportFolder + "BESLES-1.NPO"), std::string::npos);
    EXPECT_NE(log.find("読込中(ps1) : "), std::string::npos);
    EXPECT_NE(log.find("拡張子の判別ミス : txt " + exportFolder + "readme.txt"), std::string::npos);
}

// The content decides, whatever the name says; a file of no kind the import
// takes is refused with its line in the log and leaves the PC folder as it was.
TEST_F(ImportExportTest, ContentDecidesTheKind)
{
    ExportAll(0);
    fs::rename(exportFolder + kPsuName, exportFolder + "renamed.dat");
    fs::rename(exportFolder + "BASLUS-PS1.mcr", exportFolder + "card.bin");
    WriteBytes(exportFolder + "BASLUS-RAW", MakePS1Save("RAW", 3));
    WriteBytes(exportFolder + "save.sm", std::vector<uint8_t>(10));
    WriteBytes(exportFolder + "blank.mcr", std::vector<uint8_t>(131072, 0xFF));
    fs::remove_all(pcFolder);
    fs::create_directories(pcFolder);
    const std::pair<std::string, std::string> cases[] = {{"renamed.dat", "読込中(psu) : "}, {"card.bin", "読込中(ps1) : "},
                                                         {"BASLUS-RAW", "読込中(ps1) : "}, {"save.sm", "拡張子の判別ミス : sm "},
                                                         {"blank.mcr", "拡張子の判別ミス : mcr "}};
    for (const auto& [file, logged] : cases) {
        EXPECT_EQ(control->ImportFile(exportFolder + file), logged.starts_with("読込中")) << file;
        EXPECT_NE(LogText().find(logged + exportFolder + file), std::string::npos) << file;
    }
    // Exactly the three saves: no junk named by bytes that were never a card's directory.
    EXPECT_EQ(Tree(pcFolder), (std::set<std::string>{"BESLES-1", "BESLES-1/data", "BESLES-1/icon.sys", "BASLUS-PS1", "BASLUS-RAW"}));
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-PS1"), MakePS1Save("PS1 TITLE", 2));
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-RAW"), MakePS1Save("RAW", 3));
}

// Over a save of the same name the old one is kept whole as NAME.000; nothing of it mixes into the new one.
TEST_F(ImportExportTest, ImportOverAnExistingSaveKeepsTheOldOne)
{
    ExportAll(1);
    WriteText(pcFolder + "BESLES-1/extra", "old only");
    WriteText(pcFolder + "BASLUS-PS1", "old ps1");
    ASSERT_TRUE(control->ImportFile(exportFolder + "BESLES-1.npo") && control->ImportFile(exportFolder + "BASLUS-PS1.mcr"));
    EXPECT_EQ(Tree(pcFolder), (std::set<std::string>{"BESLES-1", "BESLES-1/data", "BESLES-1/icon.sys", "BESLES-1.000",
                                                      "BESLES-1.000/data", "BESLES-1.000/extra", "BESLES-1.000/icon.sys",
                                                      "BASLUS-PS1", "BASLUS-PS1.000"}));
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-PS1"), MakePS1Save("PS1 TITLE", 2));
    EXPECT_EQ(ReadText(pcFolder + "BASLUS-PS1.000"), "old ps1");
}

TEST_F(ImportExportTest, DroppedFilesTakeEveryKindImportTakes)
{
    ExportAll(0);
    fs::remove_all(pcFolder);
    fs::create_directories(pcFolder);
    WriteText(exportFolder + "readme.txt", "x");
    control->OnImportDropped({exportFolder + kPsuName, exportFolder + "BASLUS-PS1.mcr", exportFolder + "readme.txt"});
    EXPECT_EQ(Tree(pcFolder), (std::set<std::string>{"BESLES-1", "BESLES-1/data", "BESLES-1/icon.sys", "BASLUS-PS1"}));
    // A drop is quiet but for what it could not take.
    EXPECT_EQ(LogText().find("読込中("), std::string::npos);
    EXPECT_NE(LogText().find("拡張子の判別ミス : txt " + exportFolder + "readme.txt"), std::string::npos);
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
}

TEST_F(ImportExportTest, FileErrorEndsOneSaveNotTheCommand)
{
    // A link in a save would carry any file the user can read into the container:
    // that save is not written at all, the next one still is.
    WriteText(root / "private", "not for a card");
    WriteBytes(pcFolder + "BESLES-0/icon.sys", MakeIconSys("BROKEN"));
    fs::create_symlink(root / "private", pcFolder + "BESLES-0/linked");
    control->UpdateDataListPC();
    for (const int fileType : {0, 1}) {
        TickAllPcRows();
        view.folderAnswers = {exportFolder};
        view.fileTypeAnswer = fileType;
        control->OnExport();
    }
    EXPECT_EQ(Tree(exportFolder), (std::set<std::string>{kPsuName, "BESLES-1.npo", "BASLUS-PS1.mcr", "BASLUS-PS1.000.mcr"}));
    EXPECT_NE(LogText().find("エラー : 通常のファイルではないため読み込みませんでした SaveFileFolder::Load() " + pcFolder +
                             "BESLES-0/linked"),
              std::string::npos);
}

// Saves of one title give .psu files of one name, and a second export meets the
// first one's files: an existing file is never replaced, the new one takes the
// next free number before the extension.
TEST_F(ImportExportTest, ExportNeverReplacesAFile)
{
    WriteBytes(pcFolder + "BESLES-2/icon.sys", MakeIconSys(kFullWidthABC));
    WriteBytes(pcFolder + "BESLES-2/other", std::vector<uint8_t>(10, 2));
    control->UpdateDataListPC();
    ExportAll(0);
    ExportAll(1);
    ExportAll(1);
    const std::string numbered = "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3.000.psu";
    EXPECT_EQ(Tree(exportFolder), (std::set<std::string>{kPsuName, numbered, "BESLES-1.npo", "BESLES-2.npo", "BESLES-1.000.npo",
                                                         "BESLES-2.000.npo", "BASLUS-PS1.mcr", "BASLUS-PS1.000.mcr",
                                                         "BASLUS-PS1.001.mcr"}));
    EXPECT_NE(ReadBytes(exportFolder + kPsuName), ReadBytes(exportFolder + numbered));  // each save of the title
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
    EXPECT_EQ(view.progress, kProgressMax);
    EXPECT_TRUE(view.enabled[IDC_BUTTON_EXPORT]);
}

// A temporary a killed copy left in a save is no file of it: not in the PC
// list or its sizes, not exported, and removed once its writer is known to be
// gone; a writer still running keeps its own.
TEST_F(ImportExportTest, LeftoverTemporaryIsNoFileOfTheSave)
{
    // Above the largest process id the system hands out: no writer runs under it.
    const std::string leftover = pcFolder + "BESLES-1/.tansu-4194305-0.tmp";
    const std::string running = ".tansu-" + std::to_string(::getpid()) + "-0.tmp";
    WriteBytes(leftover, std::vector<uint8_t>(100000, 1));
    WriteBytes(pcFolder + running, {});
    WriteBytes(pcFolder + "BESLES-1/" + running, std::vector<uint8_t>(100000, 1));
    control->UpdateDataListPC();
    const auto rows = view.Texts(ListSide::PC);
    ASSERT_EQ(rows.size(), 2u);
    const auto row = std::ranges::find_if(rows, [](const auto& texts) { return texts[kColumnName] == "BESLES-1"; });
    ASSERT_NE(row, rows.end());
    EXPECT_EQ((*row)[kColumnSize], "0006");  // icon.sys and data only
    EXPECT_FALSE(fs::exists(leftover));
    ExportAll(1);
    EXPECT_LT(fs::file_size(exportFolder + "BESLES-1.npo"), 5000u);
    EXPECT_TRUE(fs::exists(pcFolder + "BESLES-1/" + running));
}
