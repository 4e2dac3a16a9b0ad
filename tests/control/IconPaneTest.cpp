#include <chrono>
#include <filesystem>
#include <thread>

#include "ControlTestFixture.h"
#include "common/FileStatus.h"
#include "control/SaveInfo.h"
#include "icon/IconRenderingManager.h"

namespace fs = std::filesystem;

class IconPaneTest : public ControlTest {
protected:
    void SetUp() override
    {
        if (SamplesDir().empty()) {
            GTEST_SKIP() << "sample files not found";
        }
        // A PS2 save with a real icon model, on the card and (another one) on the PC.
        for (const std::string& folder : {cardFolder + "BESLES-CARD/", pcFolder + "BESLES-PC/"}) {
            WriteBytes(folder + "icon.sys", MakeIconSys(kFullWidthABC, 0, "list.icn"));
            fs::copy_file(SamplesDir() + "ps2-icons/PS2LINK.icn", folder + "list.icn");
        }
        WriteBytes(pcFolder + "BASLUS-PS1", MakePS1Save("PS ONE"));
        StartConnected();
    }

    void Highlight(ListSide side, const std::string& name)
    {
        for (int i = 0; i < view.RowCount(side); ++i) {
            if (view.GetRow(side, i)[kColumnName] == name) {
                view.highlighted[static_cast<size_t>(side)] = i;
            }
        }
    }

    // Frames come from the rendering thread; a bounded wait, not a measurement.
    bool FramesArrive()
    {
        const int before = view.iconFrames;
        for (int i = 0; i < 500 && view.iconFrames <= before; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return view.iconFrames > before;
    }
};

TEST_F(IconPaneTest, ListedPS1SavesAreCachedAndAClickShowsTheIcon)
{
    IconRenderingManager& renderer = *control->IconRenderer();
    EXPECT_TRUE(renderer.IsCached(Control::PcIconKey("BASLUS-PS1")));
    Highlight(ListSide::PC, "BASLUS-PS1");
    control->OnChangePC();
    EXPECT_TRUE(FramesArrive());

    Highlight(ListSide::PC, "BESLES-PC");
    control->OnChangePC();
    EXPECT_TRUE(renderer.IsCached(Control::PcIconKey("BESLES-PC")));
    EXPECT_TRUE(FramesArrive());
}

TEST_F(IconPaneTest, CardSaveIconIsFetchedIntoStagingAndCleanedUp)
{
    Highlight(ListSide::PS2, "BESLES-CARD");
    control->OnChangePS2();
    const std::string key = Control::CardIconKey("0", "BESLES-CARD");
    EXPECT_TRUE(control->IconRenderer()->IsCached(key));
    EXPECT_TRUE(fs::is_empty(program + "staging"));
    EXPECT_TRUE(view.enabled[IDC_BUTTON_DISCONNECT]);
    EXPECT_TRUE(FramesArrive());
    // Another card may hold a save of the same name: its icon is fetched afresh.
    control->OnDisconnect();
    EXPECT_FALSE(control->IconRenderer()->IsCached(key));
}

TEST_F(IconPaneTest, UntickedBoxShowsNothingNew)
{
    view.iconShown = false;
    Highlight(ListSide::PC, "BESLES-PC");
    control->OnChangePC();
    EXPECT_FALSE(control->IconRenderer()->IsCached(Control::PcIconKey("BESLES-PC")));
    EXPECT_EQ(view.iconFrames, 0);
}

TEST_F(IconPaneTest, AClickShowsTitleNameAndTheTimeOfTheSave)
{
    // Times the pane must take: the PC save's icon.sys creation, the card's listing of its icon.sys.
    const int64_t made = 1083827289;     // 2004-05-06 07:08:09 UTC
    const int64_t written = 1100000000;  // 2004-11-09
    ASSERT_TRUE(WriteFileTimes(pcFolder + "BESLES-PC/icon.sys", FileTimes{made, written, written}));
    ASSERT_TRUE(WriteFileTimes(cardFolder + "BESLES-CARD/icon.sys", FileTimes{std::nullopt, written, written}));

    const auto shown = [&](ListSide side, const std::string& name) {
        Highlight(side, name);
        const ListRow row = *view.GetHighlightedRow(side);
        side == ListSide::PC ? control->OnChangePC() : control->OnChangePS2();
        return std::make_pair(view.Text(TextField::SaveInfo), row);
    };
    auto [pc, pcRow] = shown(ListSide::PC, "BESLES-PC");
    EXPECT_EQ(pc, pcRow[kColumnTitle] + "\r\nBESLES-PC\r\n" + FormatPaneTime(made));
    auto [card, cardRow] = shown(ListSide::PS2, "BESLES-CARD");
    EXPECT_EQ(card, cardRow[kColumnTitle] + "\r\nBESLES-CARD\r\n" + FormatPaneTime(written));
    // A PS1 save has no icon.sys: its own listed time, not the moment of the click.
    auto [ps1, ps1Row] = shown(ListSide::PC, "BASLUS-PS1");
    EXPECT_NE(ps1Row.time, 0);
    EXPECT_EQ(ps1, ps1Row[kColumnTitle] + "\r\nBASLUS-PS1\r\n" + FormatPaneTime(ps1Row.time));
}
