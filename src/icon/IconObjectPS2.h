#pragma once
// A PS2 save's icon: the list icon's model named by the save's icon.sys,
// animated between its shapes, textured, turning about the vertical axis
// once every ten seconds in front of a fixed camera.
#include <cstdint>
#include <memory>
#include <string>

#include "icon/IconModel.h"
#include "icon/IconObjectBase.h"
#include "icon/SoftwareDevice.h"
#include "icon/VertexBuffer.h"

class IconObjectPS2 : public IconObjectBase {
public:
    // One turn of the model, in milliseconds.
    static constexpr uint32_t kTurnMilliseconds = 10000;

    // Reads icon.sys and the model file it names (which must lie in the same
    // folder) before returning, so both may be deleted afterwards.
    IconObjectPS2(const std::string& iconSysPath, SoftwareDevice* device);
    ~IconObjectPS2() override;

    void Update(uint32_t time) override;
    // A not-ready object sleeps 100 ms instead, which paces the renderer.
    void Render() override;

    // Decided once, in the constructor.
    bool IsReady() const { return ready; }
    const VertexBuffer* Buffer() const { return vertexBuffer.get(); }

    // The turn about the vertical axis at a time, in radians.
    static float RotationAngle(uint32_t time);
    static Matrix ViewMatrix();
    static Matrix ProjectionMatrix();

private:
    SoftwareDevice* device;
    std::unique_ptr<IconModel> model;
    std::shared_ptr<DeviceTexture> texture;
    std::unique_ptr<VertexBuffer> vertexBuffer;
    bool ready = false;
    uint32_t time = 0;
};
