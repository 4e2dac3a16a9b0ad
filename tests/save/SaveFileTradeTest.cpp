// The saves of other tools (.max, .cbs, .sps, .psv): real files read whole,
// and made-up ones, hostile or damaged, read as nothing.
#include <gtest/gtest.h>
#include <strings.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/TextCodec.h"
#include "save/IconSys.h"
#include "save/Lzari.h"
#include "save/PS1SaveData.h"
#include "save/SaveFileCBS.h"
#include "save/SaveFileFolder.h"
#include "save/SaveFileMAX.h"
#include "save/SaveFilePSV.h"
#include "save/SaveFileSPS.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Sizes = std::vector<std::pair<std::string, size_t>>;

// Little-endian numbers, fixed NUL-padded fields and raw bytes, one after the other.
struct Writer {
    template <typename Number>
    Writer& Put(Number value)
    {
        const auto* raw = reinterpret_cast<const uint8_t*>(&value);
        bytes.insert(bytes.end(), raw, raw + sizeof value);
        return *this;
    }
    Writer& Field(const std::string& text, size_t width)
    {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.resize(bytes.size() + width - text.size(), 0);
        return *this;
    }
    Writer& Raw(const Bytes& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    Writer& Zeros(size_t count) { return Raw(Bytes(count, 0)); }
    Bytes bytes;
};

struct File {
    std::string name;
    std::string data;
    Bytes Data() const { return Bytes(data.begin(), data.end()); }
};

// 2012-08-04 12:00:00, the card's way.
constexpr CardTime kTime{0, 0, 0, 12, 4, 8, 2012};

// LZARI with literals only: enough for any .max a test needs.
Bytes LzariLiterals(const Bytes& data)
{
    using namespace Lzari;
    CodeModel model;
    Bytes out;
    uint8_t buffer = 0;
    int filled = 0;
    const auto put = [&](uint32_t bit) {
        buffer = static_cast<uint8_t>(buffer << 1 | bit);
        if (++filled == 8) {
            out.push_back(buffer);
            filled = 0;
        }
    };
    uint32_t low = 0, high = kQ4;
    int pending = 0;
    const auto output = [&](uint32_t bit) {
        put(bit);
        for (; pending > 0; --pending) put(bit ^ 1);
    };
    for (const uint8_t byte : data) {
        const int sym = model.SymbolOf(byte);
        const uint32_t range = high - low;
        high = low + range * model.After(sym - 1) / model.Total();
        low += range * model.After(sym) / model.Total();
        for (;; low += low, high += high) {
            if (high <= kQ2) {
                output(0);
            } else if (low >= kQ2) {
                output(1), low -= kQ2, high -= kQ2;
            } else if (low >= kQ1 && high <= kQ3) {
                ++pending, low -= kQ1, high -= kQ1;
            } else {
                break;
            }
        }
        model.Update(sym);
    }
    ++pending;
    output(low < kQ1 ? 0 : 1);
    while (filled != 0) put(0);
    return out;
}

// Each maker takes the save's name and files; `count` replaces the file count
// the format states, `claimed` the unpacked length.
Bytes MakeMax(const std::string& dir, const std::vector<File>& files, std::optional<uint32_t> count = {},
              std::optional<uint32_t> claimed = {})
{
    Writer stream;
    for (const File& file : files) {
        stream.Put(uint32_t(file.data.size())).Field(file.name, 32).Raw(file.Data());
        stream.Zeros((16 - (stream.bytes.size() + 8) % 16) % 16);
    }
    Writer max;
    max.Field("Ps2PowerSave", 12).Put(uint32_t(0)).Field(dir, 32).Field("free text", 32).Put(uint32_t(0));
    max.Put(count.value_or(uint32_t(files.size()))).Put(claimed.value_or(uint32_t(stream.bytes.size())));
    max.Raw(LzariLiterals(stream.bytes));
    const uint32_t crc = SaveFileMAX::Checksum(max.bytes);
    std::memcpy(max.bytes.data() + SaveFileMAX::kChecksumOffset, &crc, sizeof crc);
    return max.bytes;
}

Bytes Deflate(const Bytes& plain)
{
    uLongf length = compressBound(plain.size());
    Bytes packed(length);
    compress(packed.data(), &length, plain.data(), plain.size());
    packed.resize(length);
    return packed;
}

Bytes MakeCbs(const std::string& dir, const std::vector<File>& files, std::optional<uint32_t> count = {},
              std::optional<uint32_t> claimed = {})
{
    Writer body;
    for (const File& file : files) {
        body.Put(kTime).Put(kTime).Put(uint32_t(file.data.size())).Put(uint32_t(0x8497)).Zeros(8).Field(file.name, 32);
        body.Raw(file.Data());
    }
    body.bytes.resize(body.bytes.size() - (count ? 1 : 0));  // a count of its own: a body cut inside
    Bytes packed = Deflate(body.bytes);
    SaveFileCBS::Cipher(packed);
    Writer cbs;
    cbs.Field(std::string("CFU\0", 4), 4).Put(uint32_t(8000)).Put(uint32_t(0x128));
    cbs.Put(claimed.value_or(uint32_t(body.bytes.size()))).Put(uint32_t(0x128 + packed.size()));
    cbs.Field(dir, 32).Put(kTime).Put(kTime).Put(uint32_t(0)).Put(uint32_t(0x8427)).Zeros(16 + 72 + 132);
    return cbs.Raw(packed).bytes;
}

Writer SpsEntry(const std::string& name, uint32_t size, uint16_t modeBigEndian)
{
    Writer entry;
    entry.Put(uint16_t(250)).Field(name, 64).Put(size).Zeros(8).Put(modeBigEndian).Zeros(2).Put(kTime).Put(kTime);
    return entry.Zeros(4).Put(uint32_t(1)).Put(kTime).Field(name, 64).Field(name, 64).Zeros(8);
}

Bytes MakeSps(const std::string& dir, const std::vector<File>& files, std::optional<uint32_t> count = {},
              std::optional<uint32_t> = {})
{
    Writer payload = SpsEntry(dir, count.value_or(uint32_t(files.size())) + 2, 0x2784);
    for (const File& file : files) {
        payload.Raw(SpsEntry(file.name, uint32_t(file.data.size()), 0x9784).bytes).Raw(file.Data());
    }
    Writer sps;
    sps.Put(uint32_t(13)).Field("SharkPortSave", 13).Zeros(4);
    for (const std::string text : {"Title", "", "comment"}) {
        sps.Put(uint32_t(text.size())).Field(text, text.size());
    }
    sps.Put(uint32_t(payload.bytes.size())).Raw(payload.bytes).Put(SaveFileSPS::Checksum(payload.bytes));
    return sps.bytes;
}

Writer PsvHeader(uint32_t type)
{
    Writer psv;
    return psv.Field(std::string("\0VSP", 4), 8).Field("www.bucanero.com.ar", 20).Zeros(20 + 8).Put(uint32_t(type == 2 ? 0x2C : 0x14)).Put(type);
}

Bytes MakePsv(const std::string& dir, const std::vector<File>& files, std::optional<uint32_t> count = {},
              std::optional<uint32_t> = {})
{
    Writer psv = PsvHeader(2);
    psv.Put(uint32_t(0)).Zeros(32).Put(count.value_or(uint32_t(files.size()))).Put(kTime).Put(kTime);
    psv.Put(uint32_t(files.size() + 2)).Put(uint32_t(0x8427)).Field(dir, 32);
    auto offset = uint32_t(psv.bytes.size() + 60 * files.size());
    for (const File& file : files) {
        psv.Put(kTime).Put(kTime).Put(uint32_t(file.data.size())).Put(uint32_t(0x8497)).Field(file.name, 32).Put(offset);
        offset += uint32_t(file.data.size());
    }
    for (const File& file : files) {
        psv.Raw(file.Data());
    }
    return psv.bytes;
}

Bytes MakePS1Psv(const std::string& name, const Bytes& save, uint32_t size)
{
    Writer psv = PsvHeader(1);
    psv.Put(size).Put(uint32_t(0x84)).Put(uint32_t(0x200)).Zeros(16).Put(size).Put(uint32_t(0x9003)).Field(name, 20).Zeros(12);
    return psv.Raw(save).bytes;
}

struct Format {
    const char* name;
    std::function<std::unique_ptr<SaveFileTrade>()> reader;
    std::function<Bytes(const std::string&, const std::vector<File>&, std::optional<uint32_t>, std::optional<uint32_t>)> make;
};

const Format kFormats[] = {
    {"SaveFileMAX", [] { return std::make_unique<SaveFileMAX>(); }, MakeMax},
    {"SaveFileCBS", [] { return std::make_unique<SaveFileCBS>(); }, MakeCbs},
    {"SaveFileSPS", [] { return std::make_unique<SaveFileSPS>(); }, MakeSps},
    {"SaveFilePSV", [] { return std::make_unique<SaveFilePSV>(); }, MakePsv},
};

std::unique_ptr<SaveFileTrade> ReaderFor(const std::string& file)
{
    const std::string extension = fs::path(file).extension().string();
    const char* const names[] = {".max", ".cbs", ".sps", ".psv"};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (strcasecmp(extension.c_str(), names[i]) == 0) {
            return kFormats[i].reader();
        }
    }
    return nullptr;
}

