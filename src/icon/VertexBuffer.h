#pragma once
// The posed vertices of a PS2 icon: a dynamic vertex buffer several frames
// deep, refilled every frame, so that a block is never rewritten while an
// earlier frame may still be drawing from it.
#include <cstdint>
#include <memory>

#include "icon/IconModel.h"
#include "icon/SoftwareDevice.h"

class VertexBuffer {
public:
    static constexpr uint32_t kVertexSize = sizeof(IconModel::DRAW_VERTEX);

    // capacity in bytes.
    VertexBuffer(SoftwareDevice* device, uint32_t capacity);
    virtual ~VertexBuffer() = default;
    VertexBuffer(const VertexBuffer&) = delete;
    VertexBuffer& operator=(const VertexBuffer&) = delete;

    bool IsCreated() const { return buffer != nullptr; }

    // Room for vertexCount vertices just past the last locked block, or at the
    // start of a discarded buffer when they no longer fit; null on failure.
    IconModel::DRAW_VERTEX* Lock(uint32_t vertexCount);
    void Unlock();
    // Draws the block of the last Lock as a triangle list.
    void Draw();

    uint32_t LockOffset() const { return lockOffset; }
    uint32_t WritePosition() const { return writePosition; }
    uint32_t Capacity() const { return capacity; }
    // The flag the last Lock asked for: no-overwrite, or discard when it started again at 0.
    uint32_t LastLockFlags() const { return lastLockFlags; }
    // Three vertices of the last Lock to a triangle.
    uint32_t TriangleCount() const { return (writePosition - lockOffset) / kVertexSize / 3; }

private:
    std::shared_ptr<DeviceVertexBuffer> buffer;
    SoftwareDevice* device;
    uint32_t lockOffset = 0;
    uint32_t writePosition = 0;
    uint32_t capacity;
    uint32_t lastLockFlags = 0;
};
