#include "save/IconSys.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TextCodec.h"
#include "save/FileHead.h"
#include "support/TestSupport.h"

namespace {

const std::string kReadFailed = "ファイルの読み込みに失敗しました IconSys::IconSys ";

class IconSysTest : public ::testing::Test {
protected:
    IconSys ReadFile(const std::vector<uint8_t>& bytes, const std::string& name = "icon.sys")
    {
        WriteBytes(temp / name, bytes);
        return IconSys(temp / name);
    }
    std::string LogText() const { return ReadText(temp / "log.txt"); }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

std::string TitleWithBreak(const std::string& sjisTitle, int16_t lineBreak)
{
    const auto bytes = MakeIconSys(sjisTitle, lineBreak);
    return IconSys(bytes, "memory").title;
}

void ExpectInvalid(const IconSys& iconSys)
{
    EXPECT_FALSE(iconSys.valid);
    EXPECT_TRUE(iconSys.title.empty());
    for (const auto& name : iconSys.iconFileNames) {
        EXPECT_TRUE(name.empty());
    }
}

TEST_F(IconSysTest, NeedsTheWholeFirst512Bytes)
{
    auto bytes = MakeIconSys("ABC", 0, "list.ico");
    bytes.resize(512);
    const IconSys exact = ReadFile(bytes, "exact.sys");
    EXPECT_TRUE(exact.valid);
    EXPECT_EQ(exact.title, " ABC");
    EXPECT_EQ(exact.iconFileNames[0], "list.ico");

    bytes.resize(511);
    ExpectInvalid(ReadFile(bytes, "short.sys"));
    EXPECT_NE(LogText().find(kReadFailed + temp / "short.sys"), std::string::npos);
    ExpectInvalid(ReadFile({}, "empty.sys"));
}

TEST_F(IconSysTest, IgnoresEverythingAfter512Bytes)
{
    // Like the homebrew file that carries a second whole icon.sys after the first.
    auto bytes = MakeIconSys("FIRST", 2, "a.ico");
    const auto second = MakeIconSys("SECOND", 3, "b.ico");
    bytes.resize(968);
    bytes.insert(bytes.end(), second.begin(), second.end());
    const IconSys iconSys = ReadFile(bytes);
    EXPECT_TRUE(iconSys.valid);
    EXPECT_EQ(iconSys.title, "FI RST");
    EXPECT_EQ(iconSys.iconFileNames[2], "a.ico");

    // Only the head of a long file is read into memory.
    std::vector<uint8_t> large(4 << 20, 'x');
    WriteBytes(temp / "large.bin", large);
    const FileHead head = ReadFileHead(temp / "large.bin", 512);
    EXPECT_FALSE(head.openError);
    EXPECT_EQ(head.length, large.size());
    EXPECT_EQ(head.bytes.size(), 512u);
}

TEST_F(IconSysTest, WrongMagicInAnyByteFails)
{
    for (size_t i = 0; i < 4; ++i) {
        auto bytes = MakeIconSys("TITLE");
        bytes[i] ^= 0x20;  // "pS2D", "Ps2D", "PS\x12D", "PS2d"
        const std::string name = "bad" + std::to_string(i) + ".sys";
        ExpectInvalid(ReadFile(bytes, name));
        EXPECT_NE(LogText().find(kReadFailed + temp / name), std::string::npos) << name;
    }
}

TEST_F(IconSysTest, UnopenablePathsLogTheReasonAndFail)
{
    const IconSys missing(temp / "missing.sys");
    ExpectInvalid(missing);
    const std::string log = LogText();
    const size_t at = log.find(kReadFailed + temp / "missing.sys" + "\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(log.find(std::generic_category().message(ENOENT), at), std::string::npos);

    std::filesystem::create_directory(temp / "folder.sys");
    ExpectInvalid(IconSys(temp / "folder.sys"));
    EXPECT_NE(LogText().find(kReadFailed + temp / "folder.sys"), std::string::npos);
}

TEST(IconSysTitle, LineBreakInsertsOneSpace)
{
    EXPECT_EQ(TitleWithBreak("ABCDEF", 3), "ABC DEF");
    EXPECT_EQ(TitleWithBreak("ABCDEF", 0), " ABCDEF");
    // A second line that starts at or past the end is empty: nothing to separate.
    EXPECT_EQ(TitleWithBreak("ABCDEF", 6), "ABCDEF");
    EXPECT_EQ(TitleWithBreak("ABCDEF", 64), "ABCDEF");
    EXPECT_EQ(TitleWithBreak("ABCDEF", -1), "ABCDEF");
    EXPECT_EQ(TitleWithBreak("ABCDEF", INT16_MIN), "ABCDEF");
    EXPECT_EQ(TitleWithBreak("", 0), "");
}

TEST(IconSysTitle, LineBreakInsideADoubleByteCharacterMovesToItsStart)
{
    const std::string fullWidthABC = "\x82\x60\x82\x61\x82\x62";  // "ＡＢＣ"
    EXPECT_EQ(TitleWithBreak(fullWidthABC, 2), "\x82\x60 \x82\x61\x82\x62");
    EXPECT_EQ(TitleWithBreak(fullWidthABC, 3), "\x82\x60 \x82\x61\x82\x62");
    EXPECT_EQ(TitleWithBreak(fullWidthABC, 1), " " + fullWidthABC);
    // Half-width katakana are single bytes even though they are above 0x7F.
    EXPECT_EQ(TitleWithBreak("\xB1\x82\x60\x82\x61", 2), "\xB1 \x82\x60\x82\x61");
    EXPECT_EQ(TitleWithBreak("\xB1\x82\x60\x82\x61", 3), "\xB1\x82\x60 \x82\x61");
}

TEST(IconSysFields, EachFieldStopsAtItsNulOrItsOwnEnd)
{
    // Every byte non-zero: no field has a terminator, nothing past byte 512 exists.
    std::vector<uint8_t> bytes(512, 'z');
    std::memcpy(bytes.data(), "PS2D", 4);
    bytes[6] = 0xFF;
    bytes[7] = 0xFF;
    std::memset(bytes.data() + 0xC0, 'T', 68);
    std::memset(bytes.data() + 0x104, 'L', 64);
    std::memset(bytes.data() + 0x144, 'C', 64);
    std::memset(bytes.data() + 0x184, 'D', 64);
    const IconSys full(bytes, "memory");
    ASSERT_TRUE(full.valid);
    EXPECT_EQ(full.title, std::string(68, 'T'));
    EXPECT_EQ(full.iconFileNames[0], std::string(64, 'L'));
    EXPECT_EQ(full.iconFileNames[1], std::string(64, 'C'));
    EXPECT_EQ(full.iconFileNames[2], std::string(64, 'D'));

    // Garbage after a terminator is not part of the field.
    auto named = MakeIconSys("TITLE", 0, "list.icn");
    std::memcpy(named.data() + 0xC0 + 6, "JUNK", 4);
    std::memcpy(named.data() + 0x144, "copy.icn", 8);
    std::memcpy(named.data() + 0x184, "_SCE8\0xx", 8);
    const IconSys three(named, "memory");
    EXPECT_EQ(three.title, " TITLE");
    EXPECT_EQ(three.iconFileNames[0], "list.icn");
    EXPECT_EQ(three.iconFileNames[1], "copy.icn");
    EXPECT_EQ(three.iconFileNames[2], "_SCE8");
}

TEST(IconSysFields, ColourAndLightFieldsDoNotMatter)
{
    auto bytes = MakeIconSys("ABCDEF", 3);
    const IconSys plain(bytes, "memory");
    for (size_t i = 0x08; i < 0xC0; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 1);
    }
    bytes[4] = 0x10;
    const IconSys coloured(bytes, "memory");
    EXPECT_TRUE(coloured.valid);
    EXPECT_EQ(coloured.title, plain.title);
    EXPECT_EQ(coloured.iconFileNames[0], plain.iconFileNames[0]);
}

std::vector<std::string> SampleIconSysFiles(const std::string& samples)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(samples + "icon-sys")) {
        files.push_back(entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(samples + "ps2-saves")) {
        if (fs::is_regular_file(entry.path() / "icon.sys")) {
            files.push_back((entry.path() / "icon.sys").string());
        }
    }
    return files;
}

TEST(IconSysSamples, EveryRealFileReads)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    const auto files = SampleIconSysFiles(samples);
    EXPECT_GE(files.size(), 20u);
    for (const auto& path : files) {
        const IconSys iconSys(path);
        EXPECT_TRUE(iconSys.valid) << path;
        EXPECT_FALSE(iconSys.iconFileNames[0].empty()) << path;
        // The China-region system file keeps its title in another field.
        if (path.ends_with("opl_misc_icon_C.sys")) {
            EXPECT_TRUE(iconSys.title.empty()) << path;
        } else {
            EXPECT_FALSE(iconSys.title.empty()) << path;
        }
    }
}

TEST(IconSysSamples, DecodedTitles)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    const auto decoded = [&](const std::string& relative) { return SjisToUtf8(IconSys(samples + relative).title); };
    EXPECT_EQ(decoded("ps2-saves/BASLUS-20184/icon.sys"), "ＲＥＳＩＤＥＮＴ　ＥＶＩＬ －ＣＯＤＥ：Ｖｅｒｏｎｉｃａ－Ｘ");
    EXPECT_EQ(decoded("ps2-saves/BESLES-53322/icon.sys"), "Ｏｂｓｃｕｒｅ");
    EXPECT_EQ(decoded("icon-sys/opl_misc_icon_J.sys"), " あなたのシステム設定ファイル");
    EXPECT_EQ(decoded("icon-sys/opl_gfx_icon.sys"), "Ｏｐｅｎ　ＰＳ２　Ｌｏａｄｅｒ Ｓｅｔｔｉｎｇｓ");
    EXPECT_EQ(decoded("ps2-saves/BEDATA-SYSTEM/icon.sys"), "Ｙｏｕｒ　Ｓｙｓｔｅｍ Ｃｏｎｆｉｇｕｒａｔｉｏｎ");
}

}  // namespace
