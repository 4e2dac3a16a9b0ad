#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "TestSupport.h"
#include "card/CardImageFile.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardPs2Image.h"
#include "card/Ps2CardEcc.h"
#include "card/Ps2CardImage.h"
#include "common/DriveType.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kNow = 1700000000;

std::vector<std::string> Names(const std::vector<Ps2CardImage::Entry>& entries)
{
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

// Where a byte of an absolute cluster lies in a standard 8 MB card with ECC (528-byte pages).
size_t AbsoluteOffset(uint32_t cluster, uint32_t offset) { return (size_t{cluster} * 2 + offset / 512) * 528 + offset % 512; }
// Relative clusters start at alloc_offset 41.
size_t ClusterOffset(uint32_t relative, uint32_t offset = 0) { return AbsoluteOffset(relative + 41, offset); }
// FAT entry n: FAT clusters 9 to 40, 256 entries each.
size_t FatOffset(uint32_t relative) { return AbsoluteOffset(9 + relative / 256, relative % 256 * 4); }


TEST(Ps2CardEccTest, CodesMatchValuesWorkedByHand)
{
    // Byte 5 = 0x80, all else 0. Column parity: the XOR of the chunk is 0x80,
    // bit 7 = 0b111, so odd_0 = odd_1 = odd_2 = 1, every even_k = 0:
    // (1<<4 | 1<<5 | 1<<6) ^ 0x77 = 0x70 ^ 0x77 = 0x07. Line parity: only
    // byte 5 (0b0000101) has odd parity; LO = 0b0000101 = 0x05 and LE (the
    // bits where 5 has a 0) = 0b1111010 = 0x7A; stored inverted: 0x7A ^ 0x7F
    // = 0x05 and 0x05 ^ 0x7F = 0x7A.
    std::array<uint8_t, 128> chunk{};
    chunk[5] = 0x80;
    EXPECT_EQ(Ps2CardEcc::OfChunk(chunk), (Ps2CardEcc::Code{0x07, 0x05, 0x7A}));
    // All zero: no parity anywhere, so each byte is its inversion mask alone.
    std::array<uint8_t, 512> page{};
    std::array<uint8_t, 16> spare{};
    Ps2CardEcc::FillSpare(page, spare);
    const std::array<uint8_t, 16> zeroSpare = {0x77, 0x7F, 0x7F, 0x77, 0x7F, 0x7F, 0x77, 0x7F, 0x7F, 0x77, 0x7F, 0x7F, 0, 0, 0, 0};
    EXPECT_EQ(spare, zeroSpare);
}

TEST(Ps2CardEccTest, EverySingleFlipIsToldForWhatItIs)
{
    std::mt19937 random(7);
    std::array<uint8_t, 128> chunk{};
    for (int round = 0; round < 20; ++round) {
        for (auto& byte : chunk) {
            byte = static_cast<uint8_t>(random());
        }
        const Ps2CardEcc::Code code = Ps2CardEcc::OfChunk(chunk);
        for (size_t bit = 0; bit < 128 * 8; ++bit) {
            chunk[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            ASSERT_EQ(Ps2CardEcc::CheckChunk(chunk, code), Ps2CardEcc::Verdict::DataBit) << bit;
            chunk[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        }
        // The 20 bits the code uses (the two top bits of byte 0's nibbles and bit 7 of bytes 1 and 2 are always 0).
        for (const auto& [index, mask] : {std::pair{0, 0x01}, {0, 0x40}, {1, 0x01}, {2, 0x40}}) {
            Ps2CardEcc::Code damaged = code;
            damaged[static_cast<size_t>(index)] ^= static_cast<uint8_t>(mask);
            EXPECT_EQ(Ps2CardEcc::CheckChunk(chunk, damaged), Ps2CardEcc::Verdict::CodeBit);
        }
        EXPECT_EQ(Ps2CardEcc::CheckChunk(chunk, code), Ps2CardEcc::Verdict::Good);
    }
}

TEST(Ps2CardImageTest, FormatsTheConsolesLayoutAtEverySize)
{
    const std::vector<uint8_t> card = Ps2CardImage::Format(8, true, kNow);
    ASSERT_EQ(card.size(), 8650752u);
    // The superblock as read back from a real formatted card (0x20-0x52).
    const std::vector<uint8_t> expected = {0x30, 0x2e, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x10, 0x00, 0x00, 0xff,
                                           0x00, 0x20, 0x00, 0x00, 0x29, 0x00, 0x00, 0x00, 0xc7, 0x1f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xff, 0x03, 0x00, 0x00, 0xfe, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0x08, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(card.begin() + 0x20, card.begin() + 0x54), expected);
    EXPECT_EQ(card[0x150], 2);
    EXPECT_EQ(card[0x151], 0x2B);
    // The superblock's first chunk has the code the notes' reference script gives.
    EXPECT_EQ(std::vector<uint8_t>(card.begin() + 512, card.begin() + 515), (std::vector<uint8_t>{0x07, 0x34, 0x4B}));
    // FAT: the root is cluster 0 alone, the rest free up to alloc_end.
    uint32_t fat0 = 0, fat1 = 0, fatEnd = 0;
    std::memcpy(&fat0, card.data() + FatOffset(0), 4);
    std::memcpy(&fat1, card.data() + FatOffset(1), 4);
    std::memcpy(&fatEnd, card.data() + FatOffset(8135), 4);
    EXPECT_EQ(fat0, 0xFFFFFFFFu);
    EXPECT_EQ(fat1, 0x7FFFFFFFu);
    EXPECT_EQ(fatEnd, 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<uint8_t>(card.begin() + ClusterOffset(0), card.begin() + ClusterOffset(0) + 8),
              (std::vector<uint8_t>{0x27, 0x84, 0, 0, 2, 0, 0, 0}));

    for (const auto& [megabytes, free] : {std::pair{8u, 7998u}, {16u, 15998u}, {64u, 64998u}}) {
        for (const bool ecc : {true, false}) {
            const Ps2CardImage image(Ps2CardImage::Format(megabytes, ecc, kNow));
            ASSERT_TRUE(image.Valid()) << image.Refusal();
            EXPECT_EQ(image.Bytes().size(), (uint64_t{megabytes} << 20) / 512 * (ecc ? 528 : 512));
            EXPECT_EQ(image.Check(), std::vector<std::string>());
            // What the console reports free: the allocatable area cut to a
            // whole thousand less one, less the root's cluster.
            EXPECT_EQ(image.FreeClusters(), free) << megabytes;
        }
    }
    EXPECT_TRUE(Ps2CardImage::Format(12, true, kNow).empty());
}

TEST(Ps2CardImageTest, TimesAreJapanTimeOnTheCard)
{
    // Read back from a real card: 2012-08-04 20:31:40 JST = 11:31:40 UTC.
    const Ps2Card::Time time{0, 40, 0x1F, 0x14, 4, 8, 2012};
    EXPECT_EQ(Ps2CardImage::ToUnixTime(time), 1344079900);
    const Ps2Card::Time back = Ps2CardImage::FromUnixTime(1344079900);
    EXPECT_EQ(std::memcmp(&back, &time, sizeof time), 0);
    EXPECT_EQ(Ps2CardImage::ToUnixTime(Ps2Card::Time{0, 0, 0, 0, 0, 13, 2000}), 0);  // no date
}

// A model of what the card should hold, checked against the image after
// every step of random creations, replacements and deletions.
TEST(Ps2CardImageTest, RandomChangesKeepTheImageSoundAndTrue)
{
    std::mt19937 random(2024);
    Ps2CardImage card(Ps2CardImage::Format(8, true, kNow));
    std::map<std::string, std::map<std::string, std::vector<uint8_t>>> model;
    const uint32_t freeAtStart = card.FreeClusters();
    std::string why;
    for (int step = 0; step < 400; ++step) {
        const std::string save = "SAVE" + std::to_string(random() % 12);
        const std::string file = "f" + std::to_string(random() % 5);
        switch (random() % 6) {
        case 0:
            EXPECT_EQ(card.MakeDirectory(save, kNow + step, why), model.count(save) == 0) << why;
            model[save];
            break;
        case 1:
            if (model.count(save) != 0 && model[save].empty()) {
                ASSERT_TRUE(card.RemoveDirectory(save, kNow, why)) << why;
                model.erase(save);
            } else {
                EXPECT_FALSE(card.RemoveDirectory(save, kNow, why));
            }
            break;
        case 2:
            EXPECT_EQ(card.RemoveFile(save, file, kNow, why), model.count(save) != 0 && model[save].erase(file) != 0);
            break;
        default: {
            // Sizes around cluster boundaries, empty files and several clusters.
            const size_t size = std::vector<size_t>{0, 1, 1023, 1024, 1025, 5000, 40000}[random() % 7];
            std::vector<uint8_t> data(size);
            for (auto& byte : data) {
                byte = static_cast<uint8_t>(random());
            }
            const bool there = model.count(save) != 0;
            ASSERT_EQ(card.WriteFile(save, file, data, kNow - 100, kNow - 50, kNow, why), there) << why;
            if (there) {
                model[save][file] = data;
            }
        }
        }
        std::vector<std::string> damage;
        const auto root = card.List("", damage);
        ASSERT_TRUE(root && damage.empty());
        ASSERT_EQ(root->size(), model.size());
        uint32_t used = 1;
        for (const auto& [name, files] : model) {
            const auto listed = card.List(name, damage);
            ASSERT_TRUE(listed);
            auto names = Names(*listed);
            std::sort(names.begin(), names.end());
            std::vector<std::string> expected;
            used += 1;
            for (const auto& [fileName, data] : files) {
                expected.push_back(fileName);
                const auto read = card.ReadFile(name, fileName, why);
                ASSERT_TRUE(read) << why;
                ASSERT_EQ(*read, data);
                used += static_cast<uint32_t>((data.size() + 1023) / 1024);
            }
            ASSERT_EQ(names, expected);
        }
        // No cluster leaks, none is shared and every page's ECC is right,
        // whatever the order of changes.
        ASSERT_LE(card.FreeClusters() + used, freeAtStart + 1);
        if (step % 25 == 24) {
            ASSERT_EQ(card.Check(), std::vector<std::string>()) << step;
        }
    }
}

}  // namespace
