#include "icon/IconObjectPS2.h"

#include <chrono>
#include <thread>

#include "common/FileHelpers.h"
#include "common/TextCodec.h"
#include "icon/IconTexture.h"
#include "save/IconSys.h"

namespace {

// The camera looks at the model from the front, a little above its origin.
constexpr Vector3 kEye{0.0f, 2.25f, 7.5f};
constexpr Vector3 kTarget{0.0f, 2.25f, 0.0f};
constexpr Vector3 kUp{0.0f, 1.0f, 0.0f};
constexpr float kFieldOfView = 0.785398185f;  // pi / 4
constexpr float kAspect = 1.0f;
constexpr float kNear = 1.0f;
constexpr float kFar = 100.0f;

// Four posed copies of the model: a block is refilled only three frames after it was drawn.
constexpr uint64_t kBufferedFrames = 4;
constexpr uint32_t kTextureSize = IconModel::kTextureSize;

constexpr auto kNotReadyPause = std::chrono::milliseconds(100);

}  // namespace

IconObjectPS2::IconObjectPS2(const std::string& iconSysPath, SoftwareDevice* iconDevice) : device(iconDevice)
{
    const IconSys iconSys(iconSysPath);
    if (!iconSys.valid) {
        return;
    }
    // The list icon is the one shown; the copy and delete icons are not used.
    const std::string name = SjisToUtf8(iconSys.iconFileNames[0]);
    // The model must lie beside icon.sys: a name that leads elsewhere is not followed.
    if (!IsPlainName(name)) {
        return;
    }
    const size_t separator = iconSysPath.rfind('/');
    const std::string folder = separator == std::string::npos ? std::string() : iconSysPath.substr(0, separator + 1);
    const std::string iconPath = folder + name;
    if (!IsFile(iconPath)) {
        return;
    }
    model = std::make_unique<IconModel>(iconPath);
    if (!model->loaded) {
        model.reset();
        return;
    }
    texture = IconTexture(device, model->texels, kTextureSize, kTextureSize).Texture();

    const uint64_t capacity = uint64_t{model->vertexCount} * VertexBuffer::kVertexSize * kBufferedFrames;
    vertexBuffer = std::make_unique<VertexBuffer>(device, capacity <= UINT32_MAX ? static_cast<uint32_t>(capacity) : 0);
    if (!vertexBuffer->IsCreated()) {
        return;
    }
    ready = true;
}

IconObjectPS2::~IconObjectPS2()
{
    model.reset();
    vertexBuffer.reset();
    texture.reset();
}

void IconObjectPS2::Update(uint32_t now)
{
    if (!ready) {
        return;
    }
    time = now;
    if (IconModel::DRAW_VERTEX* vertices = vertexBuffer->Lock(model->vertexCount)) {
        model->FillVertices(time, vertices);
        vertexBuffer->Unlock();
    }
}

void IconObjectPS2::Render()
{
    if (!ready) {
        std::this_thread::sleep_for(kNotReadyPause);
        return;
    }
    device->SetRenderState(d3d::RS_ZENABLE, 1);
    device->SetRenderState(d3d::RS_ZWRITEENABLE, 1);
    device->SetRenderState(d3d::RS_SRCBLEND, d3d::BLEND_SRCALPHA);
    device->SetRenderState(d3d::RS_DESTBLEND, d3d::BLEND_INVSRCALPHA);
    device->SetRenderState(d3d::RS_ALPHABLENDENABLE, 0);
    device->SetRenderState(d3d::RS_LIGHTING, 0);
    device->SetRenderState(d3d::RS_COLORVERTEX, 1);
    device->SetRenderState(d3d::RS_NORMALIZENORMALS, 1);
    device->SetRenderState(d3d::RS_CULLMODE, d3d::CULL_CW);

    // Texture colour times vertex colour times two: a vertex colour of 0x80 shows the texture as it is.
    device->SetTextureStageState(0, d3d::TSS_COLOROP, d3d::TOP_MODULATE2X);
    device->SetTextureStageState(0, d3d::TSS_COLORARG2, d3d::TA_DIFFUSE);

    device->SetTransform(d3d::TS_WORLD, MatrixRotationY(RotationAngle(time)));
    device->SetTransform(d3d::TS_VIEW, ViewMatrix());
    device->SetTransform(d3d::TS_PROJECTION, ProjectionMatrix());
    device->SetTexture(0, texture);
    device->SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);

    device->Clear(d3d::CLEAR_TARGET | d3d::CLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device->BeginScene();
    vertexBuffer->Draw();
    device->EndScene();
    device->Present();
}

float IconObjectPS2::RotationAngle(uint32_t time)
{
    return static_cast<float>(2.0 * static_cast<double>(time % kTurnMilliseconds) * 3.1415927410125732 /
                              static_cast<double>(kTurnMilliseconds));
}

Matrix IconObjectPS2::ViewMatrix() { return MatrixLookAtLH(kEye, kTarget, kUp); }

Matrix IconObjectPS2::ProjectionMatrix() { return MatrixPerspectiveFovLH(kFieldOfView, kAspect, kNear, kFar); }
