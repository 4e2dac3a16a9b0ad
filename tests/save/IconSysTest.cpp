#include "save/IconSys.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "common/FileRead.h"
#include "common/TextCodec.h"
#include "support/TestSupport.h"

namespace {

const std::string kReadFailed = "ファイルの読み込みに失敗しました IconSys::IconSys ";

class IconSysTest : public ::testing::Test {
protected:
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

TEST_F(IconSysTest, ReadsTheFirst512BytesOnly)
{
    // Only the head of a long file is read, into memory too.
    auto bytes = MakeIconSys("FIRST", 2, "a.ico");
    bytes.resize(4 << 20, 'x');
    WriteBytes(temp / "long.sys", bytes);
    const IconSys longFile(temp / "long.sys");
    EXPECT_EQ(longFile.title, "FI RST");
    EXPECT_EQ(longFile.iconFileNames[2], "a.ico");
    EXPECT_EQ(ReadFileHead(temp / "long.sys", 512).bytes.size(), 512u);
    bytes.resize(512);
    EXPECT_TRUE(IconSys(bytes, "memory").valid);
}

TEST_F(IconSysTest, EveryFailureLogsThePathAndLeavesTheFieldsEmpty)
{
    auto bytes = MakeIconSys("TITLE");
    bytes.resize(511);
    WriteBytes(temp / "short.sys", bytes);
    WriteBytes(temp / "empty.sys", {});
    std::filesystem::create_directory(temp / "folder.sys");
    std::vector<std::string> names = {"short.sys", "empty.sys", "folder.sys", "missing.sys"};
    for (size_t i = 0; i < 4; ++i) {
        bytes = MakeIconSys("TITLE");
        bytes[i] ^= 0x20;  // "pS2D", "Ps2D", "PS\x12D", "PS2d"
        names.push_back("magic" + std::to_string(i) + ".sys");
        WriteBytes(temp / names.back(), bytes);
    }
    for (const auto& name : names) {
        const IconSys iconSys(temp / name);
        EXPECT_FALSE(iconSys.valid) << name;
        EXPECT_EQ(iconSys.title + iconSys.iconFileNames[0] + iconSys.iconFileNames[1] + iconSys.iconFileNames[2], "");
        EXPECT_TRUE(Logged(kReadFailed + temp / name + "\n")) << name;
    }
    // A file that cannot be opened also logs the system's reason.
    EXPECT_TRUE(Logged(" - " + std::generic_category().message(ENOENT) + "\n"));
}

TEST(IconSysTitle, LineBreakInsertsOneSpaceAtTheStartOfACharacter)
{
    const std::string fullWidthABC = "\x82\x60\x82\x61\x82\x62";  // "ＡＢＣ"
    const std::tuple<std::string, int16_t, std::string> cases[] = {
        {"ABCDEF", 3, "ABC DEF"}, {"ABCDEF", 0, " ABCDEF"}, {"", 0, ""},
        // A second line that starts at or past the end, or before the start, is empty.
        {"ABCDEF", 6, "ABCDEF"}, {"ABCDEF", 64, "ABCDEF"}, {"ABCDEF", -1, "ABCDEF"}, {"ABCDEF", INT16_MIN, "ABCDEF"},
        // A break inside a double-byte character moves back to its first byte.
        {fullWidthABC, 2, "\x82\x60 \x82\x61\x82\x62"}, {fullWidthABC, 3, "\x82\x60 \x82\x61\x82\x62"},
        {fullWidthABC, 1, " " + fullWidthABC},
        // Half-width katakana are single bytes even though they are above 0x7F.
        {"\xB1\x82\x60\x82\x61", 2, "\xB1 \x82\x60\x82\x61"}, {"\xB1\x82\x60\x82\x61", 3, "\xB1\x82\x60 \x82\x61"},
    };
    for (const auto& [title, lineBreak, expected] : cases) {
        EXPECT_EQ(IconSys(MakeIconSys(title, lineBreak), "memory").title, expected) << title << " at " << lineBreak;
    }
}

TEST(IconSysFields, EachFieldStopsAtItsNulOrItsOwnEnd)
{
    // No field has a terminator, and nothing past byte 512 exists.
    std::vector<uint8_t> bytes(512, 'z');
    std::memcpy(bytes.data(), "PS2D\0\0\xFF\xFF", 8);
    const IconSys full(bytes, "memory");
    EXPECT_EQ(full.title, std::string(68, 'z'));
    for (const auto& name : full.iconFileNames) {
        EXPECT_EQ(name, std::string(64, 'z'));
    }

    // Bytes after a terminator, and whatever the colour and light fields hold, do not matter.
    bytes = MakeIconSys("TITLE", 0, "list.icn");
    for (size_t i = 0x08; i < 0xC0; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 1);
    }
    std::memcpy(bytes.data() + 0xC0 + 6, "JUNK", 4);
    std::memcpy(bytes.data() + 0x144, "copy.icn", 8);
    std::memcpy(bytes.data() + 0x184, "_SCE8\0xx", 8);
    const IconSys named(bytes, "memory");
    EXPECT_EQ(named.title, " TITLE");
    EXPECT_EQ(named.iconFileNames[0] + "," + named.iconFileNames[1] + "," + named.iconFileNames[2],
              "list.icn,copy.icn,_SCE8");
}

TEST(IconSysSamples, EveryRealFileReads)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(samples)) {
        const auto& path = entry.path();
        if (path.filename() == "icon.sys" || path.parent_path().filename() == "icon-sys") {
            const IconSys iconSys(path);
            EXPECT_TRUE(iconSys.valid && !iconSys.iconFileNames[0].empty()) << path;
            // The China-region system file keeps its title in another field.
            EXPECT_EQ(iconSys.title.empty(), path.filename() == "opl_misc_icon_C.sys") << path;
            ++count;
        }
    }
    EXPECT_GE(count, 20u);
    const auto decoded = [&](const std::string& relative) { return SjisToUtf8(IconSys(samples + relative).title); };
    EXPECT_EQ(decoded("ps2-saves/BASLUS-20184/icon.sys"), "ＲＥＳＩＤＥＮＴ　ＥＶＩＬ －ＣＯＤＥ：Ｖｅｒｏｎｉｃａ－Ｘ");
    EXPECT_EQ(decoded("icon-sys/opl_misc_icon_J.sys"), " あなたのシステム設定ファイル");
    EXPECT_EQ(decoded("ps2-saves/BEDATA-SYSTEM/icon.sys"), "Ｙｏｕｒ　Ｓｙｓｔｅｍ Ｃｏｎｆｉｇｕｒａｔｉｏｎ");
}

}  // namespace
