#include "save/SaveFileNPO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, std::vector<uint8_t> data)
{
    return std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{.name = name, .data = std::move(data)});
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The 24-byte header without its magic (never examined): entry count, offsets of the icon.sys and list icon data.
std::string Header(uint32_t count, uint32_t iconSys = 0, uint32_t listIcon = 0)
{
    std::string header(24, '\0');
    const uint32_t words[] = {count, iconSys, listIcon};
    std::memcpy(&header[8], words, sizeof words);
    return header;
}

// A 56-byte entry: the name and the length it declares.
std::string Entry(std::string name, uint32_t length)
{
    name.resize(56, '\0');
    std::memcpy(&name[48], &length, 4);
    return name;
}

class SaveFileNPOTest : public ::testing::Test {
protected:
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }
    bool Load(const std::string& bytes, const std::string& name = "SAVE1.npo") { return npo.LoadBytes(Bytes(bytes), name); }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    SaveFileNPO npo;
};

TEST_F(SaveFileNPOTest, LayoutAndRoundTrip)
{
    const auto iconSys = MakeIconSys("T", 0, "list.ico");
    npo.saves["BASLUS-20811NFSU"] = {Record("icon.sys", iconSys), Record("list.ico", std::vector<uint8_t>(100, 7))};
    ASSERT_TRUE(npo.Save(temp.path()));
    EXPECT_EQ(ReadText(temp / "BASLUS-20811NFSU.npo"),  // 1256 bytes
              "nPort" + Header(3, 80, 1100).substr(5) + Entry("icon.sys", 964) + Text(iconSys) + Entry("list.ico", 100) +
                  std::string(100, 7) + Entry("", 0));
    npo.saves = {{"NOICON", {Record("a", {1, 2, 3, 4, 5})}}};  // both offsets then point at the closing entry
    ASSERT_TRUE(npo.Save(temp.path()));
    EXPECT_EQ(ReadText(temp / "NOICON.npo"), "nPort" + Header(2, 85, 85).substr(5) + Entry("a", 5) + "\1\2\3\4\5" + Entry("", 0));

    npo.saves = {{"SAVE", {Record("zz.dat", std::vector<uint8_t>(70000, 7)), Record("empty", {}), Record(std::string(47, 'n'), {9}),
                           Record("\x83\x5C", {1})}}};
    // A file of the name already there is kept: the second one takes the next free number.
    ASSERT_TRUE(npo.Save(temp.path()) && npo.Save(temp.path()));
    EXPECT_EQ(npo.written, std::vector<std::string>{temp / "SAVE.000.npo"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 5);  // four .npo and log.txt
    EXPECT_EQ(ReadBytes(temp / "SAVE.npo"), ReadBytes(temp / "SAVE.000.npo"));
    SaveFileNPO back;
    ASSERT_TRUE(back.Load(temp / "SAVE.000.npo"));
    EXPECT_TRUE(std::ranges::equal(back.saves.at("SAVE.000"), npo.saves.at("SAVE"),
                                   [](const auto& a, const auto& b) { return a->name == b->name && a->data == b->data; }));
}

TEST_F(SaveFileNPOTest, ReadingAndHostileFiles)
{
    // The save is named after the file; the creation seconds number the files.
    ASSERT_TRUE(Load(Header(4) + Entry("c", 1) + "c" + Entry("a", 2) + "aa" + Entry("b", 3) + "bbb"));
    EXPECT_EQ(npo.saves.at("SAVE1").size(), 3u);
    for (int key = 1; const auto& file : npo.saves.at("SAVE1")) {
        EXPECT_EQ(SaveFileBase::FileOrderKey(file->creationTime), key++) << file->name;
    }
    EXPECT_TRUE(Load(Header(0) + Entry("x", 1) + "x") && npo.saves.at("SAVE1").empty());

    const std::pair<std::string, const char*> cases[] = {
        {std::string(23, '\0'), "SaveFileNPO::Load() ヘッダを読めませんでした"},
        {Header(2) + Entry("a", 0x7FFFFFFF) + "0123456789", "SaveFileNPO::Load() ファイルを読めませんでした"},
        {Header(0x80000000u) + Entry("a", 4) + "aaaa", "SaveFileNPO::Load() ファイルヘッダを読めませんでした"},
    };
    for (const auto& [bytes, line] : cases) {
        EXPECT_FALSE(Load(bytes));
        EXPECT_TRUE(Logged(line)) << line;
    }
    EXPECT_TRUE(npo.saves.empty());  // a file cut short gives nothing, not the files before the cut
    EXPECT_FALSE(Load(Header(1), ".npo"));  // no save name once the extension is gone
    EXPECT_TRUE(npo.saves.empty());

    // Unsafe names are skipped; a name filling the whole field ends there but cannot be written back.
    const std::string full(48, 'F');
    ASSERT_TRUE(Load(Header(4) + Entry("../x", 1) + "x" + Entry(full, 1) + "f" + Entry("ok", 1) + "o"));
    EXPECT_EQ(npo.saves.at("SAVE1").at(0)->name + "," + npo.saves.at("SAVE1").at(1)->name, full + ",ok");
    EXPECT_EQ(npo.skipped, 1u);
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました SaveFileNPO::Load() SAVE1.npo : ../x"));
    EXPECT_FALSE(npo.Save(temp.path()) || std::filesystem::exists(temp / "SAVE1.npo"));
    EXPECT_TRUE(SaveFileNPO().Save(temp / "nowhere"));  // unlike the other formats, nothing to write is success
    npo.saves = {{"S", {Record("a", {1})}}};
    EXPECT_FALSE(npo.Save(temp / "nowhere"));
    EXPECT_TRUE(Logged("SaveFileNPO::Save() ファイルを開けませんでした " + temp / "nowhere/S.npo"));
}

}  // namespace
