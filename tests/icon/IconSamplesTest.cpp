#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "IconTestSupport.h"
#include "common/Log.h"
#include "icon/IconModel.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"
#include "save/IconSys.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Box {
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
    void Add(double x, double y)  // clamped to the pane
    {
        x = std::clamp(x, 0.0, kPaneSize - 1.0), y = std::clamp(y, 0.0, kPaneSize - 1.0);
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
};

Box ProjectedBox(const IconModel& model)
{
    std::vector<IconModel::DRAW_VERTEX> posed(model.vertices.size());
    model.FillVertices(0, posed.data());
    const Matrix m = IconObjectPS2::ViewMatrix() * IconObjectPS2::ProjectionMatrix();
    Box box;
    for (const IconModel::DRAW_VERTEX& v : posed) {
        const auto column = [&](int c) { return v.x * m.m[0][c] + v.y * m.m[1][c] + v.z * m.m[2][c] + m.m[3][c]; };
        box.Add((column(0) / column(3) + 1) * kPaneSize / 2.0, (1 - column(1) / column(3)) * kPaneSize / 2.0);
    }
    return box;
}

// The commonest not-near-black colour the triangles show, 0 if none.
uint32_t CommonestShownColour(const IconModel& model)
{
    std::map<uint32_t, int> counts;
    for (size_t t = 0; t + 2 < model.vertices.size(); t += 3) {
        const auto* v = &model.vertices[t];  // texel at the centre
        const int x = std::clamp(static_cast<int>((v[0].u + v[1].u + v[2].u) / 3 * 128), 0, 127);
        const int y = std::clamp(static_cast<int>((v[0].v + v[1].v + v[2].v) / 3 * 128), 0, 127);
        uint32_t texel = 0, shown = 0;
        std::memcpy(&texel, &model.texels[4 * static_cast<size_t>(y * 128 + x)], 4);
        for (int shift = 0; shift < 24; shift += 8) {
            shown |= std::min(2 * ((texel >> shift) & 0xFF) * ((v[0].colour >> shift) & 0xFF) / 255, 255u) << shift;
        }
        counts[shown] += std::max({shown & 0xFF, (shown >> 8) & 0xFF, (shown >> 16) & 0xFF}) >= 32 ? 1 : 0;
    }
    const auto most = std::max_element(counts.begin(), counts.end(), [](auto& l, auto& r) { return l.second < r.second; });
    return most == counts.end() || most->second == 0 ? 0 : most->first;
}

class IconSamplesTest : public ::testing::Test {
protected:
    void SetUp() override { if (SamplesDir().empty()) { GTEST_SKIP() << "no samples"; } }
    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(kPaneSize, kPaneSize);
};

TEST_F(IconSamplesTest, EveryPS2IconIsDrawnWhereItsModelStandsInItsColours)
{
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
    size_t drawn = 0;
    for (const auto& [name, iconSys] : saves) {
        SCOPED_TRACE(name);
        const IconSys sys(iconSys);
        ASSERT_TRUE(sys.valid);
        const std::string modelPath = fs::path(iconSys).parent_path().string() + "/" + sys.iconFileNames[0];
        IconObjectPS2 object(iconSys, device.get());
        if (!fs::is_regular_file(modelPath)) {
            EXPECT_FALSE(object.IsReady());  // a system folder whose icon is the console's own
            continue;
        }
        const IconModel model(modelPath);
        const DeviceFrame frame = RenderAt(object, *device, 0);  // background alpha 0, texels 255
        Box covered;
        for (uint32_t i = 0; i < frame.pixels.size(); ++i) {
            if (frame.pixels[i] >> 24 != 0) {
                covered.Add(i % frame.width, i / frame.width);
            }
        }
        ASSERT_LE(covered.left, covered.right);
        // Triangles turned away may leave a part of the outline undrawn.
        const Box expected = ProjectedBox(model);
        EXPECT_NEAR(covered.left + covered.right, expected.left + expected.right, 8.0);
        EXPECT_NEAR(covered.top + covered.bottom, expected.top + expected.bottom, 8.0);
        // Filtering blends neighbouring texels; a colour the model shows over an area still comes through.
        if (const uint32_t colour = CommonestShownColour(model)) {
            const auto near = [colour](uint32_t pixel) {
                auto off = [&](int shift) { return std::abs(int((pixel >> shift) & 0xFF) - int((colour >> shift) & 0xFF)); };
                return pixel >> 24 != 0 && off(0) <= 16 && off(8) <= 16 && off(16) <= 16;
            };
            EXPECT_TRUE(std::any_of(frame.pixels.begin(), frame.pixels.end(), near)) << std::hex << colour;
        }
        ++drawn;
    }
    EXPECT_GE(drawn, 30u);
}

// shark.icn carries 58 KB of zeros after its texture, each pair read as an empty run.
TEST_F(IconSamplesTest, TrailingZerosOfARealIconLogAFewLinesNotThousands)
{
    const IconModel model(SamplesDir() + "ps2-icons/shark.icn");
    LogClose();
    const std::string log = ReadText(temp / "log.txt");
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 3) << log.substr(0, 500);
}

TEST_F(IconSamplesTest, EveryPS1IconFillsThePane)
{
    for (const auto& entry : fs::directory_iterator(SamplesDir() + "ps1/raw")) {
        SCOPED_TRACE(entry.path().filename().string());
        IconObjectPS1 object(entry.path().string(), device.get());
        ASSERT_GT(object.FrameCount(), 0u);
        for (size_t k = 0; k < object.FrameCount(); ++k) {
            device->Clear(d3d::CLEAR_TARGET, 0, 1.0f, 0);
            const DeviceFrame frame = RenderAt(object, *device, static_cast<uint32_t>(k * 500));
            EXPECT_TRUE(std::all_of(frame.pixels.begin(), frame.pixels.end(), [](uint32_t p) { return p >> 24 == 0xFF; }));
        }
    }
}

}  // namespace
