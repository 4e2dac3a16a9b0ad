// The two card-image backends on real saves, full cards and damaged images.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "TestSupport.h"
#include "card/CardImageFile.h"
#include "card/MemoryCardFactory.h"
#include "card/MemoryCardNull.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardPs1Image.h"
#include "card/MemoryCardPs2Image.h"
#include "card/Ps1CardImage.h"
#include "card/Ps2CardImage.h"
#include "common/DriveType.h"

namespace fs = std::filesystem;

namespace {

struct FakeOwner : MemoryCardOwner {
    std::string usbFolder;
    std::string GetSlotText() const override { return "0"; }
    std::string GetEditText(Edit edit) const override { return edit == Edit::UsbFolder ? usbFolder : std::string(); }
    bool IsOptionChecked(Option) const override { return false; }
};

std::vector<std::string> NamesOf(const std::vector<FtpClient::FILE_DATA>& entries)
{
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name + (entry.isDirectory ? "/" : ":" + std::to_string(entry.size)));
    }
    return names;
}

// base/pc is the current directory Put and Get use; the log goes to base/program.
class CardImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(pc);
        fs::create_directories(base / "program");
        programDirectory = std::make_unique<ScopedProgramDirectory>(base / "program/");
        fs::current_path(pc);
        SetRemovableDriveProbe([](const std::string&) { return true; });
    }
    void TearDown() override
    {
        SetRemovableDriveProbe(nullptr);
        programDirectory.reset();
    }
    std::string LogText() const { return ReadText(base / "program/log.txt"); }

    // Copies each file of a sample save into the card through the PC folder, as the controller does.
    static void PutSave(MemoryCard& card, const std::string& name, const std::map<std::string, std::vector<uint8_t>>& files)
    {
        ASSERT_TRUE(card.SetCurrentDirectory(""));
        ASSERT_TRUE(card.MakeDirectory(name));
        ASSERT_TRUE(card.SetCurrentDirectory(name));
        for (const auto& [file, bytes] : files) {
            const std::string local = fs::current_path() / file;
            WriteBytes(local, bytes);
            ASSERT_TRUE(card.Put(file)) << name << "/" << file;
            fs::remove(local);
        }
        ASSERT_TRUE(card.SetCurrentDirectory(""));
    }

    TempDir base;
    const std::string pc = base / "pc/";
    const std::string image = base / "card.ps2";
    std::unique_ptr<ScopedProgramDirectory> programDirectory;
    FakeOwner owner;
};

std::map<std::string, std::map<std::string, std::vector<uint8_t>>> SampleSaves()
{
    std::map<std::string, std::map<std::string, std::vector<uint8_t>>> saves;
    for (const auto& folder : fs::directory_iterator(SamplesDir() + "ps2-saves")) {
        for (const auto& file : fs::directory_iterator(folder)) {
            saves[folder.path().filename()][file.path().filename()] = ReadBytes(file.path());
        }
    }
    return saves;
}

TEST_F(CardImageTest, EveryPs2SampleSaveGoesInAndComesBackWhole)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    for (const bool ecc : {true, false}) {
        fs::remove(image);
        ASSERT_FALSE(FormatCardImage(image, false, ecc, 8));
        EXPECT_EQ(FormatCardImage(image, false, ecc, 8), std::errc::file_exists);
        const auto saves = SampleSaves();
        {
            MemoryCardPs2Image card(&owner, image);
            ASSERT_TRUE(card.IsConnected());
            EXPECT_EQ(card.slotMask, 1u);
            for (const auto& [name, files] : saves) {
                PutSave(card, name, files);
            }
        }
        // Read back by a backend of its own, from the file alone.
        MemoryCardPs2Image card(&owner, image);
        std::vector<std::string> expectedRoot;
        for (const auto& [name, files] : saves) {
            expectedRoot.push_back(name + "/");
        }
        EXPECT_EQ(NamesOf(card.List()), expectedRoot);
        for (const auto& [name, files] : saves) {
            ASSERT_TRUE(card.SetCurrentDirectory(name));
            std::vector<std::string> expected;
            for (const auto& [file, bytes] : files) {
                expected.push_back(file + ":" + std::to_string(bytes.size()));
                ASSERT_TRUE(card.Get(file));
                EXPECT_EQ(ReadBytes(pc + file), bytes) << name << "/" << file;
                fs::remove(pc + file);
            }
            std::vector<std::string> listed = NamesOf(card.List());
            std::sort(listed.begin(), listed.end());
            EXPECT_EQ(listed, expected);
        }
        const CardImageReport report = CheckCardImage(image);
        EXPECT_EQ(report.kind, CardImageKind::Ps2);
        EXPECT_EQ(report.ecc, ecc);
        EXPECT_EQ(report.problems, std::vector<std::string>());
    }
}

