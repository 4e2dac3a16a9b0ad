#pragma once
// Icon models, saves, devices and a pane owner made for the icon tests.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "icon/IconObjectBase.h"
#include "icon/IconRendererOwner.h"
#include "icon/Matrix.h"
#include "icon/SoftwareDevice.h"

constexpr uint32_t kPaneSize = 132;

// One vertex as the model file holds it: positions in file coordinates (the
// renderer draws them negated), one per shape.
struct FileVertex {
    std::vector<Vector3> positions;
    float u = 0, v = 0;
    uint32_t colour = 0x80808080;
};

// 128 x 128 16-bit texels (red bits 0-4, green 5-9, blue 10-14), rows from the top.
using RawTexture = std::vector<uint16_t>;

// A whole icon model file; an empty texture writes texture type 0 (grey).
std::vector<uint8_t> EncodeIconModel(const std::vector<FileVertex>& vertices, uint32_t shapeCount,
                                     const RawTexture& texture, uint32_t frameCount);

// A box of 12 triangles (36 vertices) standing in front of the camera, its
// outside wound to face out; shape 1 twists and narrows its top. Textured with
// four coloured quadrants crossed by a white grid, its lower corners tinted.
std::vector<uint8_t> SyntheticIconModel();
RawTexture UniformTexture(uint16_t texel);
// Quadrants red, green, blue and yellow with white grid lines every 16 texels.
RawTexture QuadrantTexture();

// Writes the model and an icon.sys naming it into folder (with a trailing
// '/'); returns the icon.sys path.
std::string WritePs2Save(const std::string& folder, const std::vector<uint8_t>& model,
                         const std::string& modelName = "icon.ico");
// A raw PS1 save whose frame k is a plain grey of palette index levels[k].
std::vector<uint8_t> MakePlainPS1Save(const std::vector<uint8_t>& levels);
// The colour a plain frame of palette index level shows, as 0xAARRGGBB.
uint32_t PlainPS1Colour(uint8_t level);

// Poses and draws one frame, then returns the back buffer.
DeviceFrame RenderAt(IconObjectBase& object, SoftwareDevice& device, uint32_t time);
uint32_t PixelAt(const DeviceFrame& frame, uint32_t x, uint32_t y);

// A window stand-in: the box state as an atomic, presented frames kept.
class FakeOwner : public IconRendererOwner {
public:
    bool IsIconShown() const override { return shown; }
    void PresentIconFrame(const DeviceFrame& frame) override;

    // Waits for presented frames beyond count; false when none come at all (a
    // guard against hanging, not a measure of speed).
    bool WaitForFramesAfter(uint64_t count);
    uint64_t FrameCount();
    DeviceFrame LastFrame();

    std::atomic<bool> shown{true};

private:
    std::mutex mutex;
    std::condition_variable presented;
    uint64_t frames = 0;
    DeviceFrame last;
};

// A square of side 2 x half facing the camera (or away from it when
// facingCamera is false), centred on the camera's line of sight at depth z as
// drawn (larger z is nearer the camera), of one vertex colour.
std::vector<FileVertex> Square(float half, float z, uint32_t colour, bool facingCamera = true);
