#include "icon/IconModel.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::string Error(const std::string& section) { return "アイコンファイル読み込みエラー(" + section + ") "; }
const std::string kModelHeader = Error("モデルセクションヘッダ"), kPosition = Error("頂点座標");
const std::string kKeyCount = Error("アニメーションnkf"), kKeyData = Error("アニメーションデータ");
const std::string kRle = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)";

using Texel = std::array<uint8_t, 4>;
const Texel kGrey = {132, 132, 132, 255}, kWhite = {255, 255, 255, 255}, kRed = {0, 0, 255, 255};

void Put(std::vector<uint8_t>& out, std::initializer_list<int64_t> values, int size = 4)
{
    for (const int64_t value : values) {
        for (int i = 0; i < size; ++i) {
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }
}

// Vertex n at (s + 1, n, -s) in shape s, normal (1, 0, -1), uv (0.5, 0.25), colour 0x11223344.
std::vector<uint8_t> MakeModel(uint32_t shapes, uint32_t vertexCount, uint32_t textureType, uint32_t frameCount,
                               const std::vector<uint8_t>& texture = {})
{
    std::vector<uint8_t> out;
    Put(out, {0x00010000, shapes, textureType, 0x3F800000, vertexCount});
    for (int64_t n = 0; n < vertexCount; ++n) {
        for (int64_t s = 0; s < shapes; ++s) {
            Put(out, {(s + 1) * 0x1000, n * 0x1000, -s * 0x1000, 0x7777}, 2);
        }
        Put(out, {0x1000, 0, -0x1000, 0, 0x800, 0x400}, 2);
        Put(out, {0x11223344});
    }
    Put(out, {1, 30, 0x3F800000, 0, frameCount});
    for (uint32_t f = 0; f < frameCount; ++f) {
        Put(out, {f, 1, 0, 0x3F800000});
    }
    out.insert(out.end(), texture.begin(), texture.end());
    return out;
}

// A compressed texture section: the size word, then the given 16-bit words.
std::vector<uint8_t> Rle(std::initializer_list<int64_t> words)
{
    std::vector<uint8_t> out;
    Put(out, {static_cast<int64_t>(words.size() * 2)});
    Put(out, words, 2);
    return out;
}

Texel TexelAt(const IconModel& model, size_t index)
{
    Texel texel{};
    std::memcpy(texel.data(), &model.texels.at(4 * index), 4);
    return texel;
}

std::vector<IconModel::DRAW_VERTEX> Pose(const IconModel& model, uint32_t time)
{
    std::vector<IconModel::DRAW_VERTEX> out(model.vertices.size());
    model.FillVertices(time, out.data());
    return out;
}

class IconModelTest : public ::testing::Test {
protected:
    size_t Count(const std::string& line) const
    {
        const std::string log = ReadText(temp / "log.txt");
        size_t count = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) {
            ++count;
        }
        return count;
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

TEST_F(IconModelTest, ReadsAnUntexturedModel)
{
    const auto bytes = MakeModel(1, 3, 0, 1);
    WriteBytes(temp / "grey.ico", bytes);
    const IconModel model(temp / "grey.ico");
    ASSERT_TRUE(model.loaded);
    // Positions are drawn negated, normals as stored.
    const auto d = Pose(model, 0).at(2);
    EXPECT_EQ((std::array{d.x, d.y, d.nx, d.nz, d.u, d.v}), (std::array{-1.0f, -2.0f, 1.0f, -1.0f, 0.5f, 0.25f}));
    EXPECT_EQ(d.diffuse, 0x11223344u);
    ASSERT_EQ(model.texels.size(), 4u * IconModel::kTexelCount);
    for (size_t i = 0; i < IconModel::kTexelCount; ++i) {
        ASSERT_EQ(TexelAt(model, i), kGrey) << i;
    }
    EXPECT_EQ(IconModel(bytes, "memory").texels, model.texels);

    EXPECT_FALSE(IconModel(temp / "missing.ico").loaded);
    EXPECT_EQ(Count("アイコンファイルが開けませんでした " + temp / "missing.ico\n"), 1u);
}

TEST_F(IconModelTest, TextureSections)
{
    // Bit 3 alone: no texture bytes; what follows is ignored.
    EXPECT_EQ(TexelAt(IconModel(MakeModel(1, 3, 0x08, 1, {1, 2, 3}), "0x08"), 16383), kGrey);

    std::vector<uint8_t> raw(32768, 0);
    raw[0] = 0x1F, raw[32766] = 0xFF, raw[32767] = 0x7F;  // first texel red, last white
    const IconModel rawModel(MakeModel(1, 3, 0x04, 1, raw), "0x04");
    EXPECT_EQ(TexelAt(rawModel, 0), kRed);
    EXPECT_EQ(TexelAt(rawModel, 16383), kWhite);

    // Repeat, literal, a zero count (logged, skipped) and one byte of a count at the end.
    auto texture = Rle({3, 0x7FFF, -2, 0x001F, 0x7C00, 0, 1, 0x0000});
    texture.push_back(0x05);
    const IconModel model(MakeModel(1, 3, 0x0C, 1, texture), "runs");
    EXPECT_EQ(Count(kRle + "(n)) runs\n"), 1u);
    const std::vector<Texel> expected = {kWhite, kWhite, kWhite, kRed, {255, 0, 0, 255}, {0, 0, 0, 255}, kGrey};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(TexelAt(model, i), expected[i]) << i;
    }
    // Decoded short: filled up to a whole texture with grey.
    ASSERT_EQ(model.texels.size(), 4u * 16384);
    EXPECT_EQ(TexelAt(model, 16383), kGrey);

    // More than a whole texture is kept, up to four textures' worth.
    EXPECT_EQ(IconModel(MakeModel(1, 3, 0x0C, 1, Rle({16384, 0x7FFF, -1, 0x001F})), "long").texels.size(), 4u * 16385);
    const auto flood = Rle({32767, 0x7FFF, 32767, 0x7FFF, 32767, 0x7FFF});
    EXPECT_EQ(IconModel(MakeModel(1, 3, 0x0C, 1, flood), "flood").texels.size(), 4u * 4 * 16384);
}

TEST_F(IconModelTest, BrokenCompressedRunsFailWithTheirMessage)
{
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{0x10, 0x00}, kRle + "(file_size)) "},
        {Rle({2}), kRle + "(data)) "},
        {Rle({-3, 0x1F, 0x1F}), kRle + "(vec_data)) "},
        {Rle({-32768, 0x1F}), kRle + "(n=-32768)) "},  // no positive length
    };
    for (const auto& [texture, message] : cases) {
        const IconModel model(MakeModel(1, 3, 0x0C, 1, texture), "broken");
        EXPECT_FALSE(model.loaded) << message;
        EXPECT_TRUE(model.texels.empty() && model.vertices.empty());
        EXPECT_EQ(Count(message + "broken\n"), 1u) << message;
    }
    // A stream that ends exactly after a record ends normally.
    EXPECT_TRUE(IconModel(MakeModel(1, 3, 0x0C, 1, Rle({-1, 0x1F})), "exact").loaded);
}

