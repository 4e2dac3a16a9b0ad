#include "icon/IconObjectPS1.h"

#include <chrono>
#include <thread>

#include "icon/IconTexture.h"
#include "save/PS1SaveData.h"

namespace {

#pragma pack(push, 1)
// Vertex format 0x102: position and one texture coordinate.
struct QuadVertex {
    float x, y, z;
    float u, v;
};
#pragma pack(pop)
static_assert(sizeof(QuadVertex) == 20);

// The whole viewport as a strip of two triangles, the texture upright on it.
constexpr QuadVertex kQuad[4] = {
    {-1.0f, 1.0f, 0.0f, 0.0f, 0.0f},
    {1.0f, 1.0f, 0.0f, 1.0f, 0.0f},
    {-1.0f, -1.0f, 0.0f, 0.0f, 1.0f},
    {1.0f, -1.0f, 0.0f, 1.0f, 1.0f},
};

constexpr auto kNoFramesPause = std::chrono::milliseconds(100);

}  // namespace

IconObjectPS1::IconObjectPS1(const std::string& ps1SavePath, SoftwareDevice* iconDevice) : device(iconDevice)
{
    const PS1SaveData save(ps1SavePath);
    if (!save.valid) {
        return;
    }
    for (const std::vector<uint8_t>& frame : save.frames) {
        textures.push_back(
            IconTexture(device, frame, PS1SaveData::kIconSize, PS1SaveData::kIconSize).Texture());
    }
}

IconObjectPS1::~IconObjectPS1() { textures.clear(); }

void IconObjectPS1::Update(uint32_t now) { time = now; }

size_t IconObjectPS1::FrameIndexAt(uint32_t at) const
{
    return textures.empty() ? 0 : (at / kFrameMilliseconds) % textures.size();
}

void IconObjectPS1::Render()
{
    if (textures.empty()) {
        std::this_thread::sleep_for(kNoFramesPause);
        return;
    }
    device->SetRenderState(d3d::RS_ZENABLE, 0);
    device->SetRenderState(d3d::RS_ALPHATESTENABLE, 0);
    device->SetRenderState(d3d::RS_SRCBLEND, d3d::BLEND_ONE);
    device->SetRenderState(d3d::RS_DESTBLEND, d3d::BLEND_ZERO);
    device->SetRenderState(d3d::RS_CULLMODE, d3d::CULL_CCW);
    device->SetRenderState(d3d::RS_ALPHABLENDENABLE, 0);
    device->SetRenderState(d3d::RS_LIGHTING, 0);
    device->SetRenderState(d3d::RS_COLORVERTEX, 0);

    device->SetTextureStageState(0, d3d::TSS_COLOROP, d3d::TOP_MODULATE);
    device->SetTextureStageState(0, d3d::TSS_COLORARG2, d3d::TA_CURRENT);
    device->SetTexture(0, textures[FrameIndexAt(time)]);

    const Matrix identity = Matrix::Identity();
    device->SetTransform(d3d::TS_WORLD, identity);
    device->SetTransform(d3d::TS_VIEW, identity);
    device->SetTransform(d3d::TS_PROJECTION, identity);
    device->SetFVF(d3d::FVF_POSITION_TEX1);

    // The quad covers the whole pane, so nothing is cleared first.
    device->BeginScene();
    device->DrawPrimitiveUP(d3d::PT_TRIANGLESTRIP, 2, kQuad, sizeof(QuadVertex));
    device->EndScene();
    device->Present();
}
