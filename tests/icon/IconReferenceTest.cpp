// The synthetic box, drawn as the pane draws it, compared pixel for pixel with
// the pictures in tests/data. TANSU_REMAKE_REFERENCE=1 writes them instead
// (see tests/data/README.md); look at them before committing them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "IconTestSupport.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"
#include "support/TestSupport.h"

#ifdef TANSU_ICON_PNG
#include <QImage>
#include <QString>
#endif

namespace {

#ifdef TANSU_ICON_PNG
QImage ToImage(const DeviceFrame& frame)
{
    QImage image(static_cast<int>(frame.width), static_cast<int>(frame.height), QImage::Format_ARGB32);
    for (uint32_t y = 0; y < frame.height; ++y) {
        std::memcpy(image.scanLine(static_cast<int>(y)), frame.pixels.data() + size_t{y} * frame.width,
                    size_t{frame.width} * 4);
    }
    return image;
}

void CompareWithReference(const DeviceFrame& frame, const std::string& name)
{
    const std::string path = TestDataDir() + name;
    const char* remake = std::getenv("TANSU_REMAKE_REFERENCE");
    if (remake != nullptr && std::string(remake) == "1") {
        ASSERT_TRUE(ToImage(frame).save(QString::fromStdString(path), "PNG")) << path;
    }
    QImage reference(QString::fromStdString(path));
    ASSERT_FALSE(reference.isNull()) << path;
    reference = reference.convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(static_cast<uint32_t>(reference.width()), frame.width);
    ASSERT_EQ(static_cast<uint32_t>(reference.height()), frame.height);
    size_t different = 0;
    for (uint32_t y = 0; y < frame.height; ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(reference.constScanLine(static_cast<int>(y)));
        for (uint32_t x = 0; x < frame.width; ++x) {
            if (line[x] != PixelAt(frame, x, y)) {
                if (different++ < 5) {
                    ADD_FAILURE() << name << " differs at " << x << "," << y << std::hex << ": 0x" << PixelAt(frame, x, y)
                                  << " instead of 0x" << line[x];
                }
            }
        }
    }
    EXPECT_EQ(different, 0u) << name;
}
#endif

TEST(IconReference, SyntheticBoxAtZeroAndAQuarterTurn)
{
#ifndef TANSU_ICON_PNG
    GTEST_SKIP() << "reference pictures are read through QtGui, which this build leaves out";
#else
    TempDir temp;
    ScopedProgramDirectory programDirectory(temp.path());
    const auto device = IconRenderingManager::MakePaneDevice(kPaneSize, kPaneSize);
    IconObjectPS2 box(WritePs2Save(temp.path(), SyntheticIconModel()), device.get());
    ASSERT_TRUE(box.IsReady());
    CompareWithReference(RenderAt(box, *device, 0), "icon_synthetic_0.png");
    // A quarter turn, and the animation at its second shape.
    CompareWithReference(RenderAt(box, *device, 2500), "icon_synthetic_2500.png");
#endif
}

}  // namespace
