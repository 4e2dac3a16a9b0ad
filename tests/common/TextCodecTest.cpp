#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "common/TextCodec.h"

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string text;
    for (int value : values) {
        text += static_cast<char>(value);
    }
    return text;
}

// The title field of an icon.sys: 68 bytes at 0xC0, up to its NUL.
std::string IconSysTitle(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    if (bytes.size() < 0xC0 + 68) {
        return std::string();
    }
    std::string title(bytes.begin() + 0xC0, bytes.begin() + 0xC0 + 68);
    return title.substr(0, title.find('\0'));
}

}  // namespace

TEST(TextCodec, DecodesTheWindowsVariantOfShiftJis)
{
    EXPECT_EQ(SjisToUtf8(Bytes({0x81, 0x7C})), "\uFF0D");  // not U+2212 as strict JIS has it
    EXPECT_EQ(SjisToUtf8(Bytes({0x81, 0x60})), "\uFF5E");  // not U+301C
    EXPECT_EQ(SjisToUtf8("\\~"), "\\~");                   // not yen sign and overline
    EXPECT_EQ(SjisToUtf8(Bytes({0xB6, 0xDE})), "ｶﾞ");
    EXPECT_EQ(SjisToUtf8(Bytes({0x82, 0xA0, 0x8A, 0xBF})), "あ漢");
    EXPECT_EQ(SjisToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextCodec, SingleBytesBelow0x80AreAscii)
{
    std::string ascii;
    for (int byte = 0; byte < 0x80; ++byte) {
        ascii += static_cast<char>(byte);
    }
    EXPECT_EQ(SjisToUtf8(ascii), ascii);
    EXPECT_EQ(Utf8ToSjis(ascii), ascii);
}

TEST(TextCodec, BrokenBytesBecomeReplacementCharacters)
{
    const std::string replacement = "\uFFFD";
    EXPECT_EQ(SjisToUtf8(Bytes({0x82, 0x4D})), replacement);
    // The second byte cannot trail a lead byte and is ASCII: it is read again on its own.
    EXPECT_EQ(SjisToUtf8(Bytes({0x82, 0x3F})), replacement + "?");
    EXPECT_EQ(SjisToUtf8(Bytes({0x41, 0x82})), "A" + replacement);  // lead byte cut off at the end
    EXPECT_EQ(SjisToUtf8(Bytes({0x80, 0xA0, 0xFF})), replacement + replacement + replacement);
    EXPECT_TRUE(IsValidUtf8(SjisToUtf8(std::string(300, '\xFD'))));
}

TEST(TextCodec, DecodesRealTitles)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "sample files are not there";
    }
    EXPECT_EQ(SjisToUtf8(IconSysTitle(SamplesDir() + "icon-sys/opl_misc_icon_J.sys")), "あなたのシステム設定ファイル");
    const std::string bad = SjisToUtf8(IconSysTitle(SamplesDir() + "icon-sys/ps2link_icon_old_badsjis.sys"));
    EXPECT_TRUE(IsValidUtf8(bad));
    EXPECT_EQ(bad.substr(0, 21), "ＰＳ２ＬＩＮＫ");
    EXPECT_NE(bad.find("\uFFFD"), std::string::npos);
}

TEST(TextCodec, EncodesToShiftJis)
{
    EXPECT_EQ(Utf8ToSjis("あ漢A"), Bytes({0x82, 0xA0, 0x8A, 0xBF, 0x41}));
    EXPECT_EQ(Utf8ToSjis("\uFF0D\uFF5E"), Bytes({0x81, 0x7C, 0x81, 0x60}));
    EXPECT_EQ(Utf8ToSjis("한"), "?");
    EXPECT_EQ(Utf8ToSjis("😀"), "?");
    EXPECT_EQ(Utf8ToSjis("a\xFF"), "a?");
    // Look-alikes of the path separators never become separators.
    EXPECT_EQ(Utf8ToSjis("\u2215\u29F8"), "??");
    EXPECT_EQ(Utf8ToSjis(""), "");
}

TEST(TextCodec, RoundTripsEveryDoubleByteCharacter)
{
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsSjisLeadByte(static_cast<unsigned char>(lead))) {
            continue;
        }
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string pair = Bytes({lead, trail});
            const std::string utf8 = SjisToUtf8(pair);
            ASSERT_TRUE(IsValidUtf8(utf8));
            // Some characters have two codes in CP932 (NEC and IBM rows): only
            // check that a decodable pair encodes to some pair decoding the same.
            if (utf8.find("\uFFFD") == std::string::npos) {
                EXPECT_EQ(SjisToUtf8(Utf8ToSjis(utf8)), utf8) << std::hex << lead << ' ' << trail;
            }
        }
    }
}

TEST(TextCodec, ValidatesUtf8)
{
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain ascii"));
    EXPECT_TRUE(IsValidUtf8("設定😀"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE8\xA8"));          // cut short
    EXPECT_FALSE(IsValidUtf8(Bytes({0x82, 0xA0})));  // Shift-JIS
}

TEST(TextCodec, ConvertersAreSafeOnSeveralThreads)
{
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 200; ++i) {
                if (SjisToUtf8(Utf8ToSjis("あなたのシステム")) != "あなたのシステム") {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}
