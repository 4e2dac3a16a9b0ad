#pragma once
// A 32-bit texture on the device, made from texels in memory, with its full mip chain.
#include <cstdint>
#include <memory>
#include <vector>

#include "icon/SoftwareDevice.h"

class IconTexture {
public:
    // texels: four bytes per texel (blue, green, red, alpha), rows from the top.
    // Texels the vector does not hold are taken as mid grey.
    IconTexture(SoftwareDevice* device, const std::vector<uint8_t>& texels, uint32_t width, uint32_t height);
    virtual ~IconTexture() = default;

    // Empty when the texture could not be made.
    std::shared_ptr<DeviceTexture> Texture() const { return texture; }

private:
    SoftwareDevice* device;
    std::shared_ptr<DeviceTexture> texture;
    uint32_t width;
    uint32_t height;
};
