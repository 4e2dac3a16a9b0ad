#include "icon/SoftwareDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <array>
#include <cstring>

#include "common/Log.h"
#include "support/TestSupport.h"

namespace {

struct TexVertex {
    float x, y, z, u, v;
};
struct ColourVertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse;
    float u, v;
};
static_assert(sizeof(TexVertex) == 20 && sizeof(ColourVertex) == 36);

constexpr uint32_t kSentinel = 0x12345678;
// The quad the PS1 icon is drawn with: a strip over the whole viewport.
constexpr TexVertex kQuad[4] = {{-1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {-1, -1, 0, 0, 1}, {1, -1, 0, 1, 1}};

std::vector<uint8_t> Bgra(const std::vector<uint32_t>& argb)
{
    std::vector<uint8_t> bytes(argb.size() * 4);
    std::memcpy(bytes.data(), argb.data(), bytes.size());  // little-endian: blue, green, red, alpha
    return bytes;
}

void PlainStates(SoftwareDevice& device)
{
    device.SetRenderState(d3d::RS_ZENABLE, 0);
    device.SetRenderState(d3d::RS_CULLMODE, d3d::CULL_NONE);
    device.SetRenderState(d3d::RS_LIGHTING, 0);
    for (uint32_t type : {d3d::SAMP_MAGFILTER, d3d::SAMP_MINFILTER, d3d::SAMP_MIPFILTER}) {
        device.SetSamplerState(0, type, d3d::TEXF_LINEAR);
    }
    device.SetSamplerState(0, d3d::SAMP_ADDRESSU, d3d::TADDRESS_CLAMP);
    device.SetSamplerState(0, d3d::SAMP_ADDRESSV, d3d::TADDRESS_CLAMP);
    device.Clear(d3d::CLEAR_TARGET | d3d::CLEAR_ZBUFFER, kSentinel, 1.0f, 0);
}

void DrawScreenTriangle(SoftwareDevice& device, std::array<float, 6> xy, uint32_t colour, float z = 0.5f)
{
    const float w = static_cast<float>(device.Width()), h = static_cast<float>(device.Height());
    ColourVertex v[3];
    for (size_t i = 0; i < 3; ++i) {
        v[i] = {2 * xy[2 * i] / w - 1, 1 - 2 * xy[2 * i + 1] / h, z, 0, 0, 0, colour, 0, 0};
    }
    device.SetTexture(0, nullptr);
    device.SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
    device.DrawPrimitiveUP(d3d::PT_TRIANGLELIST, 1, v, sizeof(ColourVertex));
}
void DrawColourQuad(SoftwareDevice& device, uint32_t colour, float z)
{
    const float w = static_cast<float>(device.Width()), h = static_cast<float>(device.Height());
    DrawScreenTriangle(device, {0, 0, w, 0, 0, h}, colour, z);
    DrawScreenTriangle(device, {w, 0, w, h, 0, h}, colour, z);
}

std::vector<bool> Written(const SoftwareDevice& device)
{
    std::vector<bool> mask;
    for (uint32_t pixel : device.BackBuffer().pixels) {
        mask.push_back(pixel != kSentinel);
    }
    return mask;
}
size_t Count(const std::vector<bool>& mask) { return static_cast<size_t>(std::count(mask.begin(), mask.end(), true)); }
uint32_t Pixel(const SoftwareDevice& device, uint32_t x, uint32_t y) { return device.BackBuffer().pixels[y * device.Width() + x]; }

}  // namespace

