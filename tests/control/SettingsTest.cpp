#include <filesystem>

#include "ControlTestFixture.h"
#include "control/Settings.h"

TEST_F(ControlTest, SettingsRoundTrip)
{
    MemoryView saved;
    saved.SetOptionChecked(Option::LimitFtpSpeed, true);
    saved.SetOptionChecked(Option::ShowIcon, true);
    saved.SetEditText(Edit::Address, "192.0.2.7:2121");
    saved.SetEditText(Edit::PcFolder, pcFolder);
    saved.SetEditText(Edit::UsbFolder, cardFolder);
    saved.AddComboItem(Combo::Language, "English");
    saved.SelectComboItem(Combo::Language, 0);
    SaveSettings(saved);

    std::filesystem::create_directories(program + "language");
    WriteText(program + "language/English.ini", "[Dialog]\nBUTTON0=FTP\n");
    WriteText(program + "language/Japanese.ini", "[Dialog]\nBUTTON0=FTP接続\n");
    MemoryView loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.options, saved.options);
    EXPECT_EQ(loaded.edits, saved.edits);
    EXPECT_EQ(loaded.combos[1].items, (std::vector<std::string>{"English", "Japanese"}));
    EXPECT_EQ(loaded.GetComboText(Combo::Language), "English");
}

TEST_F(ControlTest, FirstStartUsesDefaults)
{
    MemoryView loaded;
    loaded.SetOptionChecked(Option::ShowIcon, false);
    LoadSettings(loaded);
    EXPECT_EQ(loaded.GetEditText(Edit::PcFolder), program + "save");
    EXPECT_EQ(loaded.GetEditText(Edit::UsbFolder), "");
}

TEST_F(ControlTest, SettingsDropMissingPcFolderAndFixedDiskUsbFolder)
{
    WriteText(program + "setting.ini", "[Tansu]\r\nCHECK_BOX4=1\r\nCHECK_BOX5=x\r\nEDIT1=" + pcFolder +
                                           "gone\r\nEDIT2=" + cardFolder + "\r\n");
    SetRemovableDriveProbe([](const std::string&) { return false; });
    MemoryView loaded;
    LoadSettings(loaded);
    EXPECT_TRUE(loaded.IsOptionChecked(Option::ForceDirectory));
    EXPECT_FALSE(loaded.IsOptionChecked(Option::ShowIcon));
    EXPECT_EQ(loaded.GetEditText(Edit::PcFolder), program + "save");
    EXPECT_EQ(loaded.GetEditText(Edit::UsbFolder), "");
}

TEST_F(ControlTest, LanguageWithoutToolTipsLeavesThemEmpty)
{
    std::filesystem::create_directories(program + "language");
    WriteText(program + "language/Test.ini", "[Dialog]\nSTATIC0=Folder\nBUTTON18=Reload\nCHECKBOX5=Icon\n");
    view.AddComboItem(Combo::Language, "Test");
    view.SelectComboItem(Combo::Language, 0);
    view.toolTips[IDC_BUTTON_REFRESH_PC] = "old";
    ApplyLanguage(view);
    EXPECT_EQ(view.captions[IDC_LABEL_PC_FOLDER], "Folder");
    EXPECT_EQ(view.captions[IDC_BUTTON_REFRESH_PC], "Reload");
    EXPECT_EQ(view.captions[IDC_CHECK_SHOW_ICON], "Icon");
    EXPECT_EQ(view.captions[IDC_GROUP_LAN], "");
    EXPECT_EQ(view.toolTips[IDC_BUTTON_REFRESH_PC], "");
}

TEST_F(ControlTest, MissingLanguageFileKeepsCaptions)
{
    view.AddComboItem(Combo::Language, "Klingon");
    view.SelectComboItem(Combo::Language, 0);
    ApplyLanguage(view);
    EXPECT_TRUE(view.captions.empty());
    EXPECT_NE(LogText().find("言語ファイルを読み込めませんでした"), std::string::npos);
}
