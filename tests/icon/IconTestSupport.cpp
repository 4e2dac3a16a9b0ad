#include "IconTestSupport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>

#include "support/TestSupport.h"

namespace {

void Put(std::vector<uint8_t>& out, uint32_t value, int size = 4)
{
    for (int i = 0; i < size; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}
void PutFixed(std::vector<uint8_t>& out, float value)
{
    Put(out, static_cast<uint32_t>(std::lround(value * 4096.0f)), 2);
}

Vector3 Sub(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 Negated(const Vector3& a) { return {-a.x, -a.y, -a.z}; }
uint16_t Texel(unsigned red, unsigned green, unsigned blue) { return static_cast<uint16_t>(red | green << 5 | blue << 10); }

}  // namespace

std::vector<uint8_t> EncodeIconModel(const std::vector<FileVertex>& vertices, uint32_t shapeCount,
                                     const RawTexture& texture, uint32_t frameCount)
{
    std::vector<uint8_t> out;
    Put(out, 0x00010000), Put(out, shapeCount), Put(out, texture.empty() ? 0x00 : 0x07), Put(out, 0x3F800000);
    Put(out, static_cast<uint32_t>(vertices.size()));
    for (const FileVertex& vertex : vertices) {
        for (uint32_t shape = 0; shape < shapeCount; ++shape) {
            const Vector3& p = vertex.positions.at(shape);
            PutFixed(out, p.x), PutFixed(out, p.y), PutFixed(out, p.z), PutFixed(out, 0);
        }
        Put(out, 0), Put(out, 0);  // the normal
        PutFixed(out, vertex.u), PutFixed(out, vertex.v), Put(out, vertex.colour);
    }
    Put(out, 1), Put(out, 30), Put(out, 0x3F800000), Put(out, 0), Put(out, frameCount);
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        Put(out, frame), Put(out, 1), Put(out, 0), Put(out, 0x3F800000);  // one key each
    }
    for (const uint16_t texel : texture) {
        Put(out, texel, 2);
    }
    return out;
}

RawTexture UniformTexture(uint16_t texel) { return RawTexture(128 * 128, texel); }

RawTexture QuadrantTexture()
{
    RawTexture texture(128 * 128);
    for (unsigned y = 0; y < 128; ++y) {
        for (unsigned x = 0; x < 128; ++x) {
            const bool grid = x % 16 < 2 || y % 16 < 2;
            texture[y * 128 + x] = grid     ? Texel(31, 31, 31)
                                   : y < 64 ? (x < 64 ? Texel(31, 4, 4) : Texel(4, 28, 4))
                                            : (x < 64 ? Texel(4, 8, 31) : Texel(30, 28, 2));
        }
    }
    return texture;
}

std::vector<uint8_t> SyntheticIconModel()
{
    // Corners as drawn (y up, the camera at z = 7.5 looking towards -z), centred on the camera's height.
    auto corner = [](const int* c, int shape) {
        Vector3 p{1.25f * static_cast<float>(c[0]), c[1] > 0 ? 3.75f : 0.75f, 1.25f * static_cast<float>(c[2])};
        if (shape == 1 && c[1] > 0) {  // the top turns a little and narrows
            const float x = p.x * 0.7f, z = p.z * 0.7f;
            p = {x * 0.9f - z * 0.4f, 4.0f, x * 0.4f + z * 0.9f};
        }
        // Turned by 30 degrees, so that two sides face the camera at time 0.
        const float cs = 0.8660254f, s = 0.5f;
        return Negated({p.x * cs - p.z * s, p.y, p.x * s + p.z * cs});
    };
    const int faces[6][4][3] = {
        {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},     {{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}},
        {{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1}},     {{-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}},
        {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},     {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}},
    };
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const Vector3 centre = Negated({0.0f, 2.25f, 0.0f});
    std::vector<FileVertex> vertices;
    for (const auto& face : faces) {
        for (const auto& triangle : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            std::array<int, 3> order = triangle;
            const Vector3 p0 = corner(face[order[0]], 0), p1 = corner(face[order[1]], 0), p2 = corner(face[order[2]], 0);
            // The outside turns counter-clockwise about its outward direction, as the camera sees it.
            const Vector3 outward = Sub({(p0.x + p1.x + p2.x) / 3, (p0.y + p1.y + p2.y) / 3, (p0.z + p1.z + p2.z) / 3}, centre);
            const Vector3 a = Sub(p1, p0), b = Sub(p2, p0);
            const Vector3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
            if (n.x * outward.x + n.y * outward.y + n.z * outward.z < 0) {
                std::swap(order[1], order[2]);
            }
            for (const int k : order) {
                // Lower corners warm, upper corners as the texture is.
                vertices.push_back({{corner(face[k], 0), corner(face[k], 1)}, uv[k][0], uv[k][1],
                                    face[k][1] > 0 ? 0xFF808080u : 0xFF905838u});
            }
        }
    }
    return EncodeIconModel(vertices, 2, QuadrantTexture(), 2);
}

