#include "save/SaveFileNPO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, std::vector<uint8_t> data)
{
    return std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{.name = name, .data = std::move(data)});
}

// `count` in a header without magic (never examined), then the entries, each with at most `present` data bytes.
std::vector<uint8_t> Npo(uint32_t count, const std::vector<std::pair<std::string, uint32_t>>& entries, size_t present)
{
    std::vector<uint8_t> bytes(24, 0);
    std::memcpy(&bytes[8], &count, 4);
    for (const auto& [name, length] : entries) {
        const size_t at = bytes.size();
        bytes.resize(at + 56, 0);
        std::memcpy(&bytes[at], name.data(), std::min<size_t>(name.size(), 48));
        std::memcpy(&bytes[at + 48], &length, 4);
        bytes.resize(bytes.size() + std::min<size_t>(length, present), 'd');
    }
    return bytes;
}

class SaveFileNPOTest : public ::testing::Test {
protected:
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    SaveFileNPO npo;
};

TEST_F(SaveFileNPOTest, LayoutLocatesIconSysAndListIcon)
{
    npo.saves["BASLUS-20811NFSU"] = {Record("icon.sys", MakeIconSys("T", 0, "list.ico")),
                                     Record("list.ico", std::vector<uint8_t>(100, 7))};
    ASSERT_TRUE(npo.Save(temp.path()));
    const auto bytes = ReadBytes(temp / "BASLUS-20811NFSU.npo");
    ASSERT_EQ(bytes.size(), 1256u);
    EXPECT_EQ(std::memcmp(bytes.data(), "nPort\0\0\0", 8), 0);
    EXPECT_EQ(std::vector<uint32_t>({Word(bytes, 8), Word(bytes, 12), Word(bytes, 16)}), std::vector<uint32_t>({3, 80, 1100}));
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 24), "icon.sys");
    EXPECT_EQ(Word(bytes, 24 + 48), 964u);
    EXPECT_EQ(Word(bytes, 1044 + 48), 100u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 56, bytes.end()), std::vector<uint8_t>(56, 0));

    // Without icon.sys both offsets point at the closing entry.
    npo.saves = {{"NOICON", {Record("a", {1, 2, 3, 4, 5})}}};
    ASSERT_TRUE(npo.Save(temp.path()));
    const auto plain = ReadBytes(temp / "NOICON.npo");
    ASSERT_EQ(plain.size(), 24u + 56 + 5 + 56);
    EXPECT_EQ(std::pair(Word(plain, 12), Word(plain, 16)), std::pair(85u, 85u));
}

TEST_F(SaveFileNPOTest, LoadNamesTheSaveAndNumbersTheCreationSeconds)
{
    ASSERT_TRUE(npo.LoadBytes(Npo(4, {{"c", 1}, {"a", 2}, {"b", 3}}, 3), "SAVE1.npo"));
    const auto& files = npo.saves.at("SAVE1");
    ASSERT_EQ(files.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(SaveFileBase::FileOrderKey(files[i]->creationTime), static_cast<int>(i) + 1);
        EXPECT_EQ(files[i]->data.size(), i + 1);
    }
    for (uint32_t count : {0u, 1u}) {
        ASSERT_TRUE(npo.LoadBytes(Npo(count, {{"x", 1}}, 1), "SAVE1.npo"));
        EXPECT_TRUE(npo.saves.at("SAVE1").empty()) << count;
    }
}

TEST_F(SaveFileNPOTest, RoundTripKeepsBytesAndOrderAndReplacesWithoutBackup)
{
    std::vector<uint8_t> big(70000);
    std::ranges::generate(big, [i = 0]() mutable { return static_cast<uint8_t>(i++ * 7); });
    npo.saves["BISCAJ-20146nico"] = {Record("zz.dat", big), Record("icon.sys", MakeIconSys("T")), Record("empty", {}),
                                     Record(std::string(47, 'n'), {9}), Record("\x83\x5C", {1})};
    ASSERT_TRUE(npo.Save(temp.path()));
    ASSERT_TRUE(npo.Save(temp.path()));

    SaveFileNPO back;
    ASSERT_TRUE(back.Load(temp / "BISCAJ-20146nico.npo"));
    auto files = back.saves.at("BISCAJ-20146nico");
    SaveFileBase::SortByFileOrder(files);
    EXPECT_TRUE(std::ranges::equal(files, npo.saves.at("BISCAJ-20146nico"),
                                   [](const auto& a, const auto& b) { return a->name == b->name && a->data == b->data; }));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 2);  // the .npo and log.txt
}

TEST_F(SaveFileNPOTest, HostileFiles)
{
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {std::vector<uint8_t>(23, 0), "SaveFileNPO::Load() ヘッダを読めませんでした"},
        {Npo(0xFFFFFFFFu, {}, 0), "SaveFileNPO::Load() ファイルヘッダを読めませんでした"},
        {Npo(2, {{"a", 0x7FFFFFFF}}, 10), "SaveFileNPO::Load() ファイルを読めませんでした"},
        {Npo(0x80000000u, {{"a", 4}}, 4), "SaveFileNPO::Load() ファイルヘッダを読めませんでした"},
    };
    for (const auto& [bytes, line] : cases) {
        EXPECT_FALSE(npo.LoadBytes(bytes, "SAVE1.npo"));
        EXPECT_TRUE(Logged(line)) << line;
    }
    EXPECT_EQ(npo.saves.at("SAVE1").size(), 1u);  // what was read before the failure stays
    EXPECT_FALSE(npo.Load(temp / "missing.npo"));
    EXPECT_TRUE(Logged("SaveFileNPO::Load() ファイルを開けませんでした"));
    EXPECT_FALSE(npo.LoadBytes(Npo(1, {}, 0), ".npo"));  // no save name once the extension is gone
    EXPECT_TRUE(npo.saves.empty());

    // Unsafe names are skipped; a name filling the whole field ends there but cannot be written back.
    const std::string full(48, 'F');
    ASSERT_TRUE(npo.LoadBytes(Npo(5, {{"../x", 1}, {full, 2}, {"a/b", 1}, {"ok", 3}}, 3), "SAVE1.npo"));
    ASSERT_EQ(npo.saves.at("SAVE1").size(), 2u);
    EXPECT_EQ(npo.saves.at("SAVE1")[0]->name, full);
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました SaveFileNPO::Load() SAVE1.npo : ../x"));
    EXPECT_FALSE(npo.Save(temp / "out"));
    EXPECT_TRUE(Logged("エラー : ファイル名が長すぎるため書き込みませんでした SaveFileNPO::Save() " + temp / "out/SAVE1.npo"));
    EXPECT_TRUE(SaveFileNPO().Save(temp / "nowhere"));  // unlike the other formats, nothing to write is success
    npo.saves = {{"S", {Record("a", {1})}}};
    EXPECT_FALSE(npo.Save(temp / "nowhere"));
    EXPECT_TRUE(Logged("SaveFileNPO::Save() ファイルを開けませんでした " + temp / "nowhere/S.npo"));
}

}  // namespace
