#include "save/SaveFileNPO.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
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

void PutWord(std::vector<uint8_t>& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, sizeof value); }

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, std::vector<uint8_t> data)
{
    auto record = std::make_shared<SaveFileBase::FILE_DATA>();
    record->name = name;
    record->data = std::move(data);
    return record;
}

// A header and one entry per (name, length, bytes actually present).
std::vector<uint8_t> Npo(uint32_t count, const std::vector<std::pair<std::string, uint32_t>>& entries, size_t dataPresent)
{
    std::vector<uint8_t> bytes(24, 0);
    std::memcpy(bytes.data(), "nPort", 5);
    PutWord(bytes, 8, count);
    for (const auto& [name, length] : entries) {
        std::vector<uint8_t> entry(56, 0);
        std::memcpy(entry.data(), name.data(), std::min<size_t>(name.size(), 48));
        PutWord(entry, 48, length);
        bytes.insert(bytes.end(), entry.begin(), entry.end());
        bytes.insert(bytes.end(), std::min<size_t>(length, dataPresent), uint8_t{'d'});
    }
    return bytes;
}

class SaveFileNPOTest : public ::testing::Test {
protected:
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }
    bool LoadBytes(SaveFileNPO& npo, const std::vector<uint8_t>& bytes, const std::string& name = "SAVE1.npo")
    {
        WriteBytes(temp / name, bytes);
        return npo.Load(temp / name);
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

TEST_F(SaveFileNPOTest, LayoutLocatesIconSysAndListIcon)
{
    SaveFileNPO npo;
    npo.saves["BASLUS-20811NFSU"] = {Record("icon.sys", MakeIconSys("T", 0, "list.ico")),
                                     Record("list.ico", std::vector<uint8_t>(100, 7))};
    ASSERT_TRUE(npo.Save(temp.path()));
    const auto bytes = ReadBytes(temp / "BASLUS-20811NFSU.npo");
    ASSERT_EQ(bytes.size(), 1256u);
    EXPECT_EQ(std::memcmp(bytes.data(), "nPort\0\0\0", 8), 0);
    EXPECT_EQ(Word(bytes, 0x08), 3u);
    EXPECT_EQ(Word(bytes, 0x0C), 80u);
    EXPECT_EQ(Word(bytes, 0x10), 1100u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 24)), "icon.sys");
    EXPECT_EQ(Word(bytes, 24 + 48), 964u);
    EXPECT_EQ(Word(bytes, 1044 + 48), 100u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 56, bytes.end()), std::vector<uint8_t>(56, 0));

    // Without icon.sys both offsets point at the closing entry.
    npo.saves = {{"NOICON", {Record("a", {1, 2, 3, 4, 5})}}};
    ASSERT_TRUE(npo.Save(temp.path()));
    const auto plain = ReadBytes(temp / "NOICON.npo");
    ASSERT_EQ(plain.size(), 24u + 56 + 5 + 56);
    EXPECT_EQ(Word(plain, 0x0C), 85u);
    EXPECT_EQ(Word(plain, 0x10), 85u);
}

TEST_F(SaveFileNPOTest, LoadNamesTheSaveAndOrdersByCreationSeconds)
{
    SaveFileNPO npo;
    auto bytes = Npo(4, {{"c", 1}, {"a", 2}, {"b", 3}}, 3);
    std::memcpy(bytes.data(), "XXXXXXXX", 8);  // the magic is not examined
    ASSERT_TRUE(LoadBytes(npo, bytes));
    ASSERT_EQ(npo.saves.size(), 1u);
    ASSERT_EQ(npo.saves.begin()->first, "SAVE1");
    const auto& files = npo.saves.begin()->second;
    ASSERT_EQ(files.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::time_t created = static_cast<std::time_t>(files[i]->creationTime);
        std::tm local{};
        ASSERT_NE(localtime_r(&created, &local), nullptr);
        EXPECT_EQ(local.tm_sec, i + 1);
        EXPECT_EQ(files[i]->data.size(), static_cast<size_t>(i + 1));
    }

    for (uint32_t count : {0u, 1u}) {
        ASSERT_TRUE(LoadBytes(npo, Npo(count, {{"x", 1}}, 1)));
        EXPECT_TRUE(npo.saves.at("SAVE1").empty()) << count;
    }
}

