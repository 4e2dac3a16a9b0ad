#include <filesystem>

#include "ControlTestFixture.h"

namespace fs = std::filesystem;

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

    std::string exportFolder;
};

TEST_F(ImportExportTest, ExportWritesOneContainerPerTickedRow)
{
    TickAllPcRows();
    view.folderAnswers = {exportFolder};
    view.fileTypeAnswer = 0;
    control->OnExport();
    // The PSU is named after the title in full-width letters; the PS1 save gets ".mcr".
    EXPECT_TRUE(IsFileAt(exportFolder + "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3.psu"));
    EXPECT_EQ(fs::file_size(exportFolder + "BASLUS-PS1.mcr"), 131072u);
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
    EXPECT_EQ(view.progress, kProgressMax);
    EXPECT_TRUE(view.enabled[IDC_BUTTON_EXPORT]);

    view.folderAnswers = {exportFolder};
    view.fileTypeAnswer = 1;
    control->OnExport();
    EXPECT_TRUE(IsFileAt(exportFolder + "BESLES-1.npo"));
}

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

TEST_F(ImportExportTest, ExtensionRules)
{
    // "sm" occurs inside "psm", and the empty extension occurs in every text: both count as PS1.
    for (const std::string name : {"save.sm", "save", "save.PS"}) {
        WriteBytes(exportFolder + name, std::vector<uint8_t>(10));
        control->ImportFile(exportFolder + name);
    }
    const std::string log = LogText();
    EXPECT_NE(log.find("読込中(ps1) : " + exportFolder + "save.sm"), std::string::npos);
    EXPECT_NE(log.find("読込中(ps1) : " + exportFolder + "save\n"), std::string::npos);
    EXPECT_EQ(log.find("拡張子の判別ミス"), std::string::npos);
}

TEST_F(ImportExportTest, DroppedFilesTakeOnlyContainers)
{
    TickAllPcRows();
    view.folderAnswers = {exportFolder};
    view.fileTypeAnswer = 0;
    control->OnExport();
    fs::remove_all(pcFolder + "BESLES-1");
    fs::remove(pcFolder + "BASLUS-PS1");
    const std::string psu = exportFolder + "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3.psu";
    control->OnImportDropped({psu, exportFolder + "BASLUS-PS1.mcr", exportFolder + "missing.psu"});
    EXPECT_TRUE(fs::is_directory(pcFolder + "BESLES-1"));
    EXPECT_FALSE(fs::exists(pcFolder + "BASLUS-PS1"));
    EXPECT_EQ(LogText().find("読込中(psu)"), std::string::npos);
    EXPECT_EQ(view.Text(TextField::Status), "待機中");
}

TEST_F(ImportExportTest, FileErrorEndsOneSaveNotTheCommand)
{
    // A save file that cannot be opened (a link to nowhere): that save fails, the next one is still written.
    WriteBytes(pcFolder + "BESLES-0/icon.sys", MakeIconSys("BROKEN"));
    fs::create_symlink(root / "nowhere", pcFolder + "BESLES-0/gone");
    control->UpdateDataListPC();
    TickAllPcRows();
    view.folderAnswers = {exportFolder};
    view.fileTypeAnswer = 1;
    control->OnExport();
    EXPECT_FALSE(IsFileAt(exportFolder + "BESLES-0.npo"));
    EXPECT_TRUE(IsFileAt(exportFolder + "BESLES-1.npo"));
    EXPECT_NE(LogText().find("エラー : ファイルの読み書きに失敗しました Control::OnExport() "), std::string::npos);
}
