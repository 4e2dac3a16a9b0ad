#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "common/SettingFile.h"

namespace {

SettingFile Parse(const std::string& text)
{
    SettingFile file;
    file.LoadText(text);
    return file;
}

}  // namespace

TEST(SettingFile, LineRules)
{
    const SettingFile file = Parse(
        "top=1\r\n"
        "\r\n"
        "[abc\n"
        "k=v=w\n"
        "// comment=1\n"
        "/slash=2\n"
        "no equals sign\n"
        " spaced key = spaced value \r\n"
        "=empty key\n"
        "[Tansu]\r\n"
        "EDIT0=192.168.0.10\r\n"
        "EDIT0=192.168.0.11\r\n"
        "[]\n"
        "last=no line end");
    EXPECT_EQ(file.GetString("", "top"), "1");
    EXPECT_EQ(file.GetString("", "last"), "no line end");
    EXPECT_EQ(file.GetString("ab", "k"), "v=w");
    EXPECT_EQ(file.GetString("ab", "/slash"), "2");
    EXPECT_EQ(file.GetString("ab", " spaced key "), " spaced value ");
    EXPECT_EQ(file.GetString("ab", ""), "empty key");
    EXPECT_EQ(file.GetString("Tansu", "EDIT0"), "192.168.0.11");
    EXPECT_EQ(file.Sections().at("ab").size(), 4u);  // no comment, no line without '='
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"", "Tansu", "ab"}));
    EXPECT_EQ(file.GetString("missing", "k"), "");
    EXPECT_EQ(file.GetString("ab", "missing"), "");
}

TEST(SettingFile, SectionLineLosesItsLastCharacterWhateverItIs)
{
    const SettingFile file = Parse("[Dialog]\nA=1\n[x\nB=2\n[\nC=3\n[Tool]]\nD=4\n[abc \r\nE=5\n");
    EXPECT_EQ(file.GetString("Dialog", "A"), "1");
    EXPECT_EQ(file.GetString("", "B"), "2");
    EXPECT_EQ(file.GetString("", "C"), "3");
    EXPECT_EQ(file.GetString("Tool]", "D"), "4");
    EXPECT_EQ(file.GetString("abc", "E"), "5");
}

TEST(SettingFile, OnlyOneTrailingCarriageReturnGoes)
{
    const SettingFile file = Parse("a=1\r\r\nb=2\rc=3\n");
    EXPECT_EQ(file.GetString("", "a"), "1\r");
    EXPECT_EQ(file.GetString("", "b"), "2\rc=3");
}

TEST(SettingFile, LoadsAddToTheTableAndRefreshTheNames)
{
    SettingFile file = Parse("[b]\nk=1\n");
    file.LoadText("[a]\nk=2\n[b]\nk=3\nj=4\n");
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(file.GetString("b", "k"), "3");
    EXPECT_EQ(file.GetString("b", "j"), "4");
}

TEST(SettingFile, OverlongLineIsCutAndTheRestIsNotALine)
{
    const std::string value(70000, 'v');
    const SettingFile file = Parse("k=" + value + "=x\nnext=1\n");
    EXPECT_EQ(file.GetString("", "k"), value.substr(0, 65533));
    EXPECT_EQ(file.GetString("", "next"), "1");
    EXPECT_EQ(file.Sections().at("").size(), 2u);
    // Never in the middle of a UTF-8 character.
    std::string kana;
    while (kana.size() < 70000) {
        kana += "あ";
    }
    const std::string cut = Parse("k=" + kana).GetString("", "k");
    EXPECT_LE(cut.size(), 65533u);
    EXPECT_EQ(cut.size() % 3, 0u);
}

TEST(SettingFile, Integers)
{
    SettingFile file;
    file.SetInt("CHECK_BOX0", 1);
    file.SetInt("BIG", INT64_MIN);
    EXPECT_EQ(file.GetString(SettingFile::kApplicationSection, "CHECK_BOX0"), "1");
    EXPECT_EQ(file.GetInt("CHECK_BOX0"), 1);
    EXPECT_EQ(file.GetInt("BIG"), INT64_MIN);
    EXPECT_EQ(file.GetInt("missing"), 0);
    for (const std::string text : {"", "abc", "12abc", " 1", "1.5", "99999999999999999999"}) {
        file.SetString("Tansu", "X", text);
        EXPECT_EQ(file.GetInt("X"), 0) << text;
    }
    file.SetString("Tansu", "X", "-42");
    EXPECT_EQ(file.GetInt("X"), -42);
}