std::string WritePs2Save(const std::string& folder, const std::vector<uint8_t>& model, const std::string& modelName)
{
    WriteBytes(folder + modelName, model);
    WriteBytes(folder + "icon.sys", MakeIconSys("TEST", 0, modelName));
    return folder + "icon.sys";
}

std::vector<uint8_t> MakePlainPS1Save(const std::vector<uint8_t>& levels)
{
    std::vector<uint8_t> save = MakePS1Save("PLAIN", 1, static_cast<uint8_t>(0x10 | levels.size()));
    for (size_t k = 0; k < levels.size(); ++k) {
        std::memset(save.data() + 0x80 + 128 * k, levels[k] | levels[k] << 4, 128);
    }
    return save;
}

uint32_t PlainPS1Colour(uint8_t level)
{
    // The palette entry of index i is a grey of 5-bit level 2i.
    const uint32_t channel = std::min(2u * level * 256u / 31u, 255u);
    return 0xFF000000u | channel << 16 | channel << 8 | channel;
}

DeviceFrame RenderAt(IconObjectBase& object, SoftwareDevice& device, uint32_t time)
{
    object.Update(time), object.Render();
    return device.BackBuffer();
}

uint32_t PixelAt(const DeviceFrame& frame, uint32_t x, uint32_t y) { return frame.pixels.at(y * frame.width + x); }

void FakeOwner::PresentIconFrame(const DeviceFrame& frame)
{
    {
        const std::lock_guard guard(mutex);
        last = frame;
        ++frames;
    }
    presented.notify_all();
}

bool FakeOwner::WaitForFramesAfter(uint64_t count)
{
    std::unique_lock guard(mutex);
    return presented.wait_for(guard, std::chrono::seconds(30), [&] { return frames > count; });
}

uint64_t FakeOwner::FrameCount() { const std::lock_guard guard(mutex); return frames; }
DeviceFrame FakeOwner::LastFrame() { const std::lock_guard guard(mutex); return last; }

std::vector<FileVertex> Square(float half, float z, uint32_t colour, bool facingCamera)
{
    // As seen from the camera: top left, top right, bottom right, bottom left; drawn x is mirrored.
    const float corners[4][2] = {{-half, half}, {half, half}, {half, -half}, {-half, -half}};
    const int front[6] = {0, 3, 2, 0, 2, 1}, back[6] = {0, 1, 2, 0, 2, 3};
    std::vector<FileVertex> vertices;
    for (const int k : facingCamera ? front : back) {
        vertices.push_back({{Negated({-corners[k][0], 2.25f + corners[k][1], z})}, corners[k][0] > 0 ? 1.0f : 0.0f,
                            corners[k][1] > 0 ? 0.0f : 1.0f, colour});
    }
    return vertices;
}
