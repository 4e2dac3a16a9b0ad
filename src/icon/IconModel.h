#pragma once
// A PS2 icon model file: the animated 3D model of a save's icon with its
// 128 x 128 texture, read whole at construction and posed for a point in time.
#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "icon/Matrix.h"

class IconModel {
public:
    // The texture is always 128 x 128 texels.
    static constexpr uint32_t kTextureSize = 128;
    static constexpr uint32_t kTexelCount = kTextureSize * kTextureSize;

    struct VERTEX_DATA {
        // One position per animation shape, shape 0 first.
        std::vector<Vector3> positions;
        Vector3 normal;
        float u = 0, v = 0;
        // Blue, green, red, alpha from the low byte up: the device's diffuse colour.
        uint32_t colour = 0;
    };

    struct FRAME_DATA {
        uint32_t firstWord = 0;
        uint32_t keyCount = 0;
        // keyCount x 8 bytes, kept as read.
        std::vector<uint8_t> keyData;
    };

#pragma pack(push, 1)
    // The posed vertex as the renderer draws it (vertex format 0x152).
    struct DRAW_VERTEX {
        float x, y, z;
        float nx, ny, nz;
        uint32_t diffuse;
        float u, v;
    };
#pragma pack(pop)
    static_assert(sizeof(DRAW_VERTEX) == 36);

    // Reads the file at path (the path is also what the log lines name); test loaded.
    explicit IconModel(const std::string& path);
    // Reads a file already in memory by the same rules; path only names it in the log.
    IconModel(std::span<const uint8_t> bytes, const std::string& path);

    // Writes vertices.size() records to destination: the model at time
    // milliseconds, its animation running once a second.
    void FillVertices(uint32_t time, DRAW_VERTEX* destination) const;

    // The bytes blue, green, red, alpha of one 16-bit texel (red in bits 0-4,
    // green 5-9, blue 10-14; bit 15 does not count).
    static std::array<uint8_t, 4> ConvertTexel(uint16_t texel);

    uint32_t shapeCount = 0;
    uint32_t textureType = 0;
    // Kept as read; real files hold a float here (1.0, 2.0, 3.0 seen).
    uint32_t thirdHeaderWord = 0;
    uint32_t vertexCount = 0;
    std::vector<VERTEX_DATA> vertices;
    // Four words kept as read, then the frame count.
    std::array<uint32_t, 5> animationHeader{};
    std::vector<FRAME_DATA> frames;
    // 4 bytes per texel (blue, green, red, alpha), rows from the top; at
    // least kTexelCount texels once loaded.
    std::vector<uint8_t> texels;
    bool loaded = false;

private:
    // One icon file is read at a time in the whole program.
    static std::mutex iconFileLock;

    void Parse(std::span<const uint8_t> bytes, const std::string& path);
};