TEST_F(CardImageTest, Ps2CardTakesTheConsolesSemantics)
{
    ASSERT_FALSE(FormatCardImage(image, false, true, 8));
    owner.usbFolder = image;
    const auto made = CreateMemoryCard(&owner, kMemoryCardUSBMemory, "");
    ASSERT_NE(dynamic_cast<MemoryCardPs2Image*>(made.get()), nullptr);
    MemoryCard& card = *made;
    EXPECT_TRUE(card.MakeDirectory("SAVE"));
    EXPECT_FALSE(card.MakeDirectory("SAVE"));
    EXPECT_FALSE(card.SetCurrentDirectory("NONE"));
    ASSERT_TRUE(card.SetCurrentDirectory("SAVE"));
    WriteText(pc + "data", "first");
    ASSERT_TRUE(card.Put("data"));
    WriteText(pc + "data", "second, longer");
    const auto written = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(pc + "data", written);
    ASSERT_TRUE(card.Put("data"));  // replaces
    const auto listed = card.List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].size, 14u);
    EXPECT_EQ(listed[0].ownerMode, 7);
    fs::remove(pc + "data");
    ASSERT_TRUE(card.Get("data"));
    EXPECT_EQ(ReadText(pc + "data"), "second, longer");
    // The time goes to the card and back in whole seconds, as a copy between folders keeps it.
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(fs::last_write_time(pc + "data") - written).count(), 0);
    ASSERT_TRUE(card.SetCurrentDirectory(""));
    EXPECT_FALSE(card.RemoveDirectory("SAVE"));  // not empty
    ASSERT_TRUE(card.SetCurrentDirectory("SAVE"));
    EXPECT_FALSE(card.Get("../card.ps2"));
    EXPECT_TRUE(card.Remove("data"));
    EXPECT_FALSE(card.Get("data"));
    ASSERT_TRUE(card.SetCurrentDirectory(""));
    EXPECT_TRUE(card.RemoveDirectory("SAVE"));
    EXPECT_TRUE(card.List().empty());
    EXPECT_FALSE(card.lastListFailed);
    EXPECT_EQ(CheckCardImage(image).problems, std::vector<std::string>());

    // Anything but a card image connects nothing, and says why.
    WriteText(base / "notes.txt", "hello");
    owner.usbFolder = base / "notes.txt";
    EXPECT_NE(dynamic_cast<MemoryCardNull*>(CreateMemoryCard(&owner, kMemoryCardUSBMemory, "").get()), nullptr);
    EXPECT_NE(dynamic_cast<MemoryCardNull*>(CreateMemoryCard(&owner, -1, "").get()), nullptr);  // no such kind
    WriteBytes(base / "blank.ps2", std::vector<uint8_t>(8650752, 0xFF));
    EXPECT_FALSE(MemoryCardPs2Image(&owner, base / "blank.ps2").IsConnected());
    EXPECT_NE(LogText().find("not formatted"), std::string::npos);
}

TEST_F(CardImageTest, FullCardRefusesAndLeavesTheImageAsItWas)
{
    ASSERT_FALSE(FormatCardImage(image, false, true, 8));
    MemoryCardPs2Image card(&owner, image);
    // 7998 clusters free; the root grows by one for the save's entry and the
    // save's directory takes two ("." and ".." fill its first).
    PutSave(card, "BIG", {{"fill", std::vector<uint8_t>(7995 * 1024, 0x5A)}});
    const std::vector<uint8_t> before = ReadBytes(image);
    ASSERT_TRUE(card.SetCurrentDirectory("BIG"));
    WriteText(pc + "more", "x");
    EXPECT_FALSE(card.Put("more"));
    EXPECT_FALSE(card.MakeDirectory("OTHER"));
    EXPECT_EQ(ReadBytes(image), before);
    EXPECT_NE(LogText().find("the card is full"), std::string::npos) << LogText();
    // Replacing the one file with a smaller one still works: its own clusters come back first.
    WriteBytes(pc + "fill", std::vector<uint8_t>(100, 1));
    EXPECT_TRUE(card.Put("fill"));
    EXPECT_TRUE(card.Put("more"));
}

