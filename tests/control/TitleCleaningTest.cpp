#include <gtest/gtest.h>

#include "control/ControlView.h"
#include "control/TitleCleaning.h"

// Titles, sizes and names as the lists show them; the list tests cover the common rows.
TEST(TitleCleaning, TitlesSizesNamesAndProgressAtTheirEdges)
{
    const std::pair<std::string, std::string> titles[] = {
        {"  a\n\nb   c  ", "a b c"}, {"\x81\x40\x81\x40", ""},
        {"\x82\xA0\x83\x41", "あｱ"},  // Japanese text stays; full-width katakana become half-width
        {"A\x41\nB", "AA B"}};
    for (const auto& [sjis, shown] : titles) {
        EXPECT_EQ(CleanTitle(sjis), shown) << sjis;
    }
    // 0x82 is a lead byte: the LF after it is part of that character, not a line break.
    EXPECT_NE(CleanTitle("A\x82\nB").find('\n'), std::string::npos);
    EXPECT_EQ(FileSizeKB(0xFFFFFFFFu), 4194304);  // no 32-bit wrap
    EXPECT_EQ(NameColumn(" leading"), " leading");
    EXPECT_EQ(ProgressPosition(1.0f / 3.0f), 10922);
    EXPECT_EQ(ProgressPosition(2.0f), 32768);
    EXPECT_EQ(ProgressPosition(-1.0f), 0);
}
