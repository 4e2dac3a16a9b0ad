#include "icon/IconModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::string Error(const std::string& section) { return "アイコンファイル読み込みエラー(" + section + ") "; }
const std::string kVersion = Error("バージョンナンバー");
const std::string kModelHeader = Error("モデルセクションヘッダ");
const std::string kPosition = Error("頂点座標");
const std::string kKeyCount = Error("アニメーションnkf");
const std::string kKeyData = Error("アニメーションデータ");
const std::string kRle = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)";

using Texel = std::array<uint8_t, 4>;
const Texel kGrey = {132, 132, 132, 255};
const Texel kWhite = {255, 255, 255, 255};
const Texel kRed = {0, 0, 255, 255};
const Texel kBlue = {255, 0, 0, 255};

class Bytes {
public:
    Bytes& U32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
        return *this;
    }
    Bytes& S16(int32_t value)
    {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
        return *this;
    }
    std::vector<uint8_t> bytes;
};

// A model whose vertex n sits, in shape s, at (s + 1, n, -s) units; each
// vertex has the normal (1, 0, -1), the texture coordinate (0.5, 0.25) and
// the colour 0x11223344. Then F frames of one key each, then the texture bytes.
std::vector<uint8_t> MakeModel(uint32_t shapes, uint32_t vertexCount, uint32_t textureType, uint32_t frameCount,
                               const std::vector<uint8_t>& texture = {})
{
    Bytes out;
    out.U32(0x00010000).U32(shapes).U32(textureType).U32(0x3F800000).U32(vertexCount);
    for (uint32_t n = 0; n < vertexCount; ++n) {
        for (uint32_t s = 0; s < shapes; ++s) {
            out.S16(static_cast<int32_t>(s + 1) * 0x1000).S16(static_cast<int32_t>(n) * 0x1000);
            out.S16(-static_cast<int32_t>(s) * 0x1000).S16(0x7777);
        }
        out.S16(0x1000).S16(0).S16(-0x1000).S16(0).S16(0x800).S16(0x400).U32(0x11223344);
    }
    out.U32(1).U32(30).U32(0x3F800000).U32(0).U32(frameCount);
    for (uint32_t f = 0; f < frameCount; ++f) {
        out.U32(f).U32(1).U32(0).U32(0x3F800000);
    }
    out.bytes.insert(out.bytes.end(), texture.begin(), texture.end());
    return out.bytes;
}

// A compressed texture section: the size word, then the given 16-bit words.
std::vector<uint8_t> Rle(const std::vector<int32_t>& words)
{
    Bytes out;
    out.U32(static_cast<uint32_t>(words.size() * 2));
    for (const int32_t word : words) {
        out.S16(word);
    }
    return out.bytes;
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

bool SamePose(const std::vector<IconModel::DRAW_VERTEX>& a, const std::vector<IconModel::DRAW_VERTEX>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}

class IconModelTest : public ::testing::Test {
protected:
    std::string Log() const { return ReadText(temp / "log.txt"); }
    size_t Count(const std::string& text) const
    {
        const std::string log = Log();
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++count;
        }
        return count;
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

TEST_F(IconModelTest, VersionWordMustMatch)
{
    auto wrongVersion = MakeModel(1, 3, 0, 1);
    wrongVersion[0] = 0x01;  // 0x00010001
    WriteBytes(temp / "wrong.ico", wrongVersion);
    WriteBytes(temp / "short.ico", {0x00, 0x00, 0x01});
    WriteBytes(temp / "empty.ico", {});
    for (const std::string name : {"wrong.ico", "short.ico", "empty.ico"}) {
        const IconModel model(temp / name);
        EXPECT_FALSE(model.loaded) << name;
        EXPECT_EQ(Count(kVersion + temp / name + "\n"), 1u) << name;
    }
    const IconModel missing(temp / "missing.ico");
    EXPECT_FALSE(missing.loaded);
    EXPECT_EQ(Count("アイコンファイルが開けませんでした " + temp / "missing.ico\n"), 1u);
}

TEST_F(IconModelTest, ReadsAnUntexturedModel)
{
    const auto bytes = MakeModel(1, 3, 0, 1);
    ASSERT_EQ(bytes.size(), 20u + 3 * 24 + 20 + 16);
    WriteBytes(temp / "grey.ico", bytes);
    const IconModel model(temp / "grey.ico");
    ASSERT_TRUE(model.loaded);
    EXPECT_EQ(model.shapeCount, 1u);
    EXPECT_EQ(model.textureType, 0u);
    EXPECT_EQ(model.thirdHeaderWord, 0x3F800000u);  // a float in real files, kept as read
    EXPECT_EQ(model.vertexCount, 3u);
    EXPECT_EQ((model.animationHeader), (std::array<uint32_t, 5>{1, 30, 0x3F800000, 0, 1}));
    ASSERT_EQ(model.frames.size(), 1u);
    EXPECT_EQ(model.frames[0].keyCount, 1u);
    EXPECT_EQ(model.frames[0].keyData, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x80, 0x3F}));

    ASSERT_EQ(model.vertices.size(), 3u);
    const auto& vertex = model.vertices[2];
    ASSERT_EQ(vertex.positions.size(), 1u);
    EXPECT_EQ(vertex.positions[0].x, 1.0f);
    EXPECT_EQ(vertex.positions[0].y, 2.0f);
    EXPECT_EQ(vertex.u, 0.5f);
    EXPECT_EQ(vertex.v, 0.25f);
    EXPECT_EQ(vertex.colour, 0x11223344u);

    // Positions are drawn negated, normals as stored.
    const auto drawn = Pose(model, 0)[2];
    EXPECT_EQ(drawn.x, -1.0f);
    EXPECT_EQ(drawn.y, -2.0f);
    EXPECT_EQ(drawn.nx, 1.0f);
    EXPECT_EQ(drawn.nz, -1.0f);
    EXPECT_EQ(drawn.diffuse, 0x11223344u);
    EXPECT_EQ(drawn.u, 0.5f);

    ASSERT_EQ(model.texels.size(), 4u * IconModel::kTexelCount);
    for (size_t i = 0; i < IconModel::kTexelCount; ++i) {
        ASSERT_EQ(TexelAt(model, i), kGrey) << i;
    }
    EXPECT_EQ(IconModel(bytes, "memory").texels, model.texels);
}

