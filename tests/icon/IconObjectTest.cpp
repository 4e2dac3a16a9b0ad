#include <gtest/gtest.h>

#include <filesystem>
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

const std::string kCreateFailed = "VertexBuffer::VertexBuffer() : バーテクスバッファの作成に失敗しました";
const std::string kLockFailed = "VertexBuffer::Lock() : バーテクスバッファのロックに失敗しました";

class IconObjectTest : public ::testing::Test {
protected:
    size_t LogCount(const std::string& part) const
    {
        const std::string text = ReadText(temp / "log.txt");
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++count;
        }
        return count;
    }
    std::unique_ptr<IconObjectPS2> MakePS2(const std::string& name, const std::vector<uint8_t>& model)
    {
        std::filesystem::create_directories(temp / name);
        return std::make_unique<IconObjectPS2>(WritePs2Save(temp / (name + "/"), model), device.get());
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(kPaneSize, kPaneSize);
};

TEST_F(IconObjectTest, VertexBufferKeepsFourFramesThenDiscardsAndLogsFailures)
{
    // 36 vertices: four posed copies of 36 x 36 bytes.
    ASSERT_EQ(MakePS2("box", SyntheticIconModel())->Buffer()->Capacity(), 5184u);
    VertexBuffer buffer(device.get(), 5184);
    const uint32_t offsets[5] = {0, 1296, 2592, 3888, 0};
    for (size_t lock = 0; lock < 5; ++lock) {
        ASSERT_NE(buffer.Lock(36), nullptr) << lock;
        buffer.Unlock();
        EXPECT_EQ(buffer.LockOffset(), offsets[lock]) << lock;
        EXPECT_EQ(buffer.LastLockFlags(), lock == 4 ? d3d::LOCK_DISCARD : d3d::LOCK_NOOVERWRITE) << lock;
        EXPECT_EQ(buffer.TriangleCount(), 12u) << lock;
    }

    EXPECT_FALSE(VertexBuffer(device.get(), 0).IsCreated());
    EXPECT_EQ(LogCount(kCreateFailed), 1u);
    // More vertices than the buffer holds: the lock fails and the next draw has no triangles.
    VertexBuffer small(device.get(), 360);
    EXPECT_EQ(small.Lock(11), nullptr);
    EXPECT_EQ(small.TriangleCount(), 0u);
    EXPECT_EQ(small.Lock(UINT32_MAX), nullptr);  // no 32-bit wrap into a small size
    EXPECT_EQ(LogCount(kLockFailed), 1u);  // the second failure is counted as a repeat
}

TEST_F(IconObjectTest, TextureShorterThanItsSizeIsFilledWithGrey)
{
    const std::vector<uint8_t> texels = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11};
    const auto texture = IconTexture(device.get(), texels, 16, 16).Texture();
    ASSERT_NE(texture, nullptr);
    const auto& top = texture->Levels().at(0).texels;
    EXPECT_EQ(top.at(2), 0xFF090807u);
    for (size_t i = 3; i < top.size(); ++i) {
        ASSERT_EQ(top[i], 0xFF848484u) << i;
    }
}

TEST_F(IconObjectTest, ObjectsWithoutSomethingToDrawPresentNothing)
{
    auto presents = std::make_shared<uint64_t>(0);
    device->SetPresentTarget([presents](const DeviceFrame&) { ++*presents; });
    WriteBytes(temp / "outside.ico", SyntheticIconModel());
    auto badVersion = SyntheticIconModel();
    badVersion[2] = 2;
    WriteBytes(temp / "bad-sys/icon.sys", {'P', 'S', '2'});
    WriteBytes(temp / "missing/icon.sys", MakeIconSys("T", 0, "missing.ico"));
    WriteBytes(temp / "elsewhere/icon.sys", MakeIconSys("T", 0, "../outside.ico"));  // must lie beside icon.sys
    const std::string ps2[] = {temp / "bad-sys/icon.sys", temp / "missing/icon.sys", temp / "elsewhere/icon.sys",
                               WritePs2Save(temp / "version/", badVersion),
                               WritePs2Save(temp / "empty/", EncodeIconModel({}, 1, {}, 1))};
    for (const std::string& path : ps2) {
        IconObjectPS2 object(path, device.get());
        EXPECT_FALSE(object.IsReady()) << path;
        object.Update(0);
        object.Render();
    }
    EXPECT_EQ(LogCount(kCreateFailed), 1u);  // the model without vertices

    WriteBytes(temp / "none", MakePS1Save("NONE", 1, 0x10));
    IconObjectPS1 none(temp / "none", device.get());
    EXPECT_EQ(none.FrameCount(), 0u);
    none.Update(0);
    none.Render();
    EXPECT_EQ(*presents, 0u);
}

TEST_F(IconObjectTest, PS2ModelTurnsOnceInTenSeconds)
{
    EXPECT_EQ(IconObjectPS2::RotationAngle(0), 0.0f);
    EXPECT_EQ(IconObjectPS2::RotationAngle(10000), 0.0f);
    EXPECT_EQ(IconObjectPS2::RotationAngle(2500), 1.5707963705062866f);  // pi / 2 as a float
    EXPECT_EQ(IconObjectPS2::RotationAngle(UINT32_MAX), IconObjectPS2::RotationAngle(UINT32_MAX % 10000));
    const auto object = MakePS2("box", SyntheticIconModel());
    const DeviceFrame atZero = RenderAt(*object, *device, 0);
    EXPECT_EQ(RenderAt(*object, *device, 10000).pixels, atZero.pixels);
    EXPECT_NE(RenderAt(*object, *device, 2500).pixels, atZero.pixels);
}

TEST_F(IconObjectTest, PS2StatesModulateTwiceAndCullClockwise)
{
    const uint16_t texel = 3 | 17 << 5 | 29 << 10;  // red 3, green 17, blue 29
    // A vertex colour of 0x80 shows the texture exactly as it is.
    const auto plain = MakePS2("plain", EncodeIconModel(Square(1.5f, 0, 0x80808080), 1, UniformTexture(texel), 1));
    EXPECT_EQ(PixelAt(RenderAt(*plain, *device, 0), 66, 66), 0xFF000000u | 24u << 16 | 140u << 8 | 239u);
    // Turned away from the camera the square is culled; the frame is cleared first.
    const auto away =
        MakePS2("away", EncodeIconModel(Square(1.5f, 0, 0x80808080, false), 1, UniformTexture(texel), 1));
    EXPECT_EQ(RenderAt(*away, *device, 0).pixels, std::vector<uint32_t>(kPaneSize * kPaneSize, 0));
}

TEST_F(IconObjectTest, PS1FramesShowFiveHundredMillisecondsEach)
{
    WriteBytes(temp / "three", MakePlainPS1Save({3, 9, 15}));
    IconObjectPS1 object(temp / "three", device.get());
    ASSERT_EQ(object.FrameCount(), 3u);
    const std::pair<uint32_t, uint8_t> cases[] = {{0, 3}, {499, 3}, {500, 9}, {1499, 15}, {1500, 3}, {UINT32_MAX, 9}};
    for (const auto& [time, level] : cases) {
        device->Clear(d3d::CLEAR_TARGET, 0x12345678, 1.0f, 0);
        // The quad covers every pixel of the pane.
        EXPECT_EQ(RenderAt(object, *device, time).pixels, std::vector<uint32_t>(kPaneSize * kPaneSize, PlainPS1Colour(level)))
            << time;
    }
}

}  // namespace
