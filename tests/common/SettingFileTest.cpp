#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "common/SettingFile.h"

TEST(SettingFile, LineRules)
{
    SettingFile file;
    file.LoadText("[b]\nold=1\n");
    file.LoadText("top=1\r\n\r\n[abc\nk=v=w\n// comment=1\n/slash=2\nno equals sign\n spaced = value \r\n=empty key\n"
                  "[Tansu]\r\nEDIT0=192.168.0.10\r\nEDIT0=192.168.0.11\r\n[Tool]]\nD=4\n[abc \r\nE=5\n"
                  "[]\ncr=1\r\r\nb=2\rc=3\n[b]\nnew=2\n[\nlast=no line end");
    const struct { const char* section; const char* key; std::string value; } cases[] = {
        {"", "top", "1"}, {"ab", "k", "v=w"}, {"ab", "/slash", "2"}, {"ab", " spaced ", " value "},
        {"ab", "", "empty key"}, {"Tansu", "EDIT0", "192.168.0.11"}, {"Tool]", "D", "4"}, {"abc", "E", "5"},
        {"", "cr", "1\r"}, {"", "b", "2\rc=3"}, {"", "last", "no line end"}, {"b", "old", "1"}, {"b", "new", "2"},
        {"missing", "k", ""}, {"ab", "missing", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(file.GetString(c.section, c.key), c.value) << c.section << '/' << c.key;
    }
    EXPECT_EQ(file.Sections().at("ab").size(), 4u);  // no comment, no line without '='
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"", "Tansu", "Tool]", "ab", "abc", "b"}));
}

TEST(SettingFile, OverlongLineIsCutOnACharacterAndTheRestIsNotALine)
{
    SettingFile file;
    file.LoadText("k=" + std::string(70000, 'v') + "=x\nnext=1\nj=" + std::string(65532, 'v') + "あ=y\n");
    EXPECT_EQ(file.GetString("", "k"), std::string(65533, 'v'));
    EXPECT_EQ(file.GetString("", "j"), std::string(65532, 'v'));
    EXPECT_EQ(file.Sections().at("").size(), 3u);
}

TEST(SettingFile, IntegersReadGarbageAsZero)
{
    SettingFile file;
    file.SetInt("BIG", INT64_MIN);
    EXPECT_EQ(file.GetInt("BIG"), INT64_MIN);
    for (const std::string text : {"", "abc", "12abc", " 1", "1.5", "99999999999999999999"}) {
        file.SetString("Tansu", "X", text);
        EXPECT_EQ(file.GetInt("X"), 0) << text;
    }
}

TEST(SettingFile, SavesCrLfAtomicallyAndReadsBackTheSameTable)
{
    TempDir dir;
    const std::string path = dir / "setting.ini";
    WriteText(path, "[Tansu]\r\nEDIT0=old\r\n");
    ::chmod(path.c_str(), 0640);
    SettingFile file;
    file.SetString("Tansu", "EDIT1", "/home/user/PS2 セーブ");
    file.SetString("", "odd", "a=b\r");
    file.LoadText("[NoKeys]\n");
    EXPECT_EQ(file.SaveText(), "[]\r\nodd=a=b\r\r\n[NoKeys]\r\n[Tansu]\r\nEDIT1=/home/user/PS2 セーブ\r\n");
    ASSERT_TRUE(file.Save(path));
    SettingFile read;
    ASSERT_TRUE(read.Load(path));
    EXPECT_EQ(read.Sections(), file.Sections());
    EXPECT_EQ(read.SectionNames(), (std::vector<std::string>{"", "NoKeys", "Tansu"}));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left

    EXPECT_FALSE(file.Save(dir / "missing/setting.ini"));
    std::filesystem::create_directory(dir / "folder");
    WriteText(dir / "folder/keep", "x");
    EXPECT_FALSE(file.Save(dir / "folder"));
    EXPECT_EQ(ReadText(dir / "folder/keep"), "x");
    EXPECT_FALSE(read.Load(dir / "missing.ini"));
    EXPECT_FALSE(read.Load(dir.path()));
    EXPECT_EQ(read.Sections(), file.Sections());
}

TEST(SettingFile, ReadsUtf8WithBomAndFallsBackToCp932)
{
    TempDir dir;
    WriteText(dir / "bom.ini", "\xEF\xBB\xBF[Dialog]\r\nSTATIC0=保存先\r\n");
    // The second byte of ソ is 0x5C, a backslash in ASCII.
    WriteText(dir / "sjis.ini", "[Dialog]\r\nSTATIC0=\x95\xDB\x91\xB6\x90\xE6\r\nBUTTON0=\x83\x5C\x83\x74\x83\x67\r\n");
    SettingFile bom, sjis;
    ASSERT_TRUE(bom.Load(dir / "bom.ini"));
    ASSERT_TRUE(sjis.Load(dir / "sjis.ini"));
    EXPECT_EQ(bom.SectionNames(), std::vector<std::string>{"Dialog"});
    EXPECT_EQ(bom.GetString("Dialog", "STATIC0"), "保存先");
    EXPECT_EQ(sjis.GetString("Dialog", "STATIC0"), "保存先");
    EXPECT_EQ(sjis.GetString("Dialog", "BUTTON0"), "ソフト");
}
