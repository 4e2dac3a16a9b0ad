#include "save/FileKind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "save/PS1SaveFileMcr.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A .psu directory entry: mode, then the name at 0x40.
Bytes PsuEntry(uint16_t mode, const std::string& name)
{
    Bytes entry(512, 0);
    std::memcpy(entry.data(), &mode, 2);
    std::memcpy(entry.data() + 0x40, name.data(), name.size());
    return entry;
}

// A card holding one save of two blocks, as this program writes one.
Bytes CardImage(const TempDir& temp)
{
    PS1SaveFileMcr card;
    card.items = {{"BASLUS-00001SAVE", MakePS1Save("T", 2)}};
    EXPECT_TRUE(card.Save(temp / "made.mcr"));
    return ReadBytes(temp / "made.mcr");
}

class FileKindTest : public ::testing::Test {
protected:
    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

}  // namespace

// Every kind by its content whatever its name; the name only for a .psu cut
// short, and never for what no reader could take.
TEST_F(FileKindTest, ContentDecidesAndNamesOnlyFillIn)
{
    const Bytes card = CardImage(temp);
    const Bytes cut(card.begin(), card.begin() + 3 * 8192);  // ends after its last used block
    const Bytes dexDrive = Text("123-456-STD") + Bytes(3904 - 11, 0);
    const struct {
        std::string name;
        Bytes bytes;
        FileKind kind;
    } cases[] = {
        {"renamed.dat", PsuEntry(0x842F, "SAVE") + PsuEntry(0x8427, ".") + PsuEntry(0x8427, "..") + Bytes(1024, 7), FileKind::Psu},
        {"cut.psu", PsuEntry(0x8427, "SAVE") + PsuEntry(0x8427, "."), FileKind::Psu},
        {"cut.dat", PsuEntry(0x8427, "SAVE") + PsuEntry(0x8427, "."), FileKind::Unknown},
        {"cut-wrong.psu", PsuEntry(0x8427, "SAVE") + PsuEntry(0x8497, "."), FileKind::Unknown},
        {"junk.psu", Bytes(5000, 0x41), FileKind::Unknown},
        {"junk.npo", Bytes(5000, 0x41), FileKind::Unknown},
        {"save.txt", Text("nPort") + Bytes(20, 0), FileKind::Npo},
        {"raw.mcr", MakePS1Save("T", 2), FileKind::PS1Save},
        {"card.bin", card, FileKind::PS1CardImage},
        {"dexdrive-cut.gme", dexDrive + cut, FileKind::PS1CardImage},
        {"vgs.mem", Text("VgsM") + Bytes(60, 0) + card, FileKind::PS1CardImage},
        {"psp.vmp", Text(std::string("\0PMV", 4)) + Bytes(124, 0) + card, FileKind::PS1CardImage},
        {"other-tool.mci", Bytes(300, 0x33) + card, FileKind::PS1CardImage},
        // A header with no image behind it, an image ending inside its directory block, an unformatted card.
        {"header-only.gme", dexDrive + Bytes(8192, 0), FileKind::Unknown},
        {"unformatted.mcr", Bytes(131072, 0xFF), FileKind::Unknown},
        {"mc-note.mcr", Text("MC notes"), FileKind::Unknown},
        // The other tools' saves by their marks, whatever follows.
        {"a.bin", Text("Ps2PowerSave"), FileKind::Max},
        {"b.bin", Text(std::string("CFU\0", 4)), FileKind::Cbs},
        {"c.xps", Bytes{13, 0, 0, 0} + Text("SharkPortSave"), FileKind::Sps},
        {"d.sps", Bytes{14, 0, 0, 0} + Text("SharkPortSave"), FileKind::Unknown},
        {"e.bin", Text(std::string("\0VSP", 4)), FileKind::Psv},
    };
    for (const auto& [name, bytes, kind] : cases) {
        WriteBytes(temp / name, bytes);
        EXPECT_EQ(DetectFileKind(temp / name), kind) << name;
        // The card reader takes exactly what the front door calls a card image.
        EXPECT_EQ(PS1SaveFileMcr().Load(temp / name), kind == FileKind::PS1CardImage) << name;
    }
    EXPECT_NE(ReadText(temp / "log.txt").find("PS1SaveFileMcr::Load() : メモリーカードイメージでない可能性があります : " + temp / "junk.psu"),
              std::string::npos);
    EXPECT_EQ(DetectFileKind(temp.path()), FileKind::SaveFolder);
    std::error_code openError;
    EXPECT_EQ(DetectFileKind(temp / "missing.psu", &openError), FileKind::Unknown);
    EXPECT_TRUE(openError);
}

// Every real file by its folder, the containers by their extensions.
TEST_F(FileKindTest, RealSamples)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    const std::map<std::string, FileKind> containers = {
        {".psu", FileKind::Psu}, {".max", FileKind::Max}, {".cbs", FileKind::Cbs}, {".sps", FileKind::Sps},
        {".psv", FileKind::Psv}, {".PSV", FileKind::Psv}};
    const std::pair<std::string, FileKind> folders[] = {
        {"ps1", FileKind::PS1CardImage}, {"ps1/raw", FileKind::PS1Save}, {"containers", FileKind::Unknown}, {"icon-sys", FileKind::IconSys}};
    for (const auto& [folder, kind] : folders) {
        for (const auto& entry : fs::directory_iterator(samples + folder)) {
            if (entry.is_regular_file()) {
                const auto container = containers.find(entry.path().extension().string());
                EXPECT_EQ(DetectFileKind(entry.path()), container == containers.end() ? kind : container->second) << entry.path();
            }
        }
    }
    EXPECT_EQ(DetectFileKind(samples + "ps2-saves/BISCAJ-20146nico"), FileKind::SaveFolder);
}

// A card image cut anywhere past its directory block reads as the whole
// image with zeros from the cut on; cut before it, it is no card image.
TEST_F(FileKindTest, CutCardImagesReadAsZeroPadded)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    const auto items = [](const PS1SaveFileMcr& card) {
        std::vector<std::pair<std::string, Bytes>> all;
        for (const auto& item : card.items) {
            all.emplace_back(item.name, item.data);
        }
        return all;
    };
    const std::pair<std::string, size_t> cards[] = {
        {"ps1/gran-turismo.26537.gme", 3904}, {"ps1/ps1test.vgs", 64}, {"ps1/go-psx-memcard_epsxe000.mcr", 0}};
    for (const auto& [file, offset] : cards) {
        const Bytes whole = ReadBytes(samples + file);
        for (size_t cut = offset + 4000; cut < whole.size(); cut += 4099) {
            Bytes padded = whole;
            std::fill(padded.begin() + static_cast<ptrdiff_t>(cut), padded.end(), 0);
            WriteBytes(temp / "cut", Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)));
            PS1SaveFileMcr fromCut, fromPadded;
            const bool isCard = cut >= offset + 8192;
            EXPECT_EQ(DetectFileKind(temp / "cut") == FileKind::PS1CardImage, isCard) << file << " " << cut;
            ASSERT_EQ(fromCut.Load(temp / "cut"), isCard) << file << " " << cut;
            ASSERT_TRUE(fromPadded.LoadImage(padded, file));
            if (isCard) {
                EXPECT_EQ(items(fromCut), items(fromPadded)) << file << " " << cut;
            }
        }
    }
}
