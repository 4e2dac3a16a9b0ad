#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "IconTestSupport.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"
#include "icon/IconTexture.h"
#include "icon/VertexBuffer.h"
#include "support/TestSupport.h"

namespace {

constexpr uint32_t kBlack = 0x00000000;
constexpr uint32_t kSentinel = 0x12345678;
const std::string kCreateFailed = "VertexBuffer::VertexBuffer() : バーテクスバッファの作成に失敗しました";
const std::string kLockFailed = "VertexBuffer::Lock() : バーテクスバッファのロックに失敗しました";

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class IconObjectTest : public ::testing::Test {
protected:
    std::string Log() const { return ReadText(temp / "log.txt"); }

    // Counts what reaches the pane.
    void CountPresents()
    {
        presents = std::make_shared<uint64_t>(0);
        device->SetPresentTarget([count = presents](const DeviceFrame&) { ++*count; });
    }

    std::unique_ptr<IconObjectPS2> MakePS2(const std::string& name, const std::vector<uint8_t>& model)
    {
        std::filesystem::create_directories(temp / name);
        return std::make_unique<IconObjectPS2>(WritePs2Save(temp / (name + "/"), model), device.get());
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(kPaneSize, kPaneSize);
    std::shared_ptr<uint64_t> presents;
};

TEST_F(IconObjectTest, VertexBufferKeepsFourFramesAndThenDiscards)
{
    // A model of 36 vertices: four posed copies of 36 x 36 bytes.
    const auto object = MakePS2("box", SyntheticIconModel());
    ASSERT_TRUE(object->IsReady());
    EXPECT_EQ(object->Buffer()->Capacity(), 5184u);

    VertexBuffer buffer(device.get(), 5184);
    const uint32_t offsets[6] = {0, 1296, 2592, 3888, 0, 1296};
    for (size_t lock = 0; lock < 6; ++lock) {
        ASSERT_NE(buffer.Lock(36), nullptr) << lock;
        buffer.Unlock();
        EXPECT_EQ(buffer.LockOffset(), offsets[lock]) << lock;
        EXPECT_EQ(buffer.WritePosition(), offsets[lock] + 1296) << lock;
        EXPECT_EQ(buffer.LastLockFlags(), lock == 4 ? d3d::LOCK_DISCARD : d3d::LOCK_NOOVERWRITE) << lock;
        EXPECT_EQ(buffer.TriangleCount(), 12u) << lock;
    }
    EXPECT_EQ(Occurrences(Log(), "VertexBuffer"), 0u);
}

TEST_F(IconObjectTest, VertexBufferFailuresAreLoggedAndDrawNothing)
{
    VertexBuffer none(device.get(), 0);
    EXPECT_FALSE(none.IsCreated());
    EXPECT_EQ(none.Lock(1), nullptr);
    EXPECT_EQ(Occurrences(Log(), kCreateFailed), 1u);
    EXPECT_EQ(Occurrences(Log(), kLockFailed), 1u);

    // More vertices than the whole buffer holds: the lock fails after a good
    // one, and the next draw has no triangles.
    VertexBuffer buffer(device.get(), 360);
    ASSERT_NE(buffer.Lock(6), nullptr);
    buffer.Unlock();
    EXPECT_EQ(buffer.TriangleCount(), 2u);
    EXPECT_EQ(buffer.Lock(11), nullptr);
    EXPECT_EQ(buffer.LastLockFlags(), d3d::LOCK_DISCARD);
    EXPECT_EQ(buffer.TriangleCount(), 0u);
    EXPECT_EQ(buffer.Lock(UINT32_MAX), nullptr);  // no 32-bit wrap into a small size
    EXPECT_EQ(Occurrences(Log(), kLockFailed), 3u);
    ASSERT_NE(buffer.Lock(10), nullptr);
    EXPECT_EQ(buffer.LockOffset(), 0u);
}

TEST_F(IconObjectTest, TextureShorterThanItsSizeIsFilledWithGrey)
{
    // Three texels and half of a fourth.
    const std::vector<uint8_t> texels = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11};
    const auto texture = IconTexture(device.get(), texels, 16, 16).Texture();
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->Levels().size(), 5u);  // 16, 8, 4, 2, 1
    const auto& top = texture->Levels()[0].texels;
    ASSERT_EQ(top.size(), 256u);
    EXPECT_EQ(top[0], 0xFF030201u);
    EXPECT_EQ(top[2], 0xFF090807u);
    for (size_t i = 3; i < top.size(); ++i) {
        ASSERT_EQ(top[i], 0xFF848484u) << i;
    }
    EXPECT_EQ(IconTexture(device.get(), {}, 0, 0).Texture(), nullptr);
    EXPECT_EQ(IconTexture(nullptr, texels, 16, 16).Texture(), nullptr);
}