TEST(SoftwareDevice, FullScreenStripCoversEveryPixelOnceWithTheTextureAtTheCorners)
{
    SoftwareDevice device(4, 4);
    PlainStates(device);
    device.SetFVF(d3d::FVF_POSITION_TEX1);
    // Each triangle alone: together they cover every pixel, none twice, even where the
    // diagonal they share passes exactly through pixel centres.
    device.DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 1, &kQuad[0], sizeof(TexVertex));
    const std::vector<bool> first = Written(device);
    device.Clear(d3d::CLEAR_TARGET, kSentinel, 1.0f, 0);
    device.DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 1, &kQuad[1], sizeof(TexVertex));
    const std::vector<bool> second = Written(device);
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_NE(first[i], second[i]) << "pixel " << i;
    }
    EXPECT_EQ(Count(first), 10u);  // x + y < 4 on a 4 x 4 pane: the diagonal goes to the second

    // As the PS1 icon draws it: counter-clockwise culling keeps both triangles of the strip.
    const std::vector<uint8_t> texels = Bgra({0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    device.SetTexture(0, device.CreateTexture(2, 2, texels.data()));
    device.SetRenderState(d3d::RS_CULLMODE, d3d::CULL_CCW);
    device.SetRenderState(d3d::RS_COLORVERTEX, 0);
    device.SetTextureStageState(0, d3d::TSS_COLOROP, d3d::TOP_MODULATE);
    device.SetTextureStageState(0, d3d::TSS_COLORARG2, d3d::TA_CURRENT);
    device.DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 2, kQuad, sizeof(TexVertex));
    // Pixel centres sit on integer positions: pixel 3 samples u = 3/4, the centre of texel 1.
    EXPECT_EQ(Pixel(device, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Pixel(device, 3, 0), 0xFF00FF00u);
    EXPECT_EQ(Pixel(device, 0, 3), 0xFF0000FFu);
    EXPECT_EQ(Pixel(device, 3, 3), 0xFFFFFFFFu);
}

TEST(SoftwareDevice, CullModesDropTrianglesByTheirWindingOnScreen)
{
    const std::array<float, 6> clockwise{0, 0, 6, 0, 0, 6}, counterClockwise{0, 0, 0, 6, 6, 0};
    const struct {
        uint32_t mode;
        bool drawsClockwise, drawsCounterClockwise;
    } cases[] = {{d3d::CULL_NONE, true, true}, {d3d::CULL_CW, false, true}, {d3d::CULL_CCW, true, false}};
    for (const auto& c : cases) {
        SoftwareDevice device(8, 8);
        PlainStates(device);
        device.SetRenderState(d3d::RS_CULLMODE, c.mode);
        DrawScreenTriangle(device, clockwise, 0xFFFFFFFF);
        EXPECT_EQ(Count(Written(device)) > 0, c.drawsClockwise) << c.mode;
        device.Clear(d3d::CLEAR_TARGET, kSentinel, 1.0f, 0);
        DrawScreenTriangle(device, counterClockwise, 0xFFFFFFFF);
        EXPECT_EQ(Count(Written(device)) > 0, c.drawsCounterClockwise) << c.mode;
    }
}

TEST(SoftwareDevice, DepthTestIsLessOrEqual)
{
    SoftwareDevice device(4, 4);
    PlainStates(device);
    device.SetRenderState(d3d::RS_ZENABLE, 1);
    DrawColourQuad(device, 0xFF0000FF, 0.6f);
    DrawColourQuad(device, 0xFF00FF00, 0.3f);
    DrawColourQuad(device, 0xFFFF0000, 0.6f);
    EXPECT_EQ(Pixel(device, 1, 2), 0xFF00FF00u) << "farther drawn later loses";
    DrawColourQuad(device, 0xFFFFFFFF, 0.3f);
    EXPECT_EQ(Pixel(device, 1, 2), 0xFFFFFFFFu) << "equal depth draws again";

}

TEST(SoftwareDevice, TextureStageCombinesTextureAndDiffuse)
{
    const uint32_t texel = 0xC83C78B4;
    const struct {
        uint32_t op, arg2, diffuse, colourVertex;
        bool textured;
        uint32_t expected;
    } cases[] = {
        {d3d::TOP_MODULATE2X, d3d::TA_DIFFUSE, 0x80808080, 1, true, texel},
        {d3d::TOP_MODULATE, d3d::TA_DIFFUSE, 0x80808080, 1, true, 0xC81E3C5A},
        {d3d::TOP_MODULATE, d3d::TA_CURRENT, 0x10101010, 0, true, texel},  // no vertex colour: white
        {d3d::TOP_MODULATE2X, d3d::TA_DIFFUSE, 0x80FF0080, 1, false, 0x80FF0080},  // no texture: diffuse
    };
    const std::vector<uint8_t> bytes = Bgra({texel});
    for (const auto& c : cases) {
        SoftwareDevice device(4, 4);
        PlainStates(device);
        device.SetTextureStageState(0, d3d::TSS_COLOROP, c.op);
        device.SetTextureStageState(0, d3d::TSS_COLORARG2, c.arg2);
        device.SetRenderState(d3d::RS_COLORVERTEX, c.colourVertex);
        const ColourVertex v[4] = {{-1, 1, 0, 0, 0, 0, c.diffuse, 0, 0}, {1, 1, 0, 0, 0, 0, c.diffuse, 1, 0},
                                   {-1, -1, 0, 0, 0, 0, c.diffuse, 0, 1}, {1, -1, 0, 0, 0, 0, c.diffuse, 1, 1}};
        device.SetTexture(0, c.textured ? device.CreateTexture(1, 1, bytes.data()) : nullptr);
        device.SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
        device.DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 2, v, sizeof(ColourVertex));
        EXPECT_EQ(device.BackBuffer().pixels, std::vector<uint32_t>(16, c.expected)) << c.op << " " << c.diffuse;
    }
}