Sizes SizesOf(const SaveFileBase::FileList& files)
{
    Sizes sizes;
    for (const auto& file : files) {
        sizes.emplace_back(file->name, file->data.size());
    }
    return sizes;
}

class SaveFileTradeTest : public ::testing::Test {
protected:
    bool Load(SaveFileTrade& reader, const Bytes& bytes) { return reader.LoadBytes(bytes, "test"); }
    bool LogSays(const std::string& text) { return ReadText(temp / "log.txt").find(text) != std::string::npos; }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

}  // namespace

// Names, sizes and bytes as other programs and the saves' own folders have
// them; titles from the icon.sys inside.
TEST_F(SaveFileTradeTest, RealSamplesReadWhole)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no samples";
    }
    const Sizes payne = {{"icon.sys", 964}, {"PAYNE.ICO", 65512}, {"invsave.inv", 143640}};
    const Sizes nfsu = {{"icon.sys", 964}, {"slime1.ico", 70408}, {"BASLUS-20811NFSU", 8}, {"PETE.nfs", 63933}};
    const std::string maxPayneTitle = "Ｍａｘ　Ｐａｙｎｅ （Ｓａｖｅ　Ｇａｍｅ）";
    const struct {
        std::string file, dir;
        Sizes files;  // in the order read: the file's own, or by creation time
        std::string title;
    } cases[] = {
        {"max-payne.22050.max", "BASLUS-20230", {payne[0], payne[1], payne[2], {"BASLUS-20230", 100}}, maxPayneTitle},
        // The compressed length counts the stream alone here: the stream still runs to the end of the file.
        {"final-fantasy12.max", "BASLUS-20963FF1200", {{"static.ico", 33688}, {"BASLUS-20963FF1200", 57864}, {"icon.sys", 964}},
         "ＦＦ１２　０１ ００１：２５：２７"},
        {"tokyo-xtreme-racer-drift-2.14091.cbs", "BESLES-53900-SYS.00",
         {{"BESLES-53900-SYS.00", 138792}, {"icon.00", 27806}, {"icon.sys", 964}}, "ＫＡＩＤＯ２ Ｓｙｓｔｅｍ　Ｄａｔａ"},
        {"max-payne.1394.sps", "BASLUS-20230", {payne[2], {"BASLUS-20230", 100}, payne[0], payne[1]}, maxPayneTitle},
        {"BESLES-50325.PSV", "BESLES-50325", {payne[0], payne[1], payne[2], {"BESLES-50325", 100}}, maxPayneTitle},
        {"ps2iconsys_test.psv", "BASLUS-20811NFSU", nfsu, "Ｎｅｅｄ　ｆｏｒ　Ｓｐｅｅｄ 　Ｕｎｄｅｒｇｒｏｕｎｄ"},
        // Modes in the upper half of their words.
        {"APOLLO-99PS2.PSV", "APOLLO-99PS2", {{"icon.sys", 964}, {"icon.ico", 33688}}, "Ａｐｏｌｌｏ Ｄｕｍｍｙ　Ｓａｖｅ"},
    };
    std::map<std::string, SaveFileBase::FileList> read;
    for (const auto& [file, dir, files, title] : cases) {
        const auto reader = ReaderFor(file);
        ASSERT_TRUE(reader->Load(samples + "containers/" + file)) << file;
        ASSERT_EQ(reader->saves.size(), 1u) << file;
        const auto& [name, list] = *reader->saves.begin();
        EXPECT_EQ(name, dir) << file;
        EXPECT_EQ(SizesOf(list), files) << file;
        const auto iconSys = std::find_if(list.begin(), list.end(), [](const auto& f) { return f->name == "icon.sys"; });
        ASSERT_NE(iconSys, list.end()) << file;
        EXPECT_EQ(SjisToUtf8(IconSys((*iconSys)->data, file).title), title) << file;
        read[file] = list;
    }
    const auto data = [&read](const std::string& file, size_t index) { return read[file].at(index)->data; };
    // The same icon.sys from three tools' formats; the icons as other samples hold them.
    EXPECT_EQ(data("max-payne.22050.max", 0), data("max-payne.1394.sps", 2));
    EXPECT_EQ(data("max-payne.22050.max", 0), data("BESLES-50325.PSV", 0));
    EXPECT_EQ(data("BESLES-50325.PSV", 1), ReadBytes(samples + "ps2-icons/PAYNE.ICO"));
    EXPECT_EQ(data("tokyo-xtreme-racer-drift-2.14091.cbs", 1), ReadBytes(samples + "ps2-icons/ps2save-extract_icon.00"));
    for (size_t i = 0; i < nfsu.size(); ++i) {
        EXPECT_EQ(data("ps2iconsys_test.psv", i), ReadBytes(samples + "ps2-saves/BASLUS-20811NFSU/" + nfsu[i].first));
    }
    // Every byte of both unpacked streams, the end of the last file included.
    for (const auto& [file, crc] : {std::pair<std::string, uLong>{"max-payne.22050.max", 0x08355ABD}, {"final-fantasy12.max", 0x5146581E}}) {
        uLong sum = crc32(0, nullptr, 0);
        for (const auto& f : read[file]) {
            sum = crc32(sum, f->data.data(), uInt(f->data.size()));
        }
        EXPECT_EQ(sum, crc) << file;
    }

    SaveFilePSV ps1;
    ASSERT_TRUE(ps1.Load(samples + "containers/APOLLO-99PS1.PSV"));
    ASSERT_TRUE(ps1.ps1Save && ps1.saves.empty());
    EXPECT_EQ(ps1.ps1Save->name, "APOLLO-99PS1");
    EXPECT_EQ(SjisToUtf8(PS1SaveData(ps1.ps1Save->data, 8192).title), "Ａｐｏｌｌｏ");
}