TEST_F(IconObjectTest, PS2ObjectWithoutADrawableModelIsNeverReady)
{
    CountPresents();
    std::filesystem::create_directories(temp / "outside");
    WriteBytes(temp / "outside.ico", SyntheticIconModel());
    auto badVersion = SyntheticIconModel();
    badVersion[2] = 2;
    auto noVertices = EncodeIconModel({}, 1, {}, 1);

    std::vector<std::string> iconSysPaths;
    iconSysPaths.push_back(temp / "no-such-folder/icon.sys");
    WriteBytes(temp / "bad-sys/icon.sys", {'P', 'S', '2'});
    iconSysPaths.push_back(temp / "bad-sys/icon.sys");
    WriteBytes(temp / "missing/icon.sys", MakeIconSys("T", 0, "missing.ico"));
    iconSysPaths.push_back(temp / "missing/icon.sys");
    std::filesystem::create_directories(temp / "directory/icon.ico");
    WriteBytes(temp / "directory/icon.sys", MakeIconSys("T", 0, "icon.ico"));
    iconSysPaths.push_back(temp / "directory/icon.sys");
    // The model must lie beside icon.sys.
    WriteBytes(temp / "elsewhere/icon.sys", MakeIconSys("T", 0, "../outside.ico"));
    iconSysPaths.push_back(temp / "elsewhere/icon.sys");
    iconSysPaths.push_back(WritePs2Save(temp / "version/", badVersion));
    // No vertices: no vertex buffer can be made for it.
    iconSysPaths.push_back(WritePs2Save(temp / "empty/", noVertices));

    for (const std::string& path : iconSysPaths) {
        IconObjectPS2 object(path, device.get());
        EXPECT_FALSE(object.IsReady()) << path;
        object.Update(0);
        object.Render();
    }
    EXPECT_EQ(*presents, 0u);
    EXPECT_EQ(Occurrences(Log(), kCreateFailed), 1u);
}

TEST_F(IconObjectTest, PS2ModelTurnsOnceInTenSeconds)
{
    EXPECT_EQ(IconObjectPS2::RotationAngle(0), 0.0f);
    EXPECT_EQ(IconObjectPS2::RotationAngle(10000), 0.0f);
    EXPECT_EQ(IconObjectPS2::RotationAngle(2500), 1.5707963705062866f);  // pi / 2 as a float
    EXPECT_EQ(IconObjectPS2::RotationAngle(12500), 1.5707963705062866f);
    EXPECT_EQ(IconObjectPS2::RotationAngle(UINT32_MAX), IconObjectPS2::RotationAngle(UINT32_MAX % 10000));

    const auto object = MakePS2("box", SyntheticIconModel());
    const DeviceFrame atZero = RenderAt(*object, *device, 0);
    EXPECT_EQ(RenderAt(*object, *device, 10000).pixels, atZero.pixels);
    EXPECT_NE(RenderAt(*object, *device, 2500).pixels, atZero.pixels);
}

TEST_F(IconObjectTest, PS2StatesModulateTwiceCullClockwiseAndTestDepth)
{
    const uint16_t texel = 3 | 17 << 5 | 29 << 10;  // red 3, green 17, blue 29
    const uint32_t texelColour = 0xFF000000u | 24u << 16 | 140u << 8 | 239u;

    // A vertex colour of 0x80 shows the texture exactly as it is.
    const auto plain = MakePS2("plain", EncodeIconModel(Square(1.5f, 0, 0x80808080), 1, UniformTexture(texel), 1));
    const DeviceFrame shown = RenderAt(*plain, *device, 0);
    size_t drawn = 0;
    for (const uint32_t pixel : shown.pixels) {
        ASSERT_TRUE(pixel == kBlack || pixel == texelColour) << std::hex << pixel;
        drawn += pixel == texelColour ? 1 : 0;
    }
    EXPECT_GT(drawn, 1000u);
    EXPECT_EQ(PixelAt(shown, 66, 66), texelColour);

    // Turned away from the camera, the same square is culled; the frame is cleared first.
    const auto away =
        MakePS2("away", EncodeIconModel(Square(1.5f, 0, 0x80808080, false), 1, UniformTexture(texel), 1));
    for (const uint32_t pixel : RenderAt(*away, *device, 0).pixels) {
        ASSERT_EQ(pixel, kBlack);
    }

    // The near square is listed first: the depth test keeps it in front of the far one.
    auto squares = Square(0.5f, 1.0f, 0x80800000);
    const auto far = Square(1.5f, -1.0f, 0x80008000);
    squares.insert(squares.end(), far.begin(), far.end());
    const auto depth = MakePS2("depth", EncodeIconModel(squares, 1, UniformTexture(0x7FFF), 1));
    const DeviceFrame layered = RenderAt(*depth, *device, 0);
    EXPECT_EQ(PixelAt(layered, 66, 66), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(layered, 66, 45), 0xFF00FF00u);
}

TEST_F(IconObjectTest, PS1FramesShowFiveHundredMillisecondsEach)
{
    WriteBytes(temp / "three", MakePlainPS1Save({3, 9, 15}));
    IconObjectPS1 object(temp / "three", device.get());
    ASSERT_EQ(object.FrameCount(), 3u);
    const struct {
        uint32_t time;
        uint8_t level;
    } cases[] = {{0, 3}, {499, 3}, {500, 9}, {999, 9}, {1000, 15}, {1499, 15}, {1500, 3}, {4294967295u, 9}};
    for (const auto& c : cases) {
        device->Clear(d3d::CLEAR_TARGET, kSentinel, 1.0f, 0);
        const DeviceFrame frame = RenderAt(object, *device, c.time);
        // The quad covers every pixel of the pane.
        for (const uint32_t pixel : frame.pixels) {
            ASSERT_EQ(pixel, PlainPS1Colour(c.level)) << c.time;
        }
    }
    // The last tick before the count wraps is step 8589934 of the loop of three.
    EXPECT_EQ(object.FrameIndexAt(4294967295u), 1u);
}

TEST_F(IconObjectTest, PS1SaveWithoutFramesDrawsNothing)
{
    CountPresents();
    WriteBytes(temp / "none", MakePS1Save("NONE", 1, 0x10));
    WriteBytes(temp / "short", std::vector<uint8_t>(100, 0));
    for (const std::string name : {"none", "short", "missing"}) {
        IconObjectPS1 object(temp / name, device.get());
        EXPECT_EQ(object.FrameCount(), 0u) << name;
        object.Update(0);
        object.Render();
    }
    EXPECT_EQ(*presents, 0u);
}

}  // namespace
