#include <gtest/gtest.h>

#include "control/ControlView.h"
#include "control/TitleCleaning.h"

TEST(TitleCleaning, FullWidthTitleWithLineBreaksAndSpaces)
{
    // "ＡＢＣ" CR LF "ＤＥ" and two trailing full-width spaces.
    EXPECT_EQ(CleanTitle("\x82\x60\x82\x61\x82\x62\r\n\x82\x63\x82\x64\x81\x40\x81\x40"), "ABC DE");
    EXPECT_EQ(CleanTitle("  a\n\nb   c  "), "a b c");
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
    EXPECT_EQ(FileSizeKB(2048), 2);
    EXPECT_EQ(FileSizeKB(2049), 4);
    EXPECT_EQ(FileSizeKB(0xFFFFFFFFu), 4194304);
    EXPECT_EQ(SizeColumn(84), "0084");
}

TEST(TitleCleaning, NameColumnShowsTheLastWord)
{
    EXPECT_EQ(NameColumn("BASLUS-00974YVES  0"), "0");
    EXPECT_EQ(NameColumn(" leading"), " leading");
    EXPECT_EQ(NameColumn("plain"), "plain");
}

TEST(Progress, PositionIsClamped)
{
    EXPECT_EQ(ProgressPosition(1.0f / 3.0f), 10922);
    EXPECT_EQ(ProgressPosition(2.0f), 32768);
    EXPECT_EQ(ProgressPosition(-1.0f), 0);
}