// Whatever a file names its save and files, nothing may land outside the
// folder the import writes into, and two files may not share one name.
TEST_F(SaveFileTradeTest, UnusableNamesFailTheWholeFile)
{
    const std::vector<File> good = {{"icon.sys", "I"}, {"DATA", "data"}};
    const std::vector<std::pair<std::string, std::vector<File>>> bad = {
        {"..", good}, {"A/B", good}, {"", good}, {"SAVE", {{".", "x"}}}, {"SAVE", {{"..", "x"}}},
        {"SAVE", {{"../../evil", "x"}}}, {"SAVE", {{"a\\b", "x"}}}, {"SAVE", {{"tab\there", "x"}}},
        {"SAVE", {{"del\x7f", "x"}}}, {"SAVE", {{"DATA", "1"}, {"DATA", "2"}}}, {"SAVE", {{std::string(32, 'N'), "x"}}},
        {"SAVE", {{"\xFD", "1"}, {"\xFE", "2"}}},  // one name on the PC
    };
    for (const Format& format : kFormats) {
        const auto reader = format.reader();
        ASSERT_TRUE(Load(*reader, format.make("SAVE", good, {}, {}))) << format.name;
        EXPECT_EQ(SizesOf(reader->saves.at("SAVE")), (Sizes{{"icon.sys", 1}, {"DATA", 4}})) << format.name;
        for (const auto& [dir, files] : bad) {
            // A whole 64-byte SharkPort field is needed to leave out the NUL.
            const bool fits = std::string_view(format.name) != "SaveFileSPS" || files[0].name.size() < 32;
            EXPECT_EQ(Load(*reader, format.make(dir, files, {}, {})), !fits) << format.name << " " << dir << files[0].name;
            EXPECT_EQ(reader->saves.empty(), fits) << format.name;
        }
        EXPECT_TRUE(LogSays("エラー : 不正なファイル名があるため読み込みませんでした " + std::string(format.name) + "::Load() test : ../../evil"));
        EXPECT_TRUE(LogSays("エラー : 同じ名前のファイルが複数あるため読み込みませんでした " + std::string(format.name) + "::Load() test : DATA"));
    }
}