TEST_F(IconModelTest, TextureTypeBitsChooseTheTextureSection)
{
    // Bit 3 alone: no texture bytes; what follows is ignored.
    const IconModel onlyCompressedBit(MakeModel(1, 3, 0x08, 1, {1, 2, 3}), "0x08");
    ASSERT_TRUE(onlyCompressedBit.loaded);
    EXPECT_EQ(TexelAt(onlyCompressedBit, 16383), kGrey);

    std::vector<uint8_t> raw(32768, 0);
    raw[0] = 0x1F;  // first texel red
    raw[32766] = 0xFF;
    raw[32767] = 0x7F;  // last texel white
    const IconModel rawModel(MakeModel(1, 3, 0x04, 1, raw), "0x04");
    ASSERT_TRUE(rawModel.loaded);
    EXPECT_EQ(rawModel.texels.size(), 4u * 16384);
    EXPECT_EQ(TexelAt(rawModel, 0), kRed);
    EXPECT_EQ(TexelAt(rawModel, 16383), kWhite);

    raw.pop_back();
    EXPECT_FALSE(IconModel(MakeModel(1, 3, 0x04, 1, raw), "shortraw").loaded);
    EXPECT_EQ(Count(Error("テクスチャデータ(raw)") + "shortraw\n"), 1u);

    const IconModel compressed(MakeModel(1, 3, 0x0C, 1, Rle({16384, 0x7FFF})), "0x0C");
    ASSERT_TRUE(compressed.loaded);
    EXPECT_EQ(TexelAt(compressed, 16383), kWhite);
}

TEST_F(IconModelTest, CompressedRuns)
{
    // Repeat, literal, a zero count (logged, skipped) and one byte of a count at the end.
    auto texture = Rle({3, 0x7FFF, -2, 0x001F, 0x7C00, 0, 1, 0x0000});
    texture.push_back(0x05);
    const IconModel model(MakeModel(1, 3, 0x0C, 1, texture), "runs");
    ASSERT_TRUE(model.loaded);
    EXPECT_EQ(Count(kRle + "(n)) runs\n"), 1u);
    const std::vector<Texel> expected = {kWhite, kWhite, kWhite, kRed, kBlue, {0, 0, 0, 255}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(TexelAt(model, i), expected[i]) << i;
    }
    // Decoded short: filled up to a whole texture with grey.
    ASSERT_EQ(model.texels.size(), 4u * 16384);
    EXPECT_EQ(TexelAt(model, 6), kGrey);
    EXPECT_EQ(TexelAt(model, 16383), kGrey);

    // More than a whole texture is kept, up to four textures' worth.
    const IconModel longer(MakeModel(1, 3, 0x0C, 1, Rle({16384, 0x7FFF, -1, 0x001F})), "longer");
    ASSERT_TRUE(longer.loaded);
    EXPECT_EQ(longer.texels.size(), 4u * 16385);
    EXPECT_EQ(TexelAt(longer, 16384), kRed);
    std::vector<int32_t> manyRuns;
    for (int i = 0; i < 100; ++i) {
        manyRuns.insert(manyRuns.end(), {32767, 0x7FFF});
    }
    const IconModel flood(MakeModel(1, 3, 0x0C, 1, Rle(manyRuns)), "flood");
    ASSERT_TRUE(flood.loaded);
    EXPECT_EQ(flood.texels.size(), 4u * 4 * 16384);
}