TEST_F(IconModelTest, TexelConversion)
{
    EXPECT_EQ(IconModel::ConvertTexel(0x8000), (Texel{0, 0, 0, 255}));
    // Channel c -> byte: the rounding rows that a plain c * 255 / 31 or c << 3 gets wrong.
    const std::pair<uint16_t, uint8_t> rows[] = {{0, 0}, {1, 8}, {4, 33}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& [c, byte] : rows) {
        EXPECT_EQ(IconModel::ConvertTexel(c)[2], byte) << c;
        EXPECT_EQ(IconModel::ConvertTexel(static_cast<uint16_t>(c << 5))[1], byte) << c;
        EXPECT_EQ(IconModel::ConvertTexel(static_cast<uint16_t>(c << 10))[0], byte) << c;
    }
}

TEST_F(IconModelTest, BrokenFileLogsItsSectionOnce)
{
    // Two shapes: a vertex record is 32 bytes (positions 16, normal 8, uv 4, colour 4).
    const auto whole = MakeModel(2, 3, 0x04, 2, std::vector<uint8_t>(32768, 0));
    const size_t animation = 20 + 3 * 32, frames = animation + 20;
    auto wrongVersion = whole;
    wrongVersion[0] = 0x01;
    // Counts the file cannot hold, near 2^32, fail before anything is allocated for them.
    std::vector<uint8_t> vertices;
    Put(vertices, {0x00010000, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0});
    auto frameCount = MakeModel(1, 3, 0, 0);
    std::fill_n(frameCount.begin() + 20 + 72 + 16, 4, 0xFF);
    frameCount.resize(frameCount.size() + 12, 0);
    auto keyCount = MakeModel(1, 3, 0, 1);
    std::fill_n(keyCount.begin() + 20 + 72 + 20 + 4, 4, 0xFF);
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{}, Error("バージョンナンバー")},
        {wrongVersion, Error("バージョンナンバー")},
        {vertices, kPosition},
        {frameCount, kKeyCount},
        {keyCount, kKeyData},
        {MakeModel(0, 3, 0, 1), kModelHeader},  // vertices with no shape have nowhere to be
    };
    std::vector<std::pair<std::vector<uint8_t>, std::string>> all(std::begin(cases), std::end(cases));
    const std::pair<size_t, std::string> cuts[] = {
        {10, kModelHeader}, {35, kPosition}, {43, Error("垂直方向")}, {47, Error("テクスチャ座標")},
        {20 + 64 + 31, Error("頂点色")}, {animation + 19, Error("アニメーションセクションヘッダ")},
        {frames + 3, Error("アニメーションsnosk")}, {frames + 23, kKeyCount}, {frames + 31, kKeyData},
        {whole.size() - 1, Error("テクスチャデータ(raw)")}};
    for (const auto& [length, message] : cuts) {
        all.push_back({{whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)}, message});
    }
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string name = "case" + std::to_string(i);
        EXPECT_FALSE(IconModel(all[i].first, name).loaded) << name;
        EXPECT_EQ(Count(all[i].second + name + "\n"), 1u) << name;
        EXPECT_EQ(Count(name + "\n"), 1u) << name;
    }
    EXPECT_TRUE(IconModel(whole, "whole").loaded);
}