// A damaged image lists what is sound, refuses what is not, and never hangs.
TEST_F(CardImageTest, DamagedPs2ImagesAreReadAsFarAsTheyAreSound)
{
    Ps2CardImage fresh(Ps2CardImage::Format(8, true, 0));
    std::string why;
    // SAVE takes cluster 1, the root's second cluster 2, "big" 3-5, SAVE's second cluster 6,
    // "small" 7 and GOOD 8.
    ASSERT_TRUE(fresh.MakeDirectory("SAVE", 0, why));
    ASSERT_TRUE(fresh.WriteFile("SAVE", "big", std::vector<uint8_t>(3000, 1), 0, 0, 0, why));
    ASSERT_TRUE(fresh.WriteFile("SAVE", "small", std::vector<uint8_t>(10, 2), 0, 0, 0, why));
    ASSERT_TRUE(fresh.MakeDirectory("GOOD", 0, why));
    const auto fat = [](uint32_t relative) { return (size_t{9 + relative / 256} * 2 + relative % 256 * 4 / 512) * 528 + relative % 256 * 4 % 512; };
    const auto entry = [](uint32_t relative, uint32_t index) { return (size_t{41 + relative} * 2 + index % 2) * 528; };
    uint32_t value = 0;
    std::memcpy(&value, fresh.Bytes().data() + fat(3), 4);
    ASSERT_EQ(value, 0x80000004u);

    struct Damage {
        const char* what;
        size_t offset;
        uint32_t value;
        const char* problem;
    };
    const Damage damages[] = {
        {"FAT loop", fat(4), 0x80000003u, "loops back to cluster 3"},
        {"cluster out of range", fat(4), 0x80000000u | 9000u, "outside the card"},
        {"directory loop", entry(2, 2) + 0x10, 0, "loops back"},
        {"free cluster in a chain", fat(4), 0x00000005u, "marked free"},
    };
    for (const Damage& damage : damages) {
        std::vector<uint8_t> bytes = fresh.Bytes();
        std::memcpy(bytes.data() + damage.offset, &damage.value, 4);
        WriteBytes(image, bytes);
        const std::vector<std::string> problems = CheckCardImage(image).problems;
        EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                                [&](const std::string& line) { return line.find(damage.problem) != std::string::npos; }))
            << damage.what << ": " << testing::PrintToString(problems);
        MemoryCardPs2Image card(&owner, image);
        ASSERT_TRUE(card.IsConnected()) << damage.what;
        EXPECT_EQ(NamesOf(card.List()), (std::vector<std::string>{"SAVE/", "GOOD/"})) << damage.what;
        ASSERT_TRUE(card.SetCurrentDirectory("GOOD"));
        EXPECT_TRUE(card.List().empty());
        if (card.SetCurrentDirectory("SAVE")) {
            EXPECT_TRUE(card.Get("small")) << damage.what;
            EXPECT_FALSE(card.Get("big")) << damage.what;
            // Deleting the broken file frees only what its chain reached.
            EXPECT_TRUE(card.Remove("big"));
            EXPECT_TRUE(card.Get("small"));
            EXPECT_EQ(ReadBytes(pc + "small"), std::vector<uint8_t>(10, 2));
        }
    }
    // "big" runs on into a cluster of the root, of "small" or of the directory "GOOD": deleting it
    // must leave that cluster to its owner, or the next save written lands on it.
    for (const uint32_t into : {2u, 7u, 8u}) {
        std::vector<uint8_t> crossed = fresh.Bytes();
        const uint32_t link = 0x80000000u | into;
        std::memcpy(crossed.data() + fat(4), &link, 4);
        Ps2CardImage shared(crossed);
        EXPECT_TRUE(shared.RemoveFile("SAVE", "big", 0, why)) << why;
        EXPECT_TRUE(shared.MakeDirectory("NEW", 0, why) &&
                    shared.WriteFile("NEW", "data", std::vector<uint8_t>(5000, 3), 0, 0, 0, why))
            << why;
        std::vector<std::string> damage, names;
        for (const auto& save : shared.List("", damage).value_or(std::vector<Ps2CardImage::Entry>{})) {
            names.push_back(save.name);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"SAVE", "GOOD", "NEW"})) << into;
        EXPECT_EQ(shared.ReadFile("SAVE", "small", why), std::vector<uint8_t>(10, 2)) << into;
        EXPECT_TRUE(shared.List("GOOD", damage) && damage.empty()) << into;
        // Only the cluster the damage itself cut off stays astray.
        EXPECT_EQ(shared.Check(), std::vector<std::string>{"1 clusters are marked in use but belong to no file"}) << into;
    }

    // A superblock whose allocatable area covers the FAT is read, never written.
    std::vector<uint8_t> overlapping = fresh.Bytes();
    overlapping[0x34] = 5;  // alloc_offset
    Ps2CardImage unsafe(overlapping);
    ASSERT_TRUE(unsafe.Valid());
    EXPECT_FALSE(unsafe.MakeDirectory("NEW", 0, why));
    EXPECT_EQ(unsafe.Bytes(), overlapping);
    EXPECT_NE(unsafe.Check().front().find("holds the superblock, the FAT"), std::string::npos);
    // A superblock that lies about the size is refused outright.
    std::vector<uint8_t> bytes = fresh.Bytes();
    bytes.resize(bytes.size() - 528);
    WriteBytes(image, bytes);
    EXPECT_FALSE(MemoryCardPs2Image(&owner, image).IsConnected());
    EXPECT_EQ(CheckCardImage(image).kind, CardImageKind::Ps2);
    EXPECT_FALSE(CheckCardImage(image).problems.empty());
}