TEST_F(IconModelTest, BrokenCompressedRunsFailWithTheirMessage)
{
    const struct {
        std::vector<uint8_t> texture;
        std::string message;
    } cases[] = {
        {{0x10, 0x00}, kRle + "(file_size)) "},
        {Rle({2}), kRle + "(data)) "},
        {Rle({-3, 0x1F, 0x1F}), kRle + "(vec_data)) "},
        // -32768 has no positive length.
        {Rle({-32768, 0x1F}), kRle + "(n=-32768)) "},
    };
    for (const auto& broken : cases) {
        const IconModel model(MakeModel(1, 3, 0x0C, 1, broken.texture), "broken");
        EXPECT_FALSE(model.loaded) << broken.message;
        EXPECT_TRUE(model.texels.empty() && model.vertices.empty());
        EXPECT_EQ(Count(broken.message + "broken\n"), 1u) << broken.message;
    }
    // A stream that ends exactly after a record ends normally.
    EXPECT_TRUE(IconModel(MakeModel(1, 3, 0x0C, 1, Rle({-1, 0x1F})), "exact").loaded);
}

TEST_F(IconModelTest, TexelConversion)
{
    EXPECT_EQ(IconModel::ConvertTexel(0x001F), kRed);
    EXPECT_EQ(IconModel::ConvertTexel(0x8000), (Texel{0, 0, 0, 255}));
    EXPECT_EQ(IconModel::ConvertTexel(0x7FFF), kWhite);
    EXPECT_EQ(IconModel::ConvertTexel(0x4210), kGrey);
    // Red channel c -> byte: the rounding rows that a plain c * 255 / 31 or c << 3 gets wrong.
    const std::pair<uint16_t, uint8_t> rows[] = {{0, 0}, {1, 8}, {4, 33}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& [c, byte] : rows) {
        EXPECT_EQ(IconModel::ConvertTexel(c)[2], byte) << c;
        EXPECT_EQ(IconModel::ConvertTexel(static_cast<uint16_t>(c << 5))[1], byte) << c;
        EXPECT_EQ(IconModel::ConvertTexel(static_cast<uint16_t>(c << 10))[0], byte) << c;
    }
}

TEST_F(IconModelTest, TruncatedFileLogsItsSectionOnce)
{
    // S = 2: a vertex record is 32 bytes (positions 16, normal 8, uv 4, colour 4).
    const auto whole = MakeModel(2, 3, 0x04, 2, std::vector<uint8_t>(32768, 0));
    const size_t animation = 20 + 3 * 32;
    const size_t frames = animation + 20;
    const std::pair<size_t, std::string> cuts[] = {
        {2, kVersion},
        {10, kModelHeader},
        {20 + 15, kPosition},
        {20 + 16 + 7, Error("垂直方向")},
        {20 + 24 + 3, Error("テクスチャ座標")},
        {20 + 2 * 32 + 28 + 3, Error("頂点色")},
        {animation + 19, Error("アニメーションセクションヘッダ")},
        {frames + 3, Error("アニメーションsnosk")},
        {frames + 16 + 7, kKeyCount},
        {frames + 16 + 8 + 7, kKeyData},
        {frames + 32 + 32767, Error("テクスチャデータ(raw)")},
    };
    for (const auto& [length, message] : cuts) {
        const std::string name = "cut" + std::to_string(length);
        const IconModel model(std::span<const uint8_t>(whole).first(length), name);
        EXPECT_FALSE(model.loaded) << name;
        EXPECT_EQ(Count(message + name + "\n"), 1u) << name;
        EXPECT_EQ(Count(name + "\n"), 1u) << name;
    }
    EXPECT_TRUE(IconModel(whole, "whole").loaded);
}