TEST_F(SaveFileNPOTest, RoundTripKeepsBytesAndOrderAndReplacesWithoutBackup)
{
    SaveFileNPO npo;
    std::vector<uint8_t> big(70000);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<uint8_t>(i * 7);
    }
    const std::string longest(47, 'n');
    npo.saves["BISCAJ-20146nico"] = {Record("zz.dat", big), Record("icon.sys", MakeIconSys("T")),
                                     Record("empty", {}), Record(longest, {9}), Record("\x83\x5C", {1})};
    ASSERT_TRUE(npo.Save(temp.path()));
    ASSERT_TRUE(npo.Save(temp.path()));  // the second export replaces the first

    SaveFileNPO back;
    ASSERT_TRUE(back.Load(temp / "BISCAJ-20146nico.npo"));
    auto files = back.saves.at("BISCAJ-20146nico");
    SaveFileBase::SortByFileOrder(files);
    const auto& original = npo.saves.begin()->second;
    ASSERT_EQ(files.size(), original.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i]->name, original[i]->name);
        EXPECT_EQ(files[i]->data, original[i]->data);
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"BISCAJ-20146nico.npo", "log.txt"}));
}

TEST_F(SaveFileNPOTest, HostileFilesEndWithTheirLogLine)
{
    const struct {
        std::vector<uint8_t> bytes;
        const char* line;
    } cases[] = {
        {std::vector<uint8_t>(23, 0), "SaveFileNPO::Load() ヘッダを読めませんでした"},
        {Npo(0x80000000u, {{"a", 4}}, 4), "SaveFileNPO::Load() ファイルヘッダを読めませんでした"},
        {Npo(0xFFFFFFFFu, {}, 0), "SaveFileNPO::Load() ファイルヘッダを読めませんでした"},
        {Npo(2, {{"a", 0x7FFFFFFF}}, 10), "SaveFileNPO::Load() ファイルを読めませんでした"},
    };
    for (const auto& hostile : cases) {
        SaveFileNPO npo;
        EXPECT_FALSE(LoadBytes(npo, hostile.bytes));
        EXPECT_TRUE(Logged(hostile.line)) << hostile.line;
    }
    // The records read before the failure stay.
    SaveFileNPO npo;
    EXPECT_FALSE(LoadBytes(npo, Npo(0x80000000u, {{"a", 4}}, 4)));
    EXPECT_EQ(npo.saves.at("SAVE1").size(), 1u);

    EXPECT_FALSE(npo.Load(temp / "missing.npo"));
    EXPECT_TRUE(Logged("SaveFileNPO::Load() ファイルを開けませんでした"));
}

TEST_F(SaveFileNPOTest, NamesThatCannotBeFilesAreRefused)
{
    // A name filling the whole field ends there; unsafe names are skipped.
    SaveFileNPO npo;
    const std::string full(48, 'F');
    ASSERT_TRUE(LoadBytes(npo, Npo(6, {{"../x", 1}, {full, 2}, {"a/b", 1}, {"..", 1}, {"ok", 3}}, 3)));
    const auto& files = npo.saves.at("SAVE1");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]->name, full);
    EXPECT_EQ(files[1]->name, "ok");
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました SaveFileNPO::Load() " + temp / "SAVE1.npo" + " : ../x"));

    // ".npo" has no save name left once the extension is gone.
    EXPECT_FALSE(LoadBytes(npo, Npo(1, {}, 0), ".npo"));
    EXPECT_TRUE(npo.saves.empty());

    // A name of 48 bytes cannot be written back: the save is refused, nothing written.
    ASSERT_TRUE(LoadBytes(npo, Npo(3, {{full, 2}, {"ok", 3}}, 3)));
    EXPECT_FALSE(npo.Save(temp / "out"));
    EXPECT_TRUE(Logged("エラー : ファイル名が長すぎるため書き込みませんでした SaveFileNPO::Save() " + temp / "out/SAVE1.npo"));
    EXPECT_FALSE(std::filesystem::exists(temp / "out"));

    SaveFileNPO empty;
    EXPECT_TRUE(empty.Save(temp / "nowhere"));
    empty.saves["S"] = {Record("a", {1})};
    EXPECT_FALSE(empty.Save(temp / "nowhere"));
    EXPECT_TRUE(Logged("SaveFileNPO::Save() ファイルを開けませんでした " + temp / "nowhere/S.npo"));
}

}  // namespace
