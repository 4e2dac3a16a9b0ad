#include "save/IconSys.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "common/TextCodec.h"
#include "support/TestSupport.h"

namespace {

TEST(IconSys, ReadsTheFirst512BytesAndEveryFailureLogsThePath)
{
    TempDir temp;
    ScopedProgramDirectory programDirectory(temp.path());
    auto bytes = MakeIconSys("FIRST", 2, "a.ico");
    bytes.resize(4 << 20, 'x');
    WriteBytes(temp / "long.sys", bytes);
    const IconSys longFile(temp / "long.sys");
    EXPECT_EQ(longFile.title + "," + longFile.iconFileNames[2], "FI RST,a.ico");
    EXPECT_TRUE(IconSys(std::span(bytes).first(512), "memory").valid);

    bytes.resize(511);
    WriteBytes(temp / "short.sys", bytes);
    for (size_t i : {0, 3}) {
        bytes = MakeIconSys("TITLE");
        bytes[i] ^= 0x20;  // "pS2D", "PS2d"
        WriteBytes(temp / ("magic" + std::to_string(i) + ".sys"), bytes);
    }
    const auto logged = [&](const std::string& text) { return ReadText(temp / "log.txt").find(text) != std::string::npos; };
    for (const std::string name : {"short.sys", "missing.sys", "magic0.sys", "magic3.sys"}) {
        const IconSys iconSys(temp / name);
        EXPECT_FALSE(iconSys.valid) << name;
        EXPECT_EQ(iconSys.title + iconSys.iconFileNames[0] + iconSys.iconFileNames[1] + iconSys.iconFileNames[2], "");
        EXPECT_TRUE(logged("ファイルの読み込みに失敗しました IconSys::IconSys " + temp / name + "\n")) << name;
    }
    EXPECT_TRUE(logged(" - " + std::generic_category().message(ENOENT) + "\n"));  // and why a file could not be opened
}

TEST(IconSys, LineBreakInsertsOneSpaceAtTheStartOfACharacter)
{
    const std::tuple<std::string, int16_t, std::string> cases[] = {
        {"ABCDEF", 3, "ABC DEF"}, {"ABCDEF", 0, " ABCDEF"},
        // A second line that starts at or past the end, or before the start, is empty.
        {"ABCDEF", 6, "ABCDEF"}, {"ABCDEF", -1, "ABCDEF"},
        // A break inside a double-byte character moves back to its first byte; half-width katakana are single bytes.
        {"\x82\x60\x82\x61\x82\x62", 3, "\x82\x60 \x82\x61\x82\x62"}, {"\xB1\x82\x60\x82\x61", 2, "\xB1 \x82\x60\x82\x61"},
    };
    for (const auto& [title, lineBreak, expected] : cases) {
        EXPECT_EQ(IconSys(MakeIconSys(title, lineBreak), "memory").title, expected) << title << " at " << lineBreak;
    }
}

TEST(IconSys, EachFieldStopsAtItsNulOrItsOwnEnd)
{
    // No field has a terminator, and nothing past byte 512 exists.
    std::vector<uint8_t> bytes(512, 'z');
    std::memcpy(bytes.data(), "PS2D\0\0\xFF\xFF", 8);
    const IconSys full(bytes, "memory");
    EXPECT_EQ(full.title + full.iconFileNames[0] + full.iconFileNames[1] + full.iconFileNames[2], std::string(68 + 3 * 64, 'z'));

    // Bytes after a terminator do not matter.
    bytes = MakeIconSys("TITLE", 0, "list.icn");
    std::memcpy(bytes.data() + 0xC0 + 6, "JUNK", 4);
    std::memcpy(bytes.data() + 0x144, "copy.icn", 8);
    std::memcpy(bytes.data() + 0x184, "_SCE8\0xx", 8);
    const IconSys named(bytes, "memory");
    EXPECT_EQ(named.title + "," + named.iconFileNames[0] + "," + named.iconFileNames[1] + "," + named.iconFileNames[2],
              " TITLE,list.icn,copy.icn,_SCE8");
}

TEST(IconSys, EveryRealFileReads)
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
    // Bytes that are no Shift-JIS decode to replacement marks inside valid UTF-8.
    const std::string bad = decoded("icon-sys/ps2link_icon_old_badsjis.sys");
    EXPECT_TRUE(IsValidUtf8(bad) && bad.find("\uFFFD") != std::string::npos) << bad;
}

}  // namespace
