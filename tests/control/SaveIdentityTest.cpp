// Saves are known by their whole names on their own side and slot: a PC file,
// a name with a space or a name that is no UTF-8 never stands in for another save.
#include <filesystem>

#include "ControlTestFixture.h"

namespace fs = std::filesystem;

namespace {

class SaveIdentityTest : public ControlTest {
protected:
    const ListRow* Find(ListSide side, const std::string& name)
    {
        for (const MemoryView::Row& row : view.lists[static_cast<size_t>(side)]) {
            if (row.row.name == name) {
                return &row.row;
            }
        }
        return nullptr;
    }
};

// "AAA 0" and "BBB 0" both show "0"; each is still its own save, and the PS1
// save our own import names the card's way can be copied and deleted alone.
TEST_F(SaveIdentityTest, NamesWithSpacesAreTheirOwnSaves)
{
    WriteBytes(cardFolder + "AAA 0/icon.sys", MakeIconSys("FIRST"));
    WriteBytes(cardFolder + "BBB 0/icon.sys", MakeIconSys("SECOND"));
    WriteBytes(cardFolder + "BBB 0/data", std::vector<uint8_t>(4000, 1));
    WriteBytes(cardFolder + "BASLUS-00974YVES  0/BASLUS-00974YVES  0", MakePS1Save("YVES"));
    WriteBytes(cardFolder + "0/icon.sys", MakeIconSys("PLAIN ZERO"));
    StartConnected();
    ASSERT_EQ(view.RowCount(ListSide::PS2), 4);
    EXPECT_EQ(Find(ListSide::PS2, "AAA 0")->texts, (ListTexts{"FIRST", "0", "0002", "PS2"}));
    EXPECT_EQ(Find(ListSide::PS2, "BBB 0")->texts, (ListTexts{"SECOND", "0", "0006", "PS2"}));
    EXPECT_EQ(Find(ListSide::PS2, "BASLUS-00974YVES  0")->texts, (ListTexts{"YVES", "0", "0008", "PS1"}));
    EXPECT_EQ(view.Text(TextField::Usage), "約18KB使用中");

    Tick(ListSide::PS2, {"BASLUS-00974YVES  0"});
    control->OnCopyToPC();
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-00974YVES  0"), MakePS1Save("YVES"));
    Tick(ListSide::PS2, {"BASLUS-00974YVES  0"});
    control->OnDeletePS2();
    EXPECT_FALSE(fs::exists(cardFolder + "BASLUS-00974YVES  0"));
    EXPECT_TRUE(fs::exists(cardFolder + "0/icon.sys"));
    EXPECT_TRUE(fs::exists(cardFolder + "AAA 0/icon.sys"));
    EXPECT_TRUE(fs::exists(cardFolder + "BBB 0/icon.sys"));
}

// Folder names written by Windows in code page 932 show decoded and are acted
// on by their bytes; bytes that are neither UTF-8 nor CP932 show as \xHH.
TEST_F(SaveIdentityTest, NamesThatAreNoUtf8ShowDecodedAndKeepTheirBytes)
{
    const std::string sjis = "\x83\x5A\x81\x5B\x83\x75";  // セーブ
    const std::string junk = "BAD\xFF\xFE";
    WriteBytes(pcFolder + sjis + "/icon.sys", MakeIconSys("SJIS"));
    WriteBytes(pcFolder + junk + "/icon.sys", MakeIconSys("JUNK"));
    StartConnected();
    EXPECT_EQ(Find(ListSide::PC, sjis)->texts[kColumnName], "セーブ");
    EXPECT_EQ(Find(ListSide::PC, junk)->texts[kColumnName], "BAD\\xFF\\xFE");

    Tick(ListSide::PC, {sjis});
    control->OnMoveToPS2();
    EXPECT_TRUE(fs::exists(cardFolder + sjis + "/icon.sys"));
    EXPECT_FALSE(fs::exists(pcFolder + sjis));
    Tick(ListSide::PC, {junk});
    control->OnDeletePC();
    EXPECT_FALSE(fs::exists(pcFolder + junk));
}

// Found by the hunt: "X" and its backup "X.000" both go up as "X". Moved
// together, the second replaced the first on the card and both sources went.
TEST_F(SaveIdentityTest, TwoPcSavesOfOneCardNameAreNotMovedOverEachOther)
{
    WriteBytes(pcFolder + "NEW SAVE/icon.sys", MakeIconSys("FIRST"));
    WriteBytes(pcFolder + "NEW SAVE.000/icon.sys", MakeIconSys("SECOND"));
    WriteBytes(pcFolder + "NEW SAVE.000/extra", {1, 2, 3});
    WriteBytes(cardFolder + "NEW SAVE/old", {9});
    StartConnected();
    view.TickAll(ListSide::PC, true);
    control->OnMoveToPS2();
    // The first went up whole, replacing the card's old save entirely; the second stayed.
    EXPECT_EQ(ReadBytes(cardFolder + "NEW SAVE/icon.sys"), MakeIconSys("FIRST"));
    EXPECT_FALSE(fs::exists(cardFolder + "NEW SAVE/old"));
    EXPECT_FALSE(fs::exists(cardFolder + "NEW SAVE/extra"));
    EXPECT_FALSE(fs::exists(pcFolder + "NEW SAVE"));
    EXPECT_EQ(ReadBytes(pcFolder + "NEW SAVE.000/extra"), (std::vector<uint8_t>{1, 2, 3}));
}

// The guard holds whatever a row says: never the folder itself, its parent or a path.
TEST_F(SaveIdentityTest, ARowNamingNoSaveIsRefused)
{
    WriteBytes(pcFolder + "KEEP/icon.sys", MakeIconSys("KEEP"));
    WriteBytes(cardFolder + "CARD/icon.sys", MakeIconSys("CARD"));
    StartConnected();
    for (const std::string name : {"", ".", "..", "KEEP/../KEEP", "../card"}) {
        control->DeletePC({ListRow{{"T", name, "0002", "PS2"}, ListSide::PC, {}, name}});
        control->DeletePS2({ListRow{{"T", name, "0002", "PS2"}, ListSide::PS2, "0", name}});
    }
    // A card row handed to the PC side (or a PC row to the card) is not acted on either.
    control->DeletePC({ListRow{{"T", "CARD", "0002", "PS2"}, ListSide::PS2, "0", "KEEP"}});
    control->DeletePS2({ListRow{{"T", "KEEP", "0002", "PS2"}, ListSide::PC, {}, "CARD"}});
    EXPECT_TRUE(fs::exists(pcFolder + "KEEP/icon.sys"));
    EXPECT_TRUE(fs::exists(cardFolder + "CARD/icon.sys"));
}

}  // namespace
