// The controller on card image files, through the USB connection as the window makes it.
#include <filesystem>

#include "ControlTestFixture.h"
#include "card/CardImageFile.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> RowNames(const std::vector<ListRow>& rows)
{
    std::vector<std::string> names;
    for (const ListRow& row : rows) {
        names.push_back(row.name + " " + row[kColumnSize] + " " + row[kColumnType]);
    }
    return names;
}

class CardImageControlTest : public ControlTest {
protected:
    std::vector<ListRow> PcRows(const std::set<std::string>& names)
    {
        std::vector<ListRow> rows;
        for (const ListRow& row : view.Rows(ListSide::PC)) {
            if (names.count(row.name) != 0) {
                rows.push_back(row);
            }
        }
        return rows;
    }
};

TEST_F(CardImageControlTest, CopiesMovesAndDeletesOnAPs2Image)
{
    const std::string image = root / "card.ps2";
    ASSERT_FALSE(FormatCardImage(image, false, true, 8));
    WriteBytes(pcFolder + "BASLUS-1/icon.sys", MakeIconSys(kFullWidthABC));
    WriteBytes(pcFolder + "BASLUS-1/data", std::vector<uint8_t>(3000, 1));
    WriteBytes(pcFolder + "SLPS-2", MakePS1Save("PS ONE", 2));
    view.SetEditText(Edit::UsbFolder, image);
    StartConnected();
    ASSERT_TRUE(control->IsCardConnected());

    EXPECT_EQ(control->CopyToPS2(PcRows({"BASLUS-1", "SLPS-2"})).size(), 2u);
    EXPECT_EQ(RowNames(view.Rows(ListSide::PS2)), (std::vector<std::string>{"BASLUS-1 0006 PS2", "SLPS-2 0008 PS1"}));
    EXPECT_EQ(view.Text(TextField::Usage), "約14KB使用中");
    // A save copied onto one of its name replaces it, files it no longer has included.
    WriteBytes(pcFolder + "BASLUS-1/extra", {9});
    EXPECT_EQ(control->CopyToPS2(PcRows({"BASLUS-1"})).size(), 1u);
    fs::remove(pcFolder + "BASLUS-1/extra");
    EXPECT_EQ(control->CopyToPS2(PcRows({"BASLUS-1"})).size(), 1u);

    // A save with no room left on the card is taken off again, not left half there.
    WriteBytes(pcFolder + "BASLUS-BIG/icon.sys", MakeIconSys("TOO BIG"));
    WriteBytes(pcFolder + "BASLUS-BIG/data", std::vector<uint8_t>(9 << 20, 2));
    EXPECT_TRUE(control->CopyToPS2(PcRows({"BASLUS-BIG"})).empty());
    EXPECT_EQ(RowNames(view.Rows(ListSide::PS2)), (std::vector<std::string>{"BASLUS-1 0006 PS2", "SLPS-2 0008 PS1"}));
    fs::remove_all(pcFolder + "BASLUS-BIG");

    // Moved to the PC whole, then gone from the card.
    fs::remove_all(pcFolder + "BASLUS-1");
    fs::remove(pcFolder + "SLPS-2");
    control->UpdateDataListPC();
    EXPECT_EQ(control->MoveToPC(view.Rows(ListSide::PS2)).size(), 2u);
    EXPECT_EQ(ReadBytes(pcFolder + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    EXPECT_FALSE(fs::exists(pcFolder + "BASLUS-1/extra"));
    EXPECT_EQ(ReadBytes(pcFolder + "SLPS-2"), MakePS1Save("PS ONE", 2));
    EXPECT_TRUE(view.Rows(ListSide::PS2).empty());
    EXPECT_FALSE(control->CardListFailed());
    EXPECT_EQ(CheckCardImage(image).problems, std::vector<std::string>());
}

TEST_F(CardImageControlTest, Ps1ImageShowsItsSavesAsThePs2CardShowsPs1Saves)
{
    const std::string image = root / "card.mcr";
    ASSERT_FALSE(FormatCardImage(image, true, false, 0));
    WriteBytes(pcFolder + "BASLUS-00001", MakePS1Save("FIRST", 3));
    WriteBytes(pcFolder + "PS2SAVE/icon.sys", MakeIconSys("NO"));
    view.SetEditText(Edit::UsbFolder, image);
    StartConnected();
    ASSERT_TRUE(control->IsCardConnected());
    // A PS2 save has no place on a PS1 card; the PS1 save goes in.
    EXPECT_EQ(RowNames(control->CopyToPS2(PcRows({"BASLUS-00001", "PS2SAVE"}))), std::vector<std::string>{"BASLUS-00001 0008 PS1"});
    const std::vector<ListRow> rows = view.Rows(ListSide::PS2);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][kColumnTitle], "FIRST");
    EXPECT_EQ(rows[0][kColumnType], "PS1");
    control->DeletePS2({rows[0]});
    EXPECT_TRUE(view.Rows(ListSide::PS2).empty()) << "nothing of the refused PS2 save stays behind";
    EXPECT_EQ(CheckCardImage(image).problems, std::vector<std::string>());
}

}  // namespace
