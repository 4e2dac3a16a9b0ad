// Icon model files come from any game or homebrew tool: the reader must take
// any bytes, never allocate more than the file can describe, and pose what it
// read without reaching past a vertex's positions.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "icon/IconModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const IconModel model(std::span<const uint8_t>(data, size), "fuzz");
    if (!model.loaded) {
        if (!model.vertices.empty() || !model.frames.empty() || !model.texels.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    // A whole texture at least; beyond it at most four textures' worth.
    if (model.texels.size() < 4 * IconModel::kTexelCount || model.texels.size() > 16 * IconModel::kTexelCount ||
        model.texels.size() % 4 != 0) {
        __builtin_trap();
    }
    if (model.vertices.size() != model.vertexCount || model.frames.size() != model.animationHeader[4]) {
        __builtin_trap();
    }
    for (const auto& vertex : model.vertices) {
        if (vertex.positions.size() != model.shapeCount) {
            __builtin_trap();
        }
    }
    std::vector<IconModel::DRAW_VERTEX> posed(model.vertices.size());
    for (const uint32_t time : {0u, 1u, 125u, 500u, 875u, 999u, 4294967295u}) {
        model.FillVertices(time, posed.data());
    }
    return 0;
}