TEST(SoftwareDevice, PerspectiveAndNearPlaneClipping)
{
    // w = z, and the near plane at z = 1 (clip z = z - 1).
    Matrix projection;
    projection.m[0][0] = projection.m[1][1] = projection.m[2][2] = projection.m[2][3] = 1;
    projection.m[3][2] = -1;
    SoftwareDevice device(16, 16);
    PlainStates(device);
    device.SetTransform(d3d::TS_PROJECTION, projection);
    device.SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
    // A floor receding to the right, black at z = 2, red at z = 6: the screen's middle is a
    // quarter of the way along it, so perspective-correct colour is a quarter red, not half.
    const ColourVertex slanted[4] = {{-2, 2, 2, 0, 0, 0, 0xFF000000, 0, 0}, {6, 6, 6, 0, 0, 0, 0xFFFF0000, 0, 0},
                                     {-2, -2, 2, 0, 0, 0, 0xFF000000, 0, 0}, {6, -6, 6, 0, 0, 0, 0xFFFF0000, 0, 0}};
    device.DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 2, slanted, sizeof(ColourVertex));
    EXPECT_NEAR((Pixel(device, 8, 8) >> 16) & 0xFF, 64, 2);

    // One vertex behind the eye: only the part in front of the near plane is drawn.
    device.Clear(d3d::CLEAR_TARGET, kSentinel, 1.0f, 0);
    const ColourVertex crossing[3] = {{-1, -1, 2, 0, 0, 0, 0xFFFFFFFF, 0, 0}, {1, -1, 2, 0, 0, 0, 0xFFFFFFFF, 0, 0},
                                      {0, 1, -1, 0, 0, 0, 0xFFFFFFFF, 0, 0}};
    device.DrawPrimitiveUP(d3d::PT_TRIANGLELIST, 1, crossing, sizeof(ColourVertex));
    const std::vector<bool> drawn = Written(device);
    EXPECT_GT(Count(drawn), 0u);
    for (size_t i = 0; i < drawn.size(); ++i) {
        // The near plane cuts the triangle at screen y = 10 2/3; its base lies at y = 12.
        EXPECT_TRUE(!drawn[i] || (i / 16 >= 11 && i / 16 <= 12)) << "row " << i / 16;
    }
}