TEST(SettingFile, SaveAndLoadGiveTheSameTable)
{
    TempDir dir;
    SettingFile file;
    file.SetString("Tansu", "EDIT1", "/home/user/PS2 saves");
    file.SetString("Tansu", "LANGUAGE", "Japanese");
    file.SetString("Dialog", "BUTTON0", "FTP接続");
    file.SetString("Empty", "", "");
    file.SetString("", "odd", "a=b\r");
    file.LoadText("[NoKeys]\n");
    EXPECT_EQ(file.SaveText(),
              "[]\r\nodd=a=b\r\r\n[Dialog]\r\nBUTTON0=FTP接続\r\n[Empty]\r\n=\r\n[NoKeys]\r\n"
              "[Tansu]\r\nEDIT1=/home/user/PS2 saves\r\nLANGUAGE=Japanese\r\n");
    ASSERT_TRUE(file.Save(dir / "setting.ini"));
    SettingFile read;
    ASSERT_TRUE(read.Load(dir / "setting.ini"));
    EXPECT_EQ(read.Sections(), file.Sections());
    EXPECT_EQ(read.SectionNames(), (std::vector<std::string>{"", "Dialog", "Empty", "NoKeys", "Tansu"}));
}

TEST(SettingFile, SaveReplacesWholeOrNotAtAll)
{
    TempDir dir;
    const std::string path = dir / "setting.ini";
    WriteText(path, "[Tansu]\r\nEDIT0=old\r\n");
    ::chmod(path.c_str(), 0640);
    SettingFile file;
    file.SetString("Tansu", "EDIT0", "new");
    ASSERT_TRUE(file.Save(path));
    EXPECT_EQ(ReadText(path), "[Tansu]\r\nEDIT0=new\r\n");
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    // No temporary file is left behind.
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++count;
    }
    EXPECT_EQ(count, 1u);

    EXPECT_FALSE(file.Save(dir / "missing/setting.ini"));
    std::filesystem::create_directory(dir / "folder");
    WriteText(dir / "folder/keep", "x");
    EXPECT_FALSE(file.Save(dir / "folder"));
    EXPECT_EQ(ReadText(dir / "folder/keep"), "x");
}

TEST(SettingFile, LoadFailureLeavesTheTable)
{
    TempDir dir;
    SettingFile file = Parse("[a]\nk=1\n");
    EXPECT_FALSE(file.Load(dir / "missing.ini"));
    EXPECT_FALSE(file.Load(dir.path()));
    EXPECT_EQ(file.GetString("a", "k"), "1");
    EXPECT_EQ(file.SectionNames(), std::vector<std::string>{"a"});
}

TEST(SettingFile, ReadsUtf8WithBomAndFallsBackToCp932)
{
    TempDir dir;
    WriteText(dir / "bom.ini", "\xEF\xBB\xBF[Dialog]\r\nSTATIC0=保存先\r\n");
    SettingFile bom;
    ASSERT_TRUE(bom.Load(dir / "bom.ini"));
    EXPECT_EQ(bom.GetString("Dialog", "STATIC0"), "保存先");
    EXPECT_EQ(bom.SectionNames(), std::vector<std::string>{"Dialog"});

    // As the Windows program wrote it; the second byte of ソ is 0x5C, a backslash in ASCII.
    WriteText(dir / "sjis.ini", "[Dialog]\r\nSTATIC0=\x95\xDB\x91\xB6\x90\xE6\r\nBUTTON0=\x83\x5C\x83\x74\x83\x67\r\n");
    SettingFile sjis;
    ASSERT_TRUE(sjis.Load(dir / "sjis.ini"));
    EXPECT_EQ(sjis.GetString("Dialog", "STATIC0"), "保存先");
    EXPECT_EQ(sjis.GetString("Dialog", "BUTTON0"), "ソフト");
}
