#include <gtest/gtest.h>

#include "app/ControlView.h"
#include "app/TitleCleaning.h"

TEST(TitleCleaning, FullWidthTitleWithLineBreaksAndSpaces)
{
    // "ＡＢＣ" CR LF "ＤＥ" and two trailing full-width spaces.
    EXPECT_EQ(CleanTitle("\x82\x60\x82\x61\x82\x62\r\n\x82\x63\x82\x64\x81\x40\x81\x40"), "ABC DE");
    EXPECT_EQ(CleanTitle("  a\n\nb   c  "), "a b c");
    EXPECT_EQ(CleanTitle("a\r\r\n\nb"), "a\r b");
    EXPECT_EQ(CleanTitle(""), "");
    EXPECT_EQ(CleanTitle("\x81\x40\x81\x40"), "");
    // Japanese text stays as it is; full-width katakana become half-width.
    EXPECT_EQ(CleanTitle("\x82\xA0\x83\x41"), "あｱ");
}

TEST(TitleCleaning, LineFeedAfterLeadByteStays)
{
    // 0x82 is a lead byte: the LF after it is kept (it shows as a replacement mark and the LF).
    const std::string cleaned = CleanTitle("A\x82\nB");
    EXPECT_NE(cleaned.find('\n'), std::string::npos);
    EXPECT_EQ(CleanTitle("A\x41\nB"), "AA B");
}

TEST(TitleCleaning, SizesRoundUpToWholeClusters)
{
    EXPECT_EQ(FileSizeKB(0), 2);
    EXPECT_EQ(FileSizeKB(1), 2);
    EXPECT_EQ(FileSizeKB(2048), 2);
    EXPECT_EQ(FileSizeKB(2049), 4);
    EXPECT_EQ(FileSizeKB(0xFFFFFFFFu), 4194304);
    EXPECT_EQ(SizeColumn(84), "0084");
    EXPECT_EQ(SizeColumn(123456), "123456");
}

TEST(TitleCleaning, NameColumn)
{
    EXPECT_EQ(NameColumn("BASLUS-00974YVES  0"), "0");
    EXPECT_EQ(NameColumn("a b c"), "c");
    EXPECT_EQ(NameColumn(" leading"), " leading");
    EXPECT_EQ(NameColumn("plain"), "plain");
    EXPECT_EQ(NameColumn("trailing "), "");
}

TEST(Progress, PositionIsClamped)
{
    EXPECT_EQ(ProgressPosition(0.0f), 0);
    EXPECT_EQ(ProgressPosition(0.5f), 16384);
    EXPECT_EQ(ProgressPosition(1.0f), 32768);
    EXPECT_EQ(ProgressPosition(2.0f), 32768);
    EXPECT_EQ(ProgressPosition(-1.0f), 0);
    EXPECT_EQ(ProgressPosition(1.0f / 3.0f), 10922);
}

TEST(EnableRule, NotConnectedDisablesOnlyCardSide)
{
    std::map<ControlId, bool> states;
    for (const auto& [id, state] : EnabledStates(true, false)) {
        states[id] = state;
    }
    for (ControlId id : {IDC_BUTTON_DISCONNECT, IDC_BUTTON_MOVE_TO_PS2, IDC_BUTTON_MOVE_TO_PC, IDC_BUTTON_DELETE_PS2,
                         IDC_BUTTON_COPY_TO_PS2, IDC_BUTTON_COPY_TO_PC, IDC_BUTTON_SELECT_ALL_PS2,
                         IDC_BUTTON_UNSELECT_ALL_PS2, IDC_EDIT_PC_FOLDER, IDC_EDIT_USB_FOLDER}) {
        EXPECT_FALSE(states.at(id)) << id;
    }
    for (ControlId id : {IDC_BUTTON_EXPORT, IDC_BUTTON_IMPORT, IDC_BUTTON_DELETE_PC, IDC_BUTTON_REFRESH_PC,
                         IDC_BUTTON_FTP_CONNECT, IDC_EDIT_ADDRESS, IDC_LIST_PS2, IDC_CHECK_SHOW_ICON}) {
        EXPECT_TRUE(states.at(id)) << id;
    }
    for (const auto& [id, state] : EnabledStates(true, true)) {
        states[id] = state;
    }
    for (ControlId id : {IDC_BUTTON_FTP_CONNECT, IDC_BUTTON_PS2LINK_CONNECT, IDC_BUTTON_USB_CONNECT,
                         IDC_BUTTON_BROWSE_USB, IDC_EDIT_ADDRESS}) {
        EXPECT_FALSE(states.at(id)) << id;
    }
    EXPECT_TRUE(states.at(IDC_BUTTON_DISCONNECT));
    for (const auto& [id, state] : EnabledStates(false, true)) {
        EXPECT_FALSE(state) << id;
    }
}