std::map<std::string, std::vector<uint8_t>> SamplePs1Saves()
{
    std::map<std::string, std::vector<uint8_t>> saves;
    for (const auto& file : fs::directory_iterator(SamplesDir() + "ps1/raw")) {
        const std::string name = file.path().filename();
        saves[name.substr(0, name.find('.'))] = ReadBytes(file.path());
    }
    return saves;
}

TEST_F(CardImageTest, EveryPs1SampleSaveGoesInAndComesBackWhole)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    const std::string ps1 = base / "card.mcd";
    ASSERT_FALSE(FormatCardImage(ps1, true, false, 0));
    const auto saves = SamplePs1Saves();
    {
        MemoryCardPs1Image card(&owner, ps1);
        ASSERT_TRUE(card.IsConnected());
        for (const auto& [name, bytes] : saves) {
            PutSave(card, name, {{name, bytes}});
        }
        // A PS1 card holds nothing but the save's own file.
        ASSERT_TRUE(card.MakeDirectory("NEW"));
        ASSERT_TRUE(card.SetCurrentDirectory("NEW"));
        WriteBytes(pc + "icon.sys", {1, 2, 3});
        EXPECT_FALSE(card.Put("icon.sys"));
        ASSERT_TRUE(card.SetCurrentDirectory(""));
        EXPECT_TRUE(card.RemoveDirectory("NEW"));
    }
    MemoryCardPs1Image card(&owner, ps1);
    std::vector<std::string> listed = NamesOf(card.List());
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : saves) {
        expected.push_back(name + "/");
        ASSERT_TRUE(card.SetCurrentDirectory(name));
        EXPECT_EQ(NamesOf(card.List()), std::vector<std::string>{name + ":" + std::to_string(bytes.size())});
        EXPECT_FALSE(card.Get("icon.sys"));
        ASSERT_TRUE(card.Get(name));
        EXPECT_EQ(ReadBytes(pc + name), bytes) << name;
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(CheckCardImage(ps1).problems, std::vector<std::string>());

    // Deleting marks the blocks as the console does; the directory then goes too.
    const std::string gone = saves.begin()->first;
    ASSERT_TRUE(card.SetCurrentDirectory(gone));
    ASSERT_TRUE(card.Remove(gone));
    EXPECT_TRUE(card.List().empty());
    ASSERT_TRUE(card.SetCurrentDirectory(""));
    EXPECT_TRUE(card.RemoveDirectory(gone));
    EXPECT_EQ(card.List().size(), saves.size() - 1);
    const std::vector<uint8_t> bytes = ReadBytes(ps1);
    EXPECT_EQ(bytes[0x80], 0xA1);  // the first save took block 1
    EXPECT_EQ(CheckCardImage(ps1).problems, std::vector<std::string>());

    // 12 of 15 blocks were used, 5 freed: another 5-block save fits, 4 more blocks do not.
    PutSave(card, "ANOTHER", {{"ANOTHER", saves.begin()->second}});
    ASSERT_TRUE(card.MakeDirectory("TOO-MANY"));
    ASSERT_TRUE(card.SetCurrentDirectory("TOO-MANY"));
    const std::vector<uint8_t> full = ReadBytes(ps1);
    WriteBytes(pc + "TOO-MANY", std::vector<uint8_t>(4 * 8192, 1));
    EXPECT_FALSE(card.Put("TOO-MANY"));
    EXPECT_EQ(ReadBytes(ps1), full);
    EXPECT_NE(LogText().find("the card is full"), std::string::npos);
}