TEST(SoftwareDevice, VertexBufferDrawsFromTheStreamOffset)
{
    SoftwareDevice device(4, 4);
    PlainStates(device);
    const uint32_t block = 6 * sizeof(ColourVertex);
    auto buffer = device.CreateVertexBuffer(2 * block, d3d::USAGE_DYNAMIC, d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
    ASSERT_TRUE(buffer);
    // Block 0 left empty, block 1 a full-viewport green quad.
    auto* second = static_cast<ColourVertex*>(buffer->Lock(block, block, d3d::LOCK_NOOVERWRITE));
    ASSERT_NE(second, nullptr);
    const float corners[6][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, 1}, {1, -1}, {-1, -1}};
    for (int i = 0; i < 6; ++i) {
        second[i] = {corners[i][0], corners[i][1], 0, 0, 0, 0, 0xFF00FF00, 0, 0};
    }
    buffer->Unlock();
    device.SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
    device.SetStreamSource(0, buffer, block, sizeof(ColourVertex));
    device.DrawPrimitive(d3d::PT_TRIANGLELIST, 0, 2);
    EXPECT_EQ(Pixel(device, 3, 3), 0xFF00FF00u);
    // Vertices past the end of the buffer: nothing is drawn.
    device.Clear(d3d::CLEAR_TARGET, kSentinel, 1.0f, 0);
    device.DrawPrimitive(d3d::PT_TRIANGLELIST, 0, 3);
    EXPECT_EQ(Count(Written(device)), 0u);
    EXPECT_EQ(buffer->Lock(block + 1, block, d3d::LOCK_NOOVERWRITE), nullptr);
    EXPECT_EQ(buffer->Lock(2 * block + 1, 0, d3d::LOCK_NOOVERWRITE), nullptr);
}

TEST(SoftwareDevice, MipChainIsBoxFilteredAndMinificationSamplesIt)
{
    SoftwareDevice device(4, 4);
    const std::vector<uint8_t> four = Bgra({0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF});
    const auto strip = device.CreateTexture(4, 1, four.data());
    ASSERT_EQ(strip->Levels().size(), 3u);
    EXPECT_EQ(strip->Levels()[1].texels, (std::vector<uint32_t>{0x80800000, 0x00008080}));
    EXPECT_EQ(strip->Levels()[2].texels, (std::vector<uint32_t>{0x40404040}));
    EXPECT_FALSE(device.CreateTexture(0, 16, four.data()));

    // Columns white where x mod 4 is 0 or 3: the level-0 texels nearest each pixel's
    // sample point are white, the averages are mid grey. 16 texels over 4 pixels is level 2.
    std::vector<uint32_t> stripes(16 * 16);
    for (size_t i = 0; i < stripes.size(); ++i) {
        stripes[i] = (i % 4 == 0 || i % 4 == 3) ? 0xFFFFFFFF : 0xFF000000;
    }
    const std::vector<uint8_t> bytes = Bgra(stripes);
    PlainStates(device);
    device.SetTexture(0, device.CreateTexture(16, 16, bytes.data()));
    device.SetFVF(d3d::FVF_POSITION_TEX1);
    device.DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 2, kQuad, sizeof(TexVertex));
    for (uint32_t pixel : device.BackBuffer().pixels) {
        EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 128, 2);
    }
}

