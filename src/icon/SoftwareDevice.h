#pragma once
// A small software stand-in for the fixed-function 3D device the icon objects
// draw with: the render, texture-stage and sampler states they set, with the
// meanings and numbering of Direct3D 9, world/view/projection transforms, a
// viewport the size of the pane, dynamic vertex buffers, 32-bit textures with
// a full mip chain, triangle lists and strips, a depth buffer, clear and
// present. Deterministic: the same calls give the same pixels on every machine.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "icon/Matrix.h"

namespace d3d {
// Render states.
inline constexpr uint32_t RS_ZENABLE = 7;
inline constexpr uint32_t RS_ZWRITEENABLE = 14;
inline constexpr uint32_t RS_ALPHATESTENABLE = 15;
inline constexpr uint32_t RS_SRCBLEND = 19;
inline constexpr uint32_t RS_DESTBLEND = 20;
inline constexpr uint32_t RS_CULLMODE = 22;
inline constexpr uint32_t RS_ZFUNC = 23;
inline constexpr uint32_t RS_ALPHABLENDENABLE = 27;
inline constexpr uint32_t RS_LIGHTING = 137;
inline constexpr uint32_t RS_COLORVERTEX = 141;
inline constexpr uint32_t RS_NORMALIZENORMALS = 143;
// Blend factors.
inline constexpr uint32_t BLEND_ZERO = 1;
inline constexpr uint32_t BLEND_ONE = 2;
inline constexpr uint32_t BLEND_SRCALPHA = 5;
inline constexpr uint32_t BLEND_INVSRCALPHA = 6;
// Cull modes: triangles whose screen winding is clockwise (CW) or counter-clockwise (CCW) are dropped.
inline constexpr uint32_t CULL_NONE = 1;
inline constexpr uint32_t CULL_CW = 2;
inline constexpr uint32_t CULL_CCW = 3;
// Comparison functions.
inline constexpr uint32_t CMP_LESSEQUAL = 4;
// Texture stage states and their values.
inline constexpr uint32_t TSS_COLOROP = 1;
inline constexpr uint32_t TSS_COLORARG1 = 2;
inline constexpr uint32_t TSS_COLORARG2 = 3;
inline constexpr uint32_t TOP_SELECTARG1 = 2;
inline constexpr uint32_t TOP_MODULATE = 4;
inline constexpr uint32_t TOP_MODULATE2X = 5;
inline constexpr uint32_t TA_DIFFUSE = 0;
inline constexpr uint32_t TA_CURRENT = 1;
inline constexpr uint32_t TA_TEXTURE = 2;
// Sampler states and their values.
inline constexpr uint32_t SAMP_ADDRESSU = 1;
inline constexpr uint32_t SAMP_ADDRESSV = 2;
inline constexpr uint32_t SAMP_MAGFILTER = 5;
inline constexpr uint32_t SAMP_MINFILTER = 6;
inline constexpr uint32_t SAMP_MIPFILTER = 7;
inline constexpr uint32_t TADDRESS_CLAMP = 3;
inline constexpr uint32_t TEXF_NONE = 0;
inline constexpr uint32_t TEXF_POINT = 1;
inline constexpr uint32_t TEXF_LINEAR = 2;
// Transforms.
inline constexpr uint32_t TS_VIEW = 2;
inline constexpr uint32_t TS_PROJECTION = 3;
inline constexpr uint32_t TS_WORLD = 256;
// Vertex formats: position, normal, diffuse, one texture coordinate (36 bytes);
// position and one texture coordinate (20 bytes).
inline constexpr uint32_t FVF_POSITION_NORMAL_DIFFUSE_TEX1 = 0x152;
inline constexpr uint32_t FVF_POSITION_TEX1 = 0x102;
// Primitive types.
inline constexpr uint32_t PT_TRIANGLELIST = 4;
inline constexpr uint32_t PT_TRIANGLESTRIP = 5;
// Clear flags.
inline constexpr uint32_t CLEAR_TARGET = 1;
inline constexpr uint32_t CLEAR_ZBUFFER = 2;
// Buffer usage and lock flags.
inline constexpr uint32_t USAGE_DYNAMIC = 0x200;
inline constexpr uint32_t LOCK_NOOVERWRITE = 0x1000;
inline constexpr uint32_t LOCK_DISCARD = 0x2000;
}  // namespace d3d

// A 32-bit texture with its full mip chain (level 0 first, down to 1 x 1).
// Texels are 0xAARRGGBB words (the bytes blue, green, red, alpha in memory).
class DeviceTexture {
public:
    struct Level {
        uint32_t width = 0;
        uint32_t height = 0;
        std::vector<uint32_t> texels;
        // The texels with one more column and row repeating the last ones, (width + 1) x (height + 1):
        // a bilinear tap's right and lower neighbours are always there, clamped to the edge.
        std::vector<uint32_t> padded;
    };
    const std::vector<Level>& Levels() const { return levels; }

private:
    friend class SoftwareDevice;
    std::vector<Level> levels;
};

class DeviceVertexBuffer {
public:
    uint32_t Size() const { return static_cast<uint32_t>(bytes.size()); }
    // Access to size bytes at offset; null when the range does not fit.
    // DISCARD gives fresh contents; NOOVERWRITE promises not to touch bytes in use.
    void* Lock(uint32_t offset, uint32_t size, uint32_t flags);
    void Unlock();

private:
    friend class SoftwareDevice;
    std::vector<uint8_t> bytes;
    bool locked = false;
};

// A finished picture: width x height 0xAARRGGBB pixels, rows from the top.
struct DeviceFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
};

class SoftwareDevice {
public:
    // The back buffer and depth buffer of the pane's size.
    SoftwareDevice(uint32_t width, uint32_t height);

    uint32_t Width() const { return width; }
    uint32_t Height() const { return height; }

    // Creation may be called from another thread than drawing (resources are made on the window's thread).
    std::shared_ptr<DeviceTexture> CreateTexture(uint32_t textureWidth, uint32_t textureHeight,
                                                 const uint8_t* bgraTexels);
    std::shared_ptr<DeviceVertexBuffer> CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf);

    void SetRenderState(uint32_t state, uint32_t value);
    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
    void SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
    void SetTransform(uint32_t which, const Matrix& matrix);
    void SetTexture(uint32_t stage, std::shared_ptr<DeviceTexture> texture);
    void SetFVF(uint32_t fvf);
    void SetStreamSource(uint32_t stream, std::shared_ptr<DeviceVertexBuffer> buffer, uint32_t offset, uint32_t stride);

    void Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil);
    void BeginScene();
    void EndScene();
    void DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount);
    void DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices, uint32_t stride);
    // Hands the back buffer to the present target (if any) as a finished frame.
    void Present();

    // Who receives presented frames (the pane, a test, the command line). The
    // frame is the back buffer itself, lent for the call: a target copies what
    // it keeps and does not call the device.
    void SetPresentTarget(std::function<void(const DeviceFrame&)> target);
    // The back buffer as it stands.
    DeviceFrame BackBuffer() const;
    // The depth buffer as it stands, rows from the top: 1.0 where nothing was drawn since its clear.
    std::vector<float> DepthBuffer() const;

private:
    // Implementation state (states, transforms, buffers) is the implementer's.
    struct State;
    std::shared_ptr<State> state;
    uint32_t width;
    uint32_t height;
};