// A chain that loops ends where it turns back; the check names it and the checksum it broke.
TEST(Ps1CardImageTest, DamagedChainsEndAndAreReported)
{
    Ps1CardImage card(Ps1CardImage::Format());
    std::string why;
    ASSERT_TRUE(card.Write("LOOPS", std::vector<uint8_t>(3 * 8192, 1), why));
    ASSERT_TRUE(card.Write("SOUND", std::vector<uint8_t>(8192, 2), why));
    std::vector<uint8_t> bytes = card.Bytes();
    bytes[0x80 * 3 + 8] = bytes[0x80 * 3 + 9] = 0;  // the last block's next: back to the first
    bytes[0x80 * 3 + 0x20] = 1;                      // and a stray byte its checksum does not cover
    const Ps1CardImage damaged(bytes);
    std::vector<std::string> damage;
    const auto saves = damaged.Saves(&damage);
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_EQ(saves[0].blocks, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(damaged.Read("SOUND"), std::vector<uint8_t>(8192, 2));
    const std::vector<std::string> problems = damaged.Check();
    EXPECT_EQ(problems.size(), 2u) << testing::PrintToString(problems);  // the checksum and the chain
    EXPECT_NE(problems[0].find("block 3: directory frame checksum"), std::string::npos);
}

// A sector the card lists as broken is read from the frame standing in for it, and
// a save written over it reaches both, as the console would read it either way.
TEST(Ps1CardImageTest, BrokenSectorsReadFromTheirStandIns)
{
    Ps1CardImage card(Ps1CardImage::Format());
    std::string why;
    ASSERT_TRUE(card.Write("WORN", std::vector<uint8_t>(2 * 8192, 1), why));
    std::vector<uint8_t> bytes = card.Bytes();
    const uint32_t sector = 2 * 64 + 5;  // block 2 (the save's second), frame 5
    std::memcpy(bytes.data() + 0x800 + 0x80, &sector, sizeof sector);  // the list's second entry
    std::fill_n(bytes.begin() + 0x1200 + 0x80, 0x80, uint8_t{9});   // and its stand-in
    Ps1CardImage worn(bytes);
    std::vector<uint8_t> expected(2 * 8192, 1);
    std::fill_n(expected.begin() + 8192 + 5 * 0x80, 0x80, uint8_t{9});
    EXPECT_EQ(worn.Read("WORN"), expected);
    EXPECT_EQ(worn.Check(), std::vector<std::string>{"the broken-sector list names sector 133"});

    ASSERT_TRUE(worn.Remove("WORN", why));
    ASSERT_TRUE(worn.Write("FRESH", std::vector<uint8_t>(15 * 8192, 3), why));  // every block, the worn one too
    EXPECT_EQ(worn.Read("FRESH"), std::vector<uint8_t>(15 * 8192, 3));
    EXPECT_EQ(worn.Bytes()[0x1200 + 0x80], 3);
}

// Images behind another tool's header keep it; one cut short is written whole.
TEST_F(CardImageTest, Ps1HeadersStayAndSavesAroundAreUntouched)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    for (const char* sample : {"ps1test.vgs", "castlevania-symphony-of-the-night.1368.gme", "gran-turismo.26537.gme"}) {
        const std::string path = base / sample;
        fs::copy_file(SamplesDir() + "ps1/" + sample, path, fs::copy_options::overwrite_existing);
        const std::vector<uint8_t> original = ReadBytes(path);
        const Ps1CardImage before(original);
        const size_t header = original.size() > 131072 ? original.size() - 131072 : 3904;
        MemoryCardPs1Image card(&owner, path);
        ASSERT_TRUE(card.IsConnected()) << sample;
        const auto saves = before.Saves();
        if (before.FreeBlocks() > 0) {
            PutSave(card, "BASLUS-99999NEW", {{"BASLUS-99999NEW", std::vector<uint8_t>(8192, 7)}});
        }
        const std::vector<uint8_t> written = ReadBytes(path);
        EXPECT_EQ(written.size(), header + 131072) << sample;
        // The header stays but for the DexDrive's copies of the frame states.
        EXPECT_TRUE(std::equal(original.begin(), original.begin() + 0x15, written.begin())) << sample;
        EXPECT_TRUE(std::equal(original.begin() + 0x35, original.begin() + static_cast<ptrdiff_t>(header), written.begin() + 0x35)) << sample;
        const Ps1CardImage after(written);
        for (const auto& save : saves) {
            EXPECT_EQ(after.Read(save.name), before.Read(save.name)) << sample << " " << save.name;
        }
    }
}

}  // namespace
