// Every real icon in the samples, drawn as the pane draws it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "IconTestSupport.h"
#include "icon/IconModel.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"
#include "save/IconSys.h"
#include "save/PS1SaveData.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Box {
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
    bool Empty() const { return right < left; }
    void Add(double x, double y)
    {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    double CentreX() const { return (left + right) / 2; }
    double CentreY() const { return (top + bottom) / 2; }
};

// Where the model's vertices fall in the pane at time 0 (no turn yet), clamped to the pane.
Box ProjectedBox(const IconModel& model)
{
    std::vector<IconModel::DRAW_VERTEX> posed(model.vertices.size());
    model.FillVertices(0, posed.data());
    const Matrix m = IconObjectPS2::ViewMatrix() * IconObjectPS2::ProjectionMatrix();
    const double half = kPaneSize / 2.0;
    Box box;
    for (const IconModel::DRAW_VERTEX& v : posed) {
        const double x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
        const double y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
        const double w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
        box.Add((x / w + 1) * half, (1 - y / w) * half);
    }
    const double last = kPaneSize - 1;
    return {std::max(box.left, 0.0), std::max(box.top, 0.0), std::min(box.right, last), std::min(box.bottom, last)};
}

// Pixels the model covered: the cleared background has alpha 0, every texel alpha 255.
Box CoveredBox(const DeviceFrame& frame)
{
    Box box;
    for (uint32_t y = 0; y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
            if (PixelAt(frame, x, y) >> 24 != 0) {
                box.Add(x, y);
            }
        }
    }
    return box;
}

uint32_t Modulate2x(uint32_t texel, uint32_t colour)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t product = 2 * ((texel >> shift) & 0xFF) * ((colour >> shift) & 0xFF) / 255;
        result |= std::min(product, 255u) << shift;
    }
    return result;
}

int Distance(uint32_t a, uint32_t b)
{
    int distance = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        distance = std::max(distance, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return distance;
}

// The commonest visible colour the model's triangles show: the texel at each
// triangle's centre, times its first vertex's colour. 0 when every one is near black.
uint32_t CommonestShownColour(const IconModel& model)
{
    std::map<uint32_t, int> counts;
    for (size_t t = 0; t + 2 < model.vertices.size(); t += 3) {
        const auto& a = model.vertices[t];
        const auto& b = model.vertices[t + 1];
        const auto& c = model.vertices[t + 2];
        const int x = std::clamp(static_cast<int>((a.u + b.u + c.u) / 3 * 128), 0, 127);
        const int y = std::clamp(static_cast<int>((a.v + b.v + c.v) / 3 * 128), 0, 127);
        uint32_t texel = 0;
        std::memcpy(&texel, &model.texels[4 * static_cast<size_t>(y * 128 + x)], 4);
        const uint32_t shown = Modulate2x(texel, a.colour);
        if (std::max({shown & 0xFF, (shown >> 8) & 0xFF, (shown >> 16) & 0xFF}) >= 32) {
            ++counts[shown];
        }
    }
    if (counts.empty()) {
        return 0;
    }
    return std::max_element(counts.begin(), counts.end(), [](auto& l, auto& r) { return l.second < r.second; })->first;
}

class IconSamplesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (SamplesDir().empty()) {
            GTEST_SKIP() << "no samples";
        }
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(kPaneSize, kPaneSize);
};

TEST_F(IconSamplesTest, EveryPS2IconIsDrawnWhereItsModelStandsInItsColours)
{
    // name -> icon.sys: each loose icon file beside an icon.sys made for it, and every save folder's own.
    std::map<std::string, std::string> saves;
    for (const auto& entry : fs::directory_iterator(SamplesDir() + "ps2-icons")) {
        const std::string name = entry.path().filename().string();
        fs::create_directories(temp / name);
        fs::copy_file(entry.path(), temp / (name + "/" + name));
        WriteBytes(temp / (name + "/icon.sys"), MakeIconSys("SAMPLE", 0, name));
        saves[name] = temp / (name + "/icon.sys");
    }
    for (const auto& entry : fs::directory_iterator(SamplesDir() + "ps2-saves")) {
        saves[entry.path().filename().string()] = entry.path().string() + "/icon.sys";
    }
    ASSERT_GE(saves.size(), 30u);

    size_t drawn = 0;
    for (const auto& [name, iconSys] : saves) {
        SCOPED_TRACE(name);
        const IconSys sys(iconSys);
        ASSERT_TRUE(sys.valid);
        const std::string modelPath = fs::path(iconSys).parent_path().string() + "/" + sys.iconFileNames[0];
        IconObjectPS2 object(iconSys, device.get());
        if (!fs::is_regular_file(modelPath)) {
            // A system folder whose icon is the console's own.
            EXPECT_FALSE(object.IsReady());
            continue;
        }
        ASSERT_TRUE(object.IsReady());
        const IconModel model(modelPath);
        const DeviceFrame frame = RenderAt(object, *device, 0);

        const Box covered = CoveredBox(frame);
        ASSERT_FALSE(covered.Empty());
        // Within a pixel of where the vertices fall, and centred with them;
        // triangles turned away may leave a part of the outline undrawn.
        const Box expected = ProjectedBox(model);
        EXPECT_GE(covered.left, expected.left - 1);
        EXPECT_GE(covered.top, expected.top - 1);
        EXPECT_LE(covered.right, expected.right + 1);
        EXPECT_LE(covered.bottom, expected.bottom + 1);
        EXPECT_NEAR(covered.CentreX(), expected.CentreX(), 4.0);
        EXPECT_NEAR(covered.CentreY(), expected.CentreY(), 4.0);

        // Filtering blends neighbouring texels; a colour the model shows over an area still comes through.
        if (const uint32_t colour = CommonestShownColour(model)) {
            int nearest = 255;
            for (const uint32_t pixel : frame.pixels) {
                if (pixel >> 24 != 0) {
                    nearest = std::min(nearest, Distance(pixel, colour));
                }
            }
            EXPECT_LE(nearest, 16) << std::hex << colour;
        }
        ++drawn;
    }
    EXPECT_GE(drawn, 30u);
}

TEST_F(IconSamplesTest, EveryPS1IconFillsThePane)
{
    size_t drawn = 0;
    for (const auto& entry : fs::directory_iterator(SamplesDir() + "ps1/raw")) {
        SCOPED_TRACE(entry.path().filename().string());
        const PS1SaveData save(entry.path().string());
        ASSERT_TRUE(save.valid);
        IconObjectPS1 object(entry.path().string(), device.get());
        ASSERT_EQ(object.FrameCount(), save.frames.size());
        ASSERT_GT(object.FrameCount(), 0u);
        for (size_t k = 0; k < object.FrameCount(); ++k) {
            device->Clear(d3d::CLEAR_TARGET, 0, 1.0f, 0);
            const DeviceFrame frame = RenderAt(object, *device, static_cast<uint32_t>(k * 500));
            for (const uint32_t pixel : frame.pixels) {
                ASSERT_EQ(pixel >> 24, 0xFFu);
            }
            // The corner pixels' centres fall on the corner texels' centres or beyond them.
            auto texel = [&](size_t index) {
                uint32_t value = 0;
                std::memcpy(&value, save.frames[k].data() + 4 * index, 4);
                return value;
            };
            EXPECT_EQ(PixelAt(frame, 0, 0), texel(0));
            EXPECT_EQ(PixelAt(frame, kPaneSize - 1, kPaneSize - 1), texel(255));
        }
        ++drawn;
    }
    EXPECT_GE(drawn, 5u);
}

}  // namespace