TEST_F(IconModelTest, AnimationRunsOnceASecond)
{
    const IconModel model(MakeModel(4, 6, 0, 4), "four");
    auto SamePose = [&](uint32_t a, uint32_t b) {
        return std::memcmp(Pose(model, a).data(), Pose(model, b).data(), 6 * sizeof(IconModel::DRAW_VERTEX)) == 0;
    };
    EXPECT_TRUE(SamePose(0, 1000));
    EXPECT_FALSE(SamePose(0, 500));
    // Shape s sits at x = s + 1, drawn negated.
    EXPECT_EQ(Pose(model, 125)[5].x, -1.5f);  // halfway from shape 0 to 1
    EXPECT_EQ(Pose(model, 875)[5].x, -2.5f);  // halfway from shape 3 back to 0
    EXPECT_EQ(Pose(model, 875)[5].z, 1.5f);
    EXPECT_TRUE(SamePose(4294967295u, 295));
    for (const uint32_t frameCount : {0u, 1u}) {
        EXPECT_EQ(Pose(IconModel(MakeModel(4, 6, 0, frameCount), "still"), 250)[5].x, -1.0f) << frameCount;
    }

    // More frames than shapes: frames past the last shape show the last shape.
    const IconModel five(MakeModel(2, 3, 0, 5), "frames>shapes");
    EXPECT_EQ(Pose(five, 500)[0].x, -2.0f);
    EXPECT_EQ(Pose(five, 900)[0].x, -1.5f);  // from the last shape back to shape 0
    for (uint32_t time = 0; time < 1000; time += 7) {
        Pose(five, time);
    }
    EXPECT_TRUE(Pose(IconModel(MakeModel(0, 0, 0, 2), "empty"), 100).empty());
}

}  // namespace