// A file of thousands of pane-filling triangles once took seconds a frame: the
// frame's work is bounded, what fits is drawn, and the excess is said once.
TEST(SoftwareDevice, AFrameOfFarTooManyTrianglesDrawsWhatFitsAndSaysSoOnce)
{
    TempDir dir;
    ScopedProgramDirectory program(dir.path());
    SoftwareDevice device(16, 16);
    for (int frame = 0; frame < 2; ++frame) {
        PlainStates(device);
        device.BeginScene();
        // Later triangles are other colours: only the first ones fit.
        for (uint32_t i = 0; i < 2000; ++i) {
            DrawColourQuad(device, i < 32 ? 0xFF00FF00 : 0xFFFF0000, 0.5f);  // 32 quads: 64 x 16 x 16 pixels
        }
        device.EndScene();
        const DeviceFrame frameDrawn = device.BackBuffer();
        EXPECT_TRUE(std::all_of(frameDrawn.pixels.begin(), frameDrawn.pixels.end(),
                                [](uint32_t pixel) { return pixel == 0xFF00FF00; }));
    }
    LogClose();
    const std::string log = ReadText(dir / "log.txt");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

// With every filter linear, pixels are shaded four at a time; other filters shade
// them one by one. A one-colour texture samples alike under any filter, so both
// ways must give the same frame for each depth, colour and combining state,
// over overlapping perspective triangles whose pixel counts leave part groups.
TEST(SoftwareDevice, PixelsShadedInFoursMatchThoseShadedOneByOne)
{
    const std::vector<uint8_t> texels = Bgra(std::vector<uint32_t>(8 * 8, 0xC0A05030));
    // x, y, w per vertex: clip z is half of w; different colours per vertex.
    const std::array<std::array<float, 3>, 9> corners = {{{-0.9f, 0.8f, 1.0f}, {0.7f, 0.9f, 2.5f}, {-0.2f, -0.95f, 1.5f},
                                                          {-0.6f, -0.3f, 3.0f}, {0.95f, -0.1f, 1.2f}, {0.1f, 0.85f, 1.1f},
                                                          {-1.0f, -1.0f, 2.0f}, {0.3f, -0.7f, 1.0f}, {0.0f, 0.2f, 4.0f}}};
    const uint32_t colours[3] = {0xFF204080, 0x80FF8010, 0x4010C0FF};
    std::array<ColourVertex, 9> triangles{};
    for (size_t i = 0; i < corners.size(); ++i) {
        const auto& [x, y, w] = corners[i];
        triangles[i] = {x * w, y * w, 0.5f * w * (1.0f + 0.1f * static_cast<float>(i)), 0, 0, 0, colours[i % 3],
                        0.5f * x + 0.5f, 0.5f - 0.5f * y};
    }
    auto draw = [&](uint32_t filter, uint32_t mipFilter, uint32_t depth, uint32_t depthWrite, uint32_t op,
                    uint32_t colourVertex) {
        SoftwareDevice device(23, 17);
        PlainStates(device);
        device.SetSamplerState(0, d3d::SAMP_MAGFILTER, filter);
        device.SetSamplerState(0, d3d::SAMP_MINFILTER, filter);
        device.SetSamplerState(0, d3d::SAMP_MIPFILTER, mipFilter);
        device.SetRenderState(d3d::RS_ZENABLE, depth);
        device.SetRenderState(d3d::RS_ZWRITEENABLE, depthWrite);
        device.SetRenderState(d3d::RS_COLORVERTEX, colourVertex);
        device.SetTextureStageState(0, d3d::TSS_COLOROP, op);
        device.SetTextureStageState(0, d3d::TSS_COLORARG2, d3d::TA_DIFFUSE);
        device.SetTexture(0, device.CreateTexture(8, 8, texels.data()));
        device.SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
        device.DrawPrimitiveUP(d3d::PT_TRIANGLELIST, 3, triangles.data(), sizeof(ColourVertex));
        return device.BackBuffer().pixels;
    };
    for (uint32_t depth : {0u, 1u}) {
        for (uint32_t depthWrite : {0u, 1u}) {
            for (uint32_t op : {d3d::TOP_SELECTARG1, d3d::TOP_MODULATE, d3d::TOP_MODULATE2X}) {
                for (uint32_t colourVertex : {0u, 1u}) {
                    const std::vector<uint32_t> inFours =
                        draw(d3d::TEXF_LINEAR, d3d::TEXF_LINEAR, depth, depthWrite, op, colourVertex);
                    const std::vector<uint32_t> oneByOne =
                        draw(d3d::TEXF_POINT, d3d::TEXF_NONE, depth, depthWrite, op, colourVertex);
                    EXPECT_GT(std::count_if(inFours.begin(), inFours.end(), [](uint32_t p) { return p != kSentinel; }),
                              100);
                    EXPECT_EQ(inFours, oneByOne) << depth << depthWrite << " " << op << " " << colourVertex;
                }
            }
        }
    }
}

// A clear to the value a buffer already had only refills where drawing went
// since: nothing drawn may survive it, in the colour or the depth buffer.
TEST(SoftwareDevice, ClearsAgainToTheSameValueLeaveNothingDrawnBehind)
{
    SoftwareDevice device(16, 16);
    PlainStates(device);
    device.SetRenderState(d3d::RS_ZENABLE, 1);
    device.SetRenderState(d3d::RS_ZWRITEENABLE, 1);
    DrawScreenTriangle(device, {2, 2, 14, 3, 5, 13}, 0xFF0000FF, 0.2f);
    DrawScreenTriangle(device, {9, 9, 15, 10, 10, 15}, 0xFF00FF00, 0.3f);
    ASSERT_GT(Count(Written(device)), 40u);
    device.Clear(d3d::CLEAR_TARGET | d3d::CLEAR_ZBUFFER, kSentinel, 1.0f, 0);
    EXPECT_EQ(Count(Written(device)), 0u);
    // The depth buffer was cleared too: a farther triangle draws where the near ones were.
    DrawColourQuad(device, 0xFFFF0000, 0.9f);
    EXPECT_EQ(Count(Written(device)), 256u);
    // Only the colour this time: the depth of the quad stays and hides what lies behind it.
    device.Clear(d3d::CLEAR_TARGET, kSentinel, 1.0f, 0);
    EXPECT_EQ(Count(Written(device)), 0u);
    DrawScreenTriangle(device, {2, 2, 14, 3, 5, 13}, 0xFF0000FF, 0.95f);
    EXPECT_EQ(Count(Written(device)), 0u);
    // Another value fills the whole buffer.
    device.Clear(d3d::CLEAR_TARGET, 0xFF101010, 1.0f, 0);
    EXPECT_EQ(device.BackBuffer().pixels, std::vector<uint32_t>(256, 0xFF101010));
}

// Fans of random triangles around a point, some reaching far past the pane: every pixel
// whose centre lies clearly inside the fan is drawn by exactly one of its triangles, none
// clearly outside is drawn, and no pixel is drawn twice where two triangles meet.
TEST(SoftwareDevice, RandomFansCoverTheirInsideOnceAndNothingElse)
{
    constexpr uint32_t kSide = 24;
    std::mt19937 random(20261206);
    std::uniform_real_distribution<float> place(-4.0f, kSide + 4.0f), reach(0.5f, 40.0f), turn(0.05f, 1.2f);
    for (int fan = 0; fan < 150; ++fan) {
        SoftwareDevice device(kSide, kSide);
        const float cx = place(random), cy = place(random);
        std::vector<std::array<float, 2>> rim;
        for (float angle = 0; angle < 6.2f; angle += turn(random)) {
            const float r = reach(random);
            rim.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle)});
        }
        std::vector<int> drawn(kSide * kSide, 0);
        for (size_t i = 0; i < rim.size(); ++i) {
            const auto& p = rim[i];
            const auto& q = rim[(i + 1) % rim.size()];
            PlainStates(device);
            DrawScreenTriangle(device, {cx, cy, p[0], p[1], q[0], q[1]}, 0xFFFFFFFF);
            const std::vector<bool> mask = Written(device);
            for (size_t k = 0; k < mask.size(); ++k) {
                drawn[k] += mask[k] ? 1 : 0;
            }
        }
        // Which side of the fan a pixel centre lies on, by its own triangle; 0 when too close to tell.
        const auto side = [&](double x, double y) {
            for (size_t i = 0; i < rim.size(); ++i) {
                const auto& p = rim[i];
                const auto& q = rim[(i + 1) % rim.size()];
                const std::array<std::array<double, 2>, 3> t{{{cx, cy}, {p[0], p[1]}, {q[0], q[1]}}};
                double lowest = 1e30;
                double sign = 0;
                for (size_t e = 0; e < 3; ++e) {
                    const auto& a = t[e];
                    const auto& b = t[(e + 1) % 3];
                    const double cross = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
                    const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
                    const double distance = length > 0 ? cross / length : 0;
                    sign = sign == 0 ? (distance > 0 ? 1 : -1) : sign;
                    lowest = std::min(lowest, distance * sign);
                }
                if (lowest > 0.05) {
                    return 1;
                }
                if (lowest > -0.05) {
                    return 0;
                }
            }
            return -1;
        };
        for (uint32_t y = 0; y < kSide; ++y) {
            for (uint32_t x = 0; x < kSide; ++x) {
                const int count = drawn[y * kSide + x];
                ASSERT_LE(count, 1) << "fan " << fan << " pixel " << x << "," << y;
                const int where = side(x, y);
                if (where != 0) {
                    ASSERT_EQ(count, where > 0 ? 1 : 0) << "fan " << fan << " pixel " << x << "," << y;
                }
            }
        }
    }
}
