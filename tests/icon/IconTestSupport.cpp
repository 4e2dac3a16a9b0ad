#include "IconTestSupport.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "support/TestSupport.h"

namespace {

class Bytes {
public:
    void U32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    void S16(int32_t value)
    {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    void Fixed(float value) { S16(static_cast<int32_t>(std::lround(value * 4096.0f))); }
    std::vector<uint8_t> bytes;
};

Vector3 Sub(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 Cross(const Vector3& a, const Vector3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector3 Negated(const Vector3& a) { return {-a.x, -a.y, -a.z}; }

uint16_t Texel(unsigned red, unsigned green, unsigned blue)
{
    return static_cast<uint16_t>(red | green << 5 | blue << 10);
}

}  // namespace

std::vector<uint8_t> EncodeIconModel(const std::vector<FileVertex>& vertices, uint32_t shapeCount,
                                     const RawTexture& texture, uint32_t frameCount)
{
    Bytes out;
    out.U32(0x00010000);
    out.U32(shapeCount);
    out.U32(texture.empty() ? 0x00 : 0x07);
    out.U32(0x3F800000);
    out.U32(static_cast<uint32_t>(vertices.size()));
    for (const FileVertex& vertex : vertices) {
        for (uint32_t shape = 0; shape < shapeCount; ++shape) {
            const Vector3& p = vertex.positions.at(shape);
            out.Fixed(p.x);
            out.Fixed(p.y);
            out.Fixed(p.z);
            out.S16(0);
        }
        out.S16(0);
        out.S16(0);
        out.S16(0);
        out.S16(0);
        out.Fixed(vertex.u);
        out.Fixed(vertex.v);
        out.U32(vertex.colour);
    }
    out.U32(1);
    out.U32(30);
    out.U32(0x3F800000);
    out.U32(0);
    out.U32(frameCount);
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        out.U32(frame);
        out.U32(1);
        out.U32(0);
        out.U32(0x3F800000);
    }
    for (const uint16_t texel : texture) {
        out.S16(texel);
    }
    return out.bytes;
}

RawTexture UniformTexture(uint16_t texel) { return RawTexture(128 * 128, texel); }

RawTexture QuadrantTexture()
{
    RawTexture texture(128 * 128);
    for (unsigned y = 0; y < 128; ++y) {
        for (unsigned x = 0; x < 128; ++x) {
            uint16_t texel = 0;
            if (x % 16 < 2 || y % 16 < 2) {
                texel = Texel(31, 31, 31);
            } else if (y < 64) {
                texel = x < 64 ? Texel(31, 4, 4) : Texel(4, 28, 4);
            } else {
                texel = x < 64 ? Texel(4, 8, 31) : Texel(30, 28, 2);
            }
            texture[y * 128 + x] = texel;
        }
    }
    return texture;
}

std::vector<uint8_t> SyntheticIconModel()
{
    // Corners as drawn (y up, the camera at z = 7.5 looking towards -z): x and z
    // from -1.25 to 1.25 before the box turns, y from 0.75 to 3.75, centred on
    // the camera's height.
    auto corner = [](int cx, int cy, int cz, int shape) {
        Vector3 p{1.25f * static_cast<float>(cx), cy > 0 ? 3.75f : 0.75f, 1.25f * static_cast<float>(cz)};
        if (shape == 1 && cy > 0) {
            // The top turns a little and narrows.
            const float x = p.x * 0.7f, z = p.z * 0.7f;
            p.x = x * 0.9f - z * 0.4f;
            p.z = x * 0.4f + z * 0.9f;
            p.y = 4.0f;
        }
        // Turned by 30 degrees, so that two sides face the camera at time 0.
        const float c = 0.8660254f, s = 0.5f;
        return Vector3{p.x * c - p.z * s, p.y, p.x * s + p.z * c};
    };
    // The corners of each side, around it; the texture runs from (0, 0) to (1, 1) over them.
    const int faces[6][4][3] = {
        {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},     {{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}},
        {{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1}},     {{-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}},
        {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},     {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}},
    };
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const int triangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
    const Vector3 centre = Negated({0.0f, 2.25f, 0.0f});
    std::vector<FileVertex> vertices;
    for (const auto& face : faces) {
        for (const auto& triangle : triangles) {
            int order[3] = {triangle[0], triangle[1], triangle[2]};
            Vector3 p[3];
            for (int k = 0; k < 3; ++k) {
                const int* c = face[order[k]];
                p[k] = Negated(corner(c[0], c[1], c[2], 0));
            }
            // The outside turns counter-clockwise about the outward direction in
            // file coordinates, which the camera sees counter-clockwise on screen.
            const Vector3 outward = Sub({(p[0].x + p[1].x + p[2].x) / 3, (p[0].y + p[1].y + p[2].y) / 3,
                                         (p[0].z + p[1].z + p[2].z) / 3},
                                        centre);
            if (Dot(Cross(Sub(p[1], p[0]), Sub(p[2], p[0])), outward) < 0) {
                std::swap(order[1], order[2]);
            }
            for (const int k : order) {
                const int* c = face[k];
                FileVertex vertex;
                vertex.positions = {Negated(corner(c[0], c[1], c[2], 0)), Negated(corner(c[0], c[1], c[2], 1))};
                vertex.u = uv[k][0];
                vertex.v = uv[k][1];
                // Lower corners warm, upper corners as the texture is.
                vertex.colour = c[1] > 0 ? 0xFF808080 : 0xFF905838;
                vertices.push_back(vertex);
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
    object.Update(time);
    object.Render();
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

uint64_t FakeOwner::FrameCount()
{
    const std::lock_guard guard(mutex);
    return frames;
}

DeviceFrame FakeOwner::LastFrame()
{
    const std::lock_guard guard(mutex);
    return last;
}

std::vector<FileVertex> Square(float half, float z, uint32_t colour, bool facingCamera)
{
    // As seen from the camera: top left, top right, bottom right, bottom left.
    const float corners[4][2] = {{-half, half}, {half, half}, {half, -half}, {-half, -half}};
    // Drawn x is mirrored by the camera, which looks towards -z.
    const int front[6] = {0, 3, 2, 0, 2, 1};
    const int back[6] = {0, 1, 2, 0, 2, 3};
    std::vector<FileVertex> vertices;
    for (const int k : facingCamera ? front : back) {
        FileVertex vertex;
        vertex.positions = {Negated({-corners[k][0], 2.25f + corners[k][1], z})};
        vertex.u = corners[k][0] > 0 ? 1.0f : 0.0f;
        vertex.v = corners[k][1] > 0 ? 0.0f : 1.0f;
        vertex.colour = colour;
        vertices.push_back(vertex);
    }
    return vertices;
}
