#pragma once
// A PS1 save's icon: its 16 x 16 frames shown flat over the whole pane, each
// for 500 ms, one after the other.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "icon/IconObjectBase.h"
#include "icon/SoftwareDevice.h"

class IconObjectPS1 : public IconObjectBase {
public:
    static constexpr uint32_t kFrameMilliseconds = 500;

    // Reads the save file before returning; an unreadable save gives an object without frames.
    IconObjectPS1(const std::string& ps1SavePath, SoftwareDevice* device);
    ~IconObjectPS1() override;

    void Update(uint32_t time) override;
    // An object without frames sleeps 100 ms instead, which paces the renderer.
    void Render() override;

    size_t FrameCount() const { return textures.size(); }
    // The frame shown at a time; 0 without frames.
    size_t FrameIndexAt(uint32_t time) const;

private:
    SoftwareDevice* device;
    std::vector<std::shared_ptr<DeviceTexture>> textures;
    uint32_t time = 0;
};