TEST_F(IconModelTest, CountsTheFileCannotHoldFailBeforeAllocating)
{
    // Vertex records: V x (8 S + 16) exceeds the file (and 32 bits).
    Bytes vertices;
    vertices.U32(0x00010000).U32(0xFFFFFFFF).U32(0).U32(0).U32(0xFFFFFFFF).U32(0);
    EXPECT_FALSE(IconModel(vertices.bytes, "vertices").loaded);
    EXPECT_EQ(Count(kPosition + "vertices\n"), 1u);

    // Frame count and key count near 2^32.
    auto frames = MakeModel(1, 3, 0, 0);
    std::fill_n(frames.begin() + 20 + 72 + 16, 4, 0xFF);
    frames.resize(frames.size() + 12, 0);
    EXPECT_FALSE(IconModel(frames, "frames").loaded);
    EXPECT_EQ(Count(kKeyCount + "frames\n"), 1u);

    auto keys = MakeModel(1, 3, 0, 1);
    std::fill_n(keys.begin() + 20 + 72 + 20 + 4, 4, 0xFF);
    EXPECT_FALSE(IconModel(keys, "keys").loaded);
    EXPECT_EQ(Count(kKeyData + "keys\n"), 1u);
}

TEST_F(IconModelTest, AnimationRunsOnceASecond)
{
    const IconModel model(MakeModel(4, 6, 0, 4), "four");
    ASSERT_TRUE(model.loaded);
    EXPECT_TRUE(SamePose(Pose(model, 0), Pose(model, 1000)));
    EXPECT_TRUE(SamePose(Pose(model, 500), Pose(model, 1500)));
    EXPECT_FALSE(SamePose(Pose(model, 0), Pose(model, 500)));
    // Shape s sits at x = s + 1, drawn negated.
    EXPECT_EQ(Pose(model, 0)[5].x, -1.0f);
    EXPECT_EQ(Pose(model, 125)[5].x, -1.5f);  // halfway from shape 0 to 1
    EXPECT_EQ(Pose(model, 875)[5].x, -2.5f);  // halfway from shape 3 back to 0
    EXPECT_EQ(Pose(model, 875)[5].z, 1.5f);
    EXPECT_TRUE(SamePose(Pose(model, 4294967295u), Pose(model, 295)));

    for (const uint32_t frameCount : {0u, 1u}) {
        const IconModel still(MakeModel(4, 6, 0, frameCount), "still");
        for (const uint32_t time : {0u, 250u, 999u}) {
            EXPECT_EQ(Pose(still, time)[5].x, -1.0f) << frameCount << " " << time;
        }
    }
}

TEST_F(IconModelTest, MoreFramesThanShapesShowTheLastShape)
{
    const IconModel model(MakeModel(2, 3, 0, 5), "frames>shapes");
    ASSERT_TRUE(model.loaded);
    EXPECT_EQ(Pose(model, 0)[0].x, -1.0f);
    EXPECT_EQ(Pose(model, 500)[0].x, -2.0f);  // frames 2 and 3: both past the last shape
    EXPECT_EQ(Pose(model, 900)[0].x, -1.5f);  // from the last shape back to shape 0
    for (uint32_t time = 0; time < 1000; time += 7) {
        Pose(model, time);
    }

    // Vertices with no shape at all have nowhere to be: refused.
    EXPECT_FALSE(IconModel(MakeModel(0, 3, 0, 1), "noshape").loaded);
    EXPECT_EQ(Count(kModelHeader + "noshape\n"), 1u);
    const IconModel empty(MakeModel(0, 0, 0, 2), "empty");
    EXPECT_TRUE(empty.loaded);
    EXPECT_TRUE(Pose(empty, 100).empty());
}

TEST_F(IconModelTest, EveryRealIconLoads)
{
    namespace fs = std::filesystem;
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    std::vector<fs::path> icons;
    for (const auto& entry : fs::directory_iterator(samples + "ps2-icons")) {
        icons.push_back(entry.path());
    }
    // Inside save folders an icon is known by its version word, not its name.
    for (const auto& save : fs::directory_iterator(samples + "ps2-saves")) {
        for (const auto& entry : fs::directory_iterator(save.path())) {
            if (!entry.is_regular_file()) {
                continue;
            }
            const auto head = ReadBytes(entry.path().string());
            if (head.size() >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0) {
                icons.push_back(entry.path());
            }
        }
    }
    ASSERT_GE(icons.size(), 36u);
    for (const auto& path : icons) {
        const IconModel model(path.string());
        ASSERT_TRUE(model.loaded) << path;
        EXPECT_GE(model.texels.size(), 4u * IconModel::kTexelCount) << path;
        EXPECT_EQ(model.vertices.size(), model.vertexCount) << path;
        EXPECT_EQ(Pose(model, 333).size(), model.vertexCount);
    }
    EXPECT_FALSE(IconModel(samples + "ps2-saves/BESLES-53702DATA01/dummy.ico").loaded);
}

}  // namespace