// Counts and lengths that the bytes do not bear out, and unpacked lengths
// beyond any card, fail before anything is held for them.
TEST_F(SaveFileTradeTest, ClaimsTheBytesDoNotBearOutFail)
{
    const std::vector<File> files = {{"icon.sys", std::string(100, 'i')}, {"DATA", std::string(3000, 'd')}};
    const uint32_t beyond = uint32_t{8} << 20 | 1;
    const auto cut = [](Bytes bytes, size_t length) { return bytes.resize(length), bytes; };
    const auto sps = MakeSps("SAVE", files);
    const auto psv = MakePsv("SAVE", files);
    Bytes overlong = psv;
    overlong[0xA0 + 16] = 0xFF;  // icon.sys 255 bytes long, into the next file
    Bytes pastEnd = psv;
    pastEnd[0xA0 + 16 + 3] = 0x7F;
    const struct {
        const char* what;
        std::unique_ptr<SaveFileTrade> reader;
        Bytes bytes;
        std::string line;
    } cases[] = {
        {"max over 8 MiB", std::make_unique<SaveFileMAX>(), MakeMax("SAVE", files, {}, beyond), "展開後のサイズが大きすぎる"},
        {"max count", std::make_unique<SaveFileMAX>(), MakeMax("SAVE", files, 3), "ファイル数がデータと一致しない"},
        {"max count short", std::make_unique<SaveFileMAX>(), MakeMax("SAVE", files, 1), "ファイル数がデータと一致しない"},
        {"max huge count", std::make_unique<SaveFileMAX>(), MakeMax("SAVE", files, 0xFFFFFFFF), "ファイル数がデータと一致しない"},
        {"max cut", std::make_unique<SaveFileMAX>(), cut(MakeMax("SAVE", files), 200), "チェックサムが一致しない"},
        {"cbs over 8 MiB", std::make_unique<SaveFileCBS>(), MakeCbs("SAVE", files, {}, beyond), "展開後のサイズが大きすぎる"},
        {"cbs stream longer", std::make_unique<SaveFileCBS>(), MakeCbs("SAVE", files, {}, 1000), "展開できない"},
        {"cbs stream shorter", std::make_unique<SaveFileCBS>(), MakeCbs("SAVE", files, {}, 4000), "展開できない"},
        {"cbs entry cut", std::make_unique<SaveFileCBS>(), MakeCbs("SAVE", files, 1), "ファイルの長さがファイルの終わりを越えています"},
        {"cbs cut", std::make_unique<SaveFileCBS>(), cut(MakeCbs("SAVE", files), 0x128 + 20), "展開できない"},
        {"sps count", std::make_unique<SaveFileSPS>(), MakeSps("SAVE", files, 5), "ファイル数がデータと一致しない"},
        {"sps count short", std::make_unique<SaveFileSPS>(), MakeSps("SAVE", files, 1), "ファイル数がデータと一致しない"},
        {"sps cut", std::make_unique<SaveFileSPS>(), cut(sps, sps.size() - 1), "ファイルが途中で終わっています"},
        {"sps checksum", std::make_unique<SaveFileSPS>(), cut(sps, sps.size() - 4), "ファイルが途中で終わっています"},
        {"psv count", std::make_unique<SaveFilePSV>(), MakePsv("SAVE", files, 3), "ファイル数がデータと一致しない"},
        {"psv huge count", std::make_unique<SaveFilePSV>(), MakePsv("SAVE", files, 0x7FFFFFFF), "ファイルが途中で終わっています"},
        {"psv past end", std::make_unique<SaveFilePSV>(), pastEnd, "ファイルの長さがファイルの終わりを越えています"},
        {"psv cut", std::make_unique<SaveFilePSV>(), cut(psv, psv.size() - 1), "ファイルの長さがファイルの終わりを越えています"},
        {"ps1 psv size", std::make_unique<SaveFilePSV>(), MakePS1Psv("PS1", MakePS1Save("T"), 8000), "形式が違う"},
        {"ps1 psv 16 blocks", std::make_unique<SaveFilePSV>(), MakePS1Psv("PS1", MakePS1Save("T", 16), 16 * 8192), "形式が違う"},
        {"ps1 psv cut", std::make_unique<SaveFilePSV>(), MakePS1Psv("PS1", MakePS1Save("T"), 16384), "ファイルが途中で終わっています"},
        {"ps1 psv no save", std::make_unique<SaveFilePSV>(), MakePS1Psv("PS1", Bytes(8192, 0), 8192), "PS1セーブデータでない"},
        {"ps1 psv name", std::make_unique<SaveFilePSV>(), MakePS1Psv("../PS1", MakePS1Save("T"), 8192), "不正なファイル名"},
    };
    for (const auto& [what, reader, bytes, line] : cases) {
        EXPECT_FALSE(Load(*reader, bytes)) << what;
        EXPECT_TRUE(reader->saves.empty()) << what;
        EXPECT_TRUE(LogSays(line)) << what << ": " << line;
    }
    // Within one file, overlapping files are still whole files of it.
    SaveFilePSV psvReader;
    EXPECT_TRUE(Load(psvReader, overlong));
    // A PS1 name may fill its whole field, as on the card.
    ASSERT_TRUE(Load(psvReader, MakePS1Psv("BASLUS-00974YVES1234", MakePS1Save("T", 2), 16384)));
    EXPECT_EQ(psvReader.ps1Save->name, "BASLUS-00974YVES1234");
    EXPECT_EQ(psvReader.ps1Save->data, MakePS1Save("T", 2));
    EXPECT_FALSE(SaveFileMAX().Save(temp.path()));
    // A file larger than twice a card is refused unread (sparse: no disk space used).
    WriteBytes(temp / "huge.psv", MakePsv("SAVE", files));
    fs::resize_file(temp / "huge.psv", SaveFileTrade::kLargestFile + 1);
    EXPECT_FALSE(SaveFilePSV().Load(temp / "huge.psv"));
    EXPECT_TRUE(LogSays("エラー : ファイルが大きすぎるため読み込みませんでした SaveFilePSV::Load() " + temp / "huge.psv"));
}

