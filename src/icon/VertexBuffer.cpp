#include "icon/VertexBuffer.h"

#include "common/Log.h"

VertexBuffer::VertexBuffer(SoftwareDevice* bufferDevice, uint32_t bufferCapacity)
    : device(bufferDevice), capacity(bufferCapacity)
{
    if (device != nullptr) {
        buffer = device->CreateVertexBuffer(capacity, d3d::USAGE_DYNAMIC, d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
    }
    if (!buffer) {
        Log("VertexBuffer::VertexBuffer() : バーテクスバッファの作成に失敗しました");
    }
}

IconModel::DRAW_VERTEX* VertexBuffer::Lock(uint32_t vertexCount)
{
    // 64 bits: a vertex count near the 32-bit limit must not wrap into a small size.
    const uint64_t size = uint64_t{vertexCount} * kVertexSize;
    lockOffset = writePosition;
    uint32_t flags = d3d::LOCK_NOOVERWRITE;
    if (lockOffset + size > capacity) {
        lockOffset = writePosition = 0;
        flags = d3d::LOCK_DISCARD;
    }
    lastLockFlags = flags;
    void* data = nullptr;
    // A size of 0 locks the rest of the buffer, as with Direct3D.
    if (buffer && size <= capacity) {
        data = buffer->Lock(lockOffset, static_cast<uint32_t>(size), flags);
    }
    if (data == nullptr) {
        Log("VertexBuffer::Lock() : バーテクスバッファのロックに失敗しました");
        return nullptr;
    }
    writePosition = lockOffset + static_cast<uint32_t>(size);
    return static_cast<IconModel::DRAW_VERTEX*>(data);
}

void VertexBuffer::Unlock()
{
    if (buffer) {
        buffer->Unlock();
    }
}

void VertexBuffer::Draw()
{
    if (device == nullptr) {
        return;
    }
    device->SetStreamSource(0, buffer, lockOffset, kVertexSize);
    device->SetFVF(d3d::FVF_POSITION_NORMAL_DIFFUSE_TEX1);
    device->DrawPrimitive(d3d::PT_TRIANGLELIST, 0, TriangleCount());
}