// Random cuts and bit flips of every real file, checksums made to match
// again so that the walks behind them are reached: a file either reads whole
// with usable names, or fails and leaves nothing to write; what is written
// stays in the target folder.
TEST_F(SaveFileTradeTest, DamagedRealFilesWriteNothingOrStayInTheirFolder)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no samples";
    }
    std::mt19937 random(20240501);
    for (const auto& entry : fs::directory_iterator(samples + "containers")) {
        const std::string file = entry.path().filename().string();
        if (!ReaderFor(file)) {
            continue;
        }
        const Bytes original = ReadBytes(entry.path());
        for (int round = 0; round < 32; ++round) {
            Bytes bytes = original;
            if (round % 4 == 0) {
                bytes.resize(std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random));
            } else {
                for (int flips = 1 + round % 3; flips > 0; --flips) {
                    bytes[std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random)] ^= uint8_t(1 << random() % 8);
                }
                if (file.ends_with(".max")) {
                    const uint32_t crc = SaveFileMAX::Checksum(bytes);
                    std::memcpy(bytes.data() + SaveFileMAX::kChecksumOffset, &crc, sizeof crc);
                } else if (file.ends_with(".sps")) {
                    size_t payload = 0x15;  // after the three texts and the payload's length
                    for (int text = 0; text < 3; ++text) {
                        payload += 4 + original[payload];
                    }
                    payload += 4;
                    const uint32_t sum = SaveFileSPS::Checksum({bytes.data() + payload, bytes.size() - 4 - payload});
                    std::memcpy(bytes.data() + bytes.size() - 4, &sum, sizeof sum);
                }
            }
            const auto reader = ReaderFor(file);
            const bool loaded = Load(*reader, bytes);
            const auto* psv = dynamic_cast<const SaveFilePSV*>(reader.get());
            ASSERT_EQ(loaded, reader->saves.size() == 1 || (psv && psv->ps1Save)) << file << " " << round;
            const std::string target = temp / ("out" + std::to_string(round));
            fs::create_directory(target);
            if (loaded && !reader->saves.empty()) {
                SaveFileFolder folder;
                folder.saves = reader->saves;
                EXPECT_TRUE(folder.Save(target)) << file << " " << round;
                const fs::path save = target + "/" + SjisToUtf8(reader->saves.begin()->first);
                EXPECT_EQ(std::distance(fs::directory_iterator(save), {}), ptrdiff_t(reader->saves.begin()->second.size()));
            }
            EXPECT_EQ(std::distance(fs::directory_iterator(target), {}), loaded && !reader->saves.empty() ? 1 : 0) << file;
            fs::remove_all(target);
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);  // log.txt
}
