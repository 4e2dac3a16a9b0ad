#include "icon/SoftwareDevice.h"

#include "common/Log.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Every step runs in one thread in a fixed order, and coverage is decided in
// integer arithmetic, so the same calls give the same pixels everywhere.
// States outside the subset the icon objects use are stored and have no effect:
// lighting is never applied, blending and alpha testing stay off, the depth
// comparison is always less-or-equal and addressing always clamps.

namespace {

// Sizes beyond anything a pane or an icon needs: a device is clamped to it,
// a texture or a buffer beyond it is refused as Direct3D refuses what it cannot hold.
constexpr uint32_t kMaxDeviceSide = 8192;
constexpr uint32_t kMaxTextureSide = 4096;
constexpr size_t kMaxTextureLevels = std::bit_width(kMaxTextureSide);
constexpr uint32_t kMaxVertexBufferBytes = 64u << 20;
// Pixels a frame may look at, per pixel of the target: every real icon stays far
// below (the sample icons all draw whole); 64 keeps a frame of the pane well under 100 ms.
constexpr uint64_t kFrameBudgetPerPixel = 64;

// Screen positions snap to 1/256 pixel, so that two triangles sharing an edge
// agree exactly on every pixel centre along it.
constexpr int kSubpixelBits = 8;
constexpr int64_t kSubpixel = int64_t{1} << kSubpixelBits;

// Clip space bounds besides the near and far planes: w stays positive, and x and y
// stay within a guard band wide enough to be invisible yet keep snapped
// coordinates small enough for exact 64-bit edge arithmetic.
constexpr float kMinW = 1.0e-5f;
constexpr float kGuardBand = 8.0f;
constexpr int kPlaneCount = 7;
constexpr size_t kMaxPolygon = 3 + kPlaneCount;

constexpr uint32_t FVF_XYZ = 0x002;
constexpr uint32_t FVF_NORMAL = 0x010;
constexpr uint32_t FVF_DIFFUSE = 0x040;
constexpr uint32_t FVF_TEX1 = 0x100;
constexpr uint32_t TA_SELECTMASK = 0xF;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

struct VertexLayout {
    uint32_t size = 0;
    int32_t diffuseOffset = -1;
    int32_t uvOffset = -1;
};

// Position, optionally normal, diffuse colour and one 2D texture coordinate, in that order.
bool LayoutOf(uint32_t fvf, VertexLayout& layout)
{
    if ((fvf & FVF_XYZ) == 0 || (fvf & ~(FVF_XYZ | FVF_NORMAL | FVF_DIFFUSE | FVF_TEX1)) != 0) {
        return false;
    }
    layout = {};
    layout.size = 12;
    if ((fvf & FVF_NORMAL) != 0) {
        layout.size += 12;
    }
    if ((fvf & FVF_DIFFUSE) != 0) {
        layout.diffuseOffset = static_cast<int32_t>(layout.size);
        layout.size += 4;
    }
    if ((fvf & FVF_TEX1) != 0) {
        layout.uvOffset = static_cast<int32_t>(layout.size);
        layout.size += 8;
    }
    return true;
}

uint64_t VerticesFor(uint32_t type, uint32_t primitiveCount)
{
    if (primitiveCount == 0) {
        return 0;
    }
    if (type == d3d::PT_TRIANGLELIST) {
        return uint64_t{primitiveCount} * 3;
    }
    if (type == d3d::PT_TRIANGLESTRIP) {
        return uint64_t{primitiveCount} + 2;
    }
    return 0;
}

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

Rgba Unpack(uint32_t c)
{
    return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF),
            static_cast<int>(c >> 24)};
}

uint32_t Pack(const Rgba& c)
{
    return static_cast<uint32_t>(c.a) << 24 | static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 |
           static_cast<uint32_t>(c.b);
}

// NaN goes to the low bound, so no float ever reaches an integer conversion unchecked.
float ClampFloat(float v, float low, float high) { return v > low ? (v < high ? v : high) : low; }

int RoundChannel(float v) { return static_cast<int>(ClampFloat(v, 0.0f, 255.0f) + 0.5f); }

// Four channels or attributes side by side (the vector extensions of GCC and
// Clang). Each lane goes through the same operations in the same order as the
// single float it stands for, so the results are the same bit for bit.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));
using UInt4 = uint32_t __attribute__((vector_size(16)));

Float4 Splat(float v) { return Float4{v, v, v, v}; }

// ClampFloat in every lane.
Float4 ClampLanes(Float4 v, Float4 low, Float4 high) { return v > low ? (v < high ? v : high) : low; }

// RoundChannel in every lane.
Int4 RoundChannels(Float4 v)
{
    return __builtin_convertvector(ClampLanes(v, Splat(0.0f), Splat(255.0f)) + 0.5f, Int4);
}

// The lanes of a colour are in its memory order: blue, green, red, alpha.
Float4 Channels(uint32_t c)
{
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(c));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
#else
    return __builtin_convertvector(Int4{static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF),
                                        static_cast<int32_t>((c >> 16) & 0xFF), static_cast<int32_t>(c >> 24)},
                                   Float4);
#endif
}

Rgba FromChannels(Int4 c) { return {c[2], c[1], c[0], c[3]}; }

// log2 in every lane, from the exact exponent and a quadratic through the mantissa's
// ends: within 0.01 of the true value, and made only of exactly rounded operations.
// Only ever asked for normal positive values, whose bits give both parts.
Float4 Log2Lanes(Float4 x)
{
    const auto bits = std::bit_cast<UInt4>(x);
    const Float4 exponent = __builtin_convertvector(std::bit_cast<Int4>(bits >> 23) - 127, Float4);
    const Float4 mantissa = std::bit_cast<Float4>((bits & 0x007FFFFFu) | 0x3F800000u);  // [1, 2)
    const Float4 fraction = ((-1.0f / 3.0f) * mantissa + 2.0f) * mantissa - 5.0f / 3.0f;
    return exponent + fraction;
}

struct ClipVertex {
    float x, y, z, w;
    float r, g, b, a;  // 0 to 255
    float u, v;
};

bool IsFinite(const ClipVertex& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

float PlaneDistance(const ClipVertex& v, int plane)
{
    switch (plane) {
    case 0: return v.w - kMinW;
    case 1: return v.z;  // near
    case 2: return v.w - v.z;  // far
    case 3: return kGuardBand * v.w - v.x;
    case 4: return kGuardBand * v.w + v.x;
    case 5: return kGuardBand * v.w - v.y;
    default: return kGuardBand * v.w + v.y;
    }
}

uint32_t Outcode(const ClipVertex& v)
{
    uint32_t code = 0;
    for (int plane = 0; plane < kPlaneCount; ++plane) {
        if (!(PlaneDistance(v, plane) >= 0.0f)) {
            code |= 1u << plane;
        }
    }
    return code;
}

// Always from the inside vertex towards the outside one, so that an edge two
// triangles share is cut at the same point in both.
ClipVertex Intersect(const ClipVertex& in, float dIn, const ClipVertex& out, float dOut)
{
    const float t = dIn / (dIn - dOut);
    auto mix = [t](float p, float q) { return p + t * (q - p); };
    return {mix(in.x, out.x), mix(in.y, out.y), mix(in.z, out.z), mix(in.w, out.w), mix(in.r, out.r),
            mix(in.g, out.g), mix(in.b, out.b), mix(in.a, out.a), mix(in.u, out.u), mix(in.v, out.v)};
}

size_t ClipPolygon(const ClipVertex* in, size_t count, int plane, ClipVertex* out)
{
    size_t written = 0;
    for (size_t i = 0; i < count; ++i) {
        const ClipVertex& current = in[i];
        const ClipVertex& next = in[(i + 1) % count];
        const float dCurrent = PlaneDistance(current, plane);
        const float dNext = PlaneDistance(next, plane);
        if (dCurrent >= 0.0f) {
            out[written++] = current;
            if (dNext < 0.0f) {
                out[written++] = Intersect(current, dCurrent, next, dNext);
            }
        } else if (dNext >= 0.0f) {
            out[written++] = Intersect(next, dNext, current, dCurrent);
        }
    }
    return written;
}

// One vertex after the divide by w: position snapped to 1/256 pixel, attributes divided by w.
struct ScreenVertex {
    int64_t x = 0, y = 0;
    Float4 zquv{};  // depth, 1/w, u/w, v/w
    Float4 colour{};  // blue, green, red, alpha, each over w
};
constexpr int kLaneZ = 0, kLaneQ = 1, kLaneU = 2, kLaneV = 3;

class TextureSampler {
public:
    void Reset(const DeviceTexture* texture, uint32_t mag, uint32_t min, uint32_t mip)
    {
        levels = texture != nullptr && !texture->Levels().empty() ? &texture->Levels() : nullptr;
        magFilter = mag;
        minFilter = min;
        mipFilter = mip;
        if (levels != nullptr) {
            width0 = static_cast<float>(levels->front().width);
            height0 = static_cast<float>(levels->front().height);
            for (size_t i = 0; i < levels->size() && i < views.size(); ++i) {
                const DeviceTexture::Level& level = (*levels)[i];
                views[i] = {level.padded.data(), level.width + 1, static_cast<float>(level.width),
                            static_cast<float>(level.height)};
            }
        }
    }
    bool Active() const { return levels != nullptr; }
    // The pane's filtering, which SampleLanes does four pixels at a time.
    bool AllLinear() const
    {
        return levels != nullptr && levels->size() <= views.size() && magFilter == d3d::TEXF_LINEAR &&
               minFilter == d3d::TEXF_LINEAR && mipFilter == d3d::TEXF_LINEAR;
    }

    // Level of detail from how many level-0 texels one pixel step crosses.
    // The derivatives are du/dx, dv/dx, du/dy, dv/dy.
    float Lod(Float4 derivatives) const
    {
        return LodLanes(Splat(derivatives[0]), Splat(derivatives[1]), Splat(derivatives[2]), Splat(derivatives[3]))[0];
    }

    // Lod for four pixels, one in each lane: 0 when magnified (NaN included).
    Float4 LodLanes(Float4 dudx, Float4 dvdx, Float4 dudy, Float4 dvdy) const
    {
        const Float4 ux = dudx * width0, vx = dvdx * height0, uy = dudy * width0, vy = dvdy * height0;
        const Float4 x = ux * ux + vx * vx;
        const Float4 y = uy * uy + vy * vy;
        const Float4 rho2 = x < y ? y : x;
        const Float4 minified = rho2 == std::numeric_limits<float>::infinity()
                                    ? Splat(static_cast<float>(levels->size()))
                                    : 0.5f * Log2Lanes(rho2);
        return rho2 > 1.0f ? minified : Splat(0.0f);
    }

    // Sample with all filters linear for four pixels, one in each lane: the
    // channel sums in the order blue, green, red, alpha, each rounded.
    std::array<Int4, 4> SampleLanes(Float4 u, Float4 v, Float4 lod) const
    {
        // As the one-pixel Sample: no level of detail above 0 (NaN included) reads level 0 alone,
        // and a lane between two levels reads the second with the fraction's weight.
        const auto last = static_cast<int32_t>(levels->size() - 1);
        const Float4 top = Splat(static_cast<float>(last));
        const Float4 clamped = lod > 0.0f ? (top < lod ? top : lod) : Splat(0.0f);
        const Int4 level = __builtin_convertvector(clamped, Int4);
        const Float4 fraction = clamped - __builtin_convertvector(level, Float4);
        const Int4 both = (level < last) & (fraction != 0.0f);
        const Float4 secondWeight = both ? fraction : Splat(0.0f);
        std::array<uint32_t, 4> first{}, second{};
        for (int lane = 0; lane < 4; ++lane) {
            first[lane] = static_cast<uint32_t>(level[lane]);
            second[lane] = static_cast<uint32_t>(level[lane] + (both[lane] != 0 ? 1 : 0));
        }
        std::array<Float4, 4> sum{};
        FilterLanes(first, u, v, both ? 1.0f - fraction : Splat(1.0f), sum);
        // Lanes of one level read their level again with weight 0 here, which adds exactly nothing.
        if (both[0] != 0 || both[1] != 0 || both[2] != 0 || both[3] != 0) {
            FilterLanes(second, u, v, secondWeight, sum);
        }
        return {RoundChannels(sum[0]), RoundChannels(sum[1]), RoundChannels(sum[2]), RoundChannels(sum[3])};
    }

    Int4 Sample(float u, float v, float lod) const
    {
        Float4 sum{};
        const size_t last = levels->size() - 1;
        if (!(lod > 0.0f)) {
            Filter(0, u, v, magFilter, 1.0f, sum);
        } else if (mipFilter == d3d::TEXF_NONE) {
            Filter(0, u, v, minFilter, 1.0f, sum);
        } else {
            lod = std::min(lod, static_cast<float>(last));
            if (mipFilter == d3d::TEXF_POINT) {
                Filter(static_cast<size_t>(lod + 0.5f), u, v, minFilter, 1.0f, sum);
            } else {
                const auto level = static_cast<size_t>(lod);
                const float fraction = lod - static_cast<float>(level);
                if (level >= last || fraction == 0.0f) {
                    Filter(level, u, v, minFilter, 1.0f, sum);
                } else {
                    Filter(level, u, v, minFilter, 1.0f - fraction, sum);
                    Filter(level + 1, u, v, minFilter, fraction, sum);
                }
            }
        }
        return RoundChannels(sum);
    }

private:
    static void Add(Float4& sum, uint32_t texel, float weight) { sum += Splat(weight) * Channels(texel); }

    void Filter(size_t index, float u, float v, uint32_t filter, float weight, Float4& sum) const
    {
        const DeviceTexture::Level& level = (*levels)[index];
        const float w = static_cast<float>(level.width);
        const float h = static_cast<float>(level.height);
        const uint32_t* texels = level.texels.data();
        if (filter == d3d::TEXF_POINT || filter == d3d::TEXF_NONE) {
            const auto x = static_cast<uint32_t>(ClampFloat(u * w, 0.0f, w - 1.0f));
            const auto y = static_cast<uint32_t>(ClampFloat(v * h, 0.0f, h - 1.0f));
            Add(sum, texels[y * level.width + x], weight);
            return;
        }
        // Texel centres sit at half-integers; clamping the position clamps both taps to the edge.
        const float s = ClampFloat(u * w - 0.5f, 0.0f, w - 1.0f);
        const float t = ClampFloat(v * h - 0.5f, 0.0f, h - 1.0f);
        const auto x0 = static_cast<uint32_t>(s);
        const auto y0 = static_cast<uint32_t>(t);
        const float fx = s - static_cast<float>(x0);
        const float fy = t - static_cast<float>(y0);
        const uint32_t x1 = std::min(x0 + 1, level.width - 1);
        const uint32_t y1 = std::min(y0 + 1, level.height - 1);
        Add(sum, texels[y0 * level.width + x0], weight * (1.0f - fx) * (1.0f - fy));
        Add(sum, texels[y0 * level.width + x1], weight * fx * (1.0f - fy));
        Add(sum, texels[y1 * level.width + x0], weight * (1.0f - fx) * fy);
        Add(sum, texels[y1 * level.width + x1], weight * fx * fy);
    }

    // Filter's linear branch for four pixels, each lane at its own level.
    void FilterLanes(const std::array<uint32_t, 4>& level, Float4 u, Float4 v, Float4 weight,
                     std::array<Float4, 4>& sum) const
    {
        Float4 w{}, h{};
        for (int lane = 0; lane < 4; ++lane) {
            w[lane] = views[level[lane]].w;
            h[lane] = views[level[lane]].h;
        }
        const Float4 s = ClampLanes(u * w - 0.5f, Splat(0.0f), w - 1.0f);
        const Float4 t = ClampLanes(v * h - 0.5f, Splat(0.0f), h - 1.0f);
        const Int4 x0 = __builtin_convertvector(s, Int4);
        const Int4 y0 = __builtin_convertvector(t, Int4);
        const Float4 fx = s - __builtin_convertvector(x0, Float4);
        const Float4 fy = t - __builtin_convertvector(y0, Float4);
        std::array<UInt4, 4> taps{};
        for (int lane = 0; lane < 4; ++lane) {
            const LevelView& view = views[level[lane]];
            // Within the level (the clamps above), so its padded neighbours are there.
            const uint32_t* tap = view.padded + static_cast<size_t>(y0[lane]) * view.stride + static_cast<size_t>(x0[lane]);
            taps[0][lane] = tap[0];
            taps[1][lane] = tap[1];
            taps[2][lane] = tap[view.stride];
            taps[3][lane] = tap[view.stride + 1];
        }
        const std::array<Float4, 4> weights{weight * (1.0f - fx) * (1.0f - fy), weight * fx * (1.0f - fy),
                                            weight * (1.0f - fx) * fy, weight * fx * fy};
        // Bytes as signed lanes: their conversion to float is one instruction, an unsigned one several.
        Float4 blue = sum[0], green = sum[1], red = sum[2], alpha = sum[3];
        for (size_t tap = 0; tap < 4; ++tap) {
            // A vector cast keeps the bits; the lanes hold bytes below 2^31 after the masks.
            const Int4 texels = (Int4)taps[tap];
            blue += weights[tap] * __builtin_convertvector(texels & 0xFF, Float4);
            green += weights[tap] * __builtin_convertvector((texels >> 8) & 0xFF, Float4);
            red += weights[tap] * __builtin_convertvector((texels >> 16) & 0xFF, Float4);
            alpha += weights[tap] * __builtin_convertvector((texels >> 24) & 0xFF, Float4);
        }
        sum = {blue, green, red, alpha};
    }

    struct LevelView {
        const uint32_t* padded = nullptr;
        uint32_t stride = 0;
        float w = 0, h = 0;
    };
    std::array<LevelView, kMaxTextureLevels> views{};

    const std::vector<DeviceTexture::Level>* levels = nullptr;
    float width0 = 0, height0 = 0;
    uint32_t magFilter = d3d::TEXF_LINEAR, minFilter = d3d::TEXF_LINEAR, mipFilter = d3d::TEXF_LINEAR;
};

// Pixels from (x0, y0) to (x1, y1), both included; none when x0 > x1.
struct Box {
    int64_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;

    void Add(int64_t left, int64_t top, int64_t right, int64_t bottom)
    {
        if (x0 > x1) {
            *this = {left, top, right, bottom};
            return;
        }
        x0 = std::min(x0, left);
        y0 = std::min(y0, top);
        x1 = std::max(x1, right);
        y1 = std::max(y1, bottom);
    }
};

// One value over a whole buffer, then writes only inside a box: a clear to the
// same value again has only that box to fill.
template <class T>
class ClearedBuffer {
public:
    ClearedBuffer(size_t bufferWidth, size_t bufferHeight, T value)
        : values(bufferWidth * bufferHeight, value), width(bufferWidth), clearValue(value)
    {
    }

    T* Data() { return values.data(); }
    std::vector<T>& Values() { return values; }
    const std::vector<T>& Values() const { return values; }
    // Pixels in the box may have been written.
    void Touch(const Box& box) { written.Add(box.x0, box.y0, box.x1, box.y1); }

    void Clear(T value)
    {
        if (std::memcmp(&value, &clearValue, sizeof value) != 0) {
            std::fill(values.begin(), values.end(), value);
        } else if (written.x0 <= written.x1) {
            for (int64_t y = written.y0; y <= written.y1; ++y) {
                const auto row = values.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(y) * width);
                std::fill(row + written.x0, row + written.x1 + 1, value);
            }
        }
        clearValue = value;
        written = {};
    }

private:
    std::vector<T> values;
    size_t width;
    T clearValue;
    Box written;
};

// What the fixed-function stages ask of one draw.
struct PixelState {
    bool depthTest = true;
    bool depthWrite = true;
    uint32_t cullMode = d3d::CULL_CCW;
    uint32_t colourOp = d3d::TOP_MODULATE;
    uint32_t colourArg1 = d3d::TA_TEXTURE;
    uint32_t colourArg2 = d3d::TA_CURRENT;
};

// Clips, culls and fills triangles into a colour and a depth buffer.
class Rasterizer {
public:
    void SetTarget(uint32_t* colourBuffer, float* depthBuffer, uint32_t targetWidth, uint32_t targetHeight)
    {
        colour = colourBuffer;
        depth = depthBuffer;
        width = targetWidth;
        height = targetHeight;
    }

    void Begin(const PixelState& pixelState, const TextureSampler& textureSampler)
    {
        state = pixelState;
        sampler = &textureSampler;
    }

    // A frame's work is bounded: pixels looked at, counted over the bounding
    // boxes of its triangles. Real icons stay far below the bound; a file of
    // thousands of pane-filling triangles would otherwise take seconds a frame.
    void StartFrame() { spent = 0; }
    // The box around every pixel drawn since the last call.
    Box TakeDrawn() { return std::exchange(drawn, {}); }
    bool OverBudget() const { return overBudget; }
    void ClearOverBudget() { overBudget = false; }

    void Triangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c)
    {
        if (!IsFinite(a) || !IsFinite(b) || !IsFinite(c)) {
            return;
        }
        const uint32_t codeA = Outcode(a), codeB = Outcode(b), codeC = Outcode(c);
        if ((codeA & codeB & codeC) != 0) {
            return;
        }
        const uint32_t crossed = codeA | codeB | codeC;
        if (crossed == 0) {
            Project(a, b, c);
            return;
        }
        std::array<ClipVertex, kMaxPolygon> first{a, b, c};
        std::array<ClipVertex, kMaxPolygon> second{};
        ClipVertex* in = first.data();
        ClipVertex* out = second.data();
        size_t count = 3;
        for (int plane = 0; plane < kPlaneCount; ++plane) {
            if ((crossed & (1u << plane)) == 0) {
                continue;
            }
            count = ClipPolygon(in, count, plane, out);
            if (count < 3) {
                return;
            }
            std::swap(in, out);
        }
        for (size_t i = 1; i + 1 < count; ++i) {
            Project(in[0], in[i], in[i + 1]);
        }
    }

private:
    // std::floor for the finite values ToScreen clamps, without a call into the maths library.
    static int64_t Floor(double v)
    {
        const auto truncated = static_cast<int64_t>(v);
        return static_cast<double>(truncated) > v ? truncated - 1 : truncated;
    }

    // Direct3D 9's viewport: x = -1 maps to 0 and x = 1 to the width; pixel (i, j) is
    // drawn when its centre, the integer point (i, j), is covered.

    bool ToScreen(const ClipVertex& c, ScreenVertex& s) const
    {
        if (!(c.w > 0.0f)) {
            return false;
        }
        const double invW = 1.0 / static_cast<double>(c.w);
        const double x = (static_cast<double>(c.x) * invW + 1.0) * 0.5 * static_cast<double>(width);
        const double y = (1.0 - static_cast<double>(c.y) * invW) * 0.5 * static_cast<double>(height);
        // Far beyond the guard band, yet small enough that edge products fit in 64 bits.
        const double limit = 1.0e6;
        const auto subpixel = static_cast<double>(kSubpixel);
        s.x = Floor(std::clamp(x, -limit, limit) * subpixel + 0.5);
        s.y = Floor(std::clamp(y, -limit, limit) * subpixel + 0.5);
        const auto q = static_cast<float>(invW);
        s.zquv = Float4{ClampFloat(static_cast<float>(static_cast<double>(c.z) * invW), 0.0f, 1.0f), q, c.u * q,
                        c.v * q};
        s.colour = Float4{c.b, c.g, c.r, c.a} * q;
        return true;
    }

    void Project(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c)
    {
        ScreenVertex sa, sb, sc;
        if (ToScreen(a, sa) && ToScreen(b, sb) && ToScreen(c, sc)) {
            // Gouraud colours that do not vary are used as they are, without interpolation error.
            flat = a.r == b.r && a.r == c.r && a.g == b.g && a.g == c.g && a.b == b.b && a.b == c.b &&
                   a.a == b.a && a.a == c.a;
            flatColour = {RoundChannel(a.r), RoundChannel(a.g), RoundChannel(a.b), RoundChannel(a.a)};
            Fill(sa, sb, sc);
        }
    }

    struct Edge {
        int64_t stepX = 0, stepY = 0, row = 0;
    };

    // The edge from one vertex to the next of a triangle turning clockwise on screen:
    // positive inside. Pixels exactly on it count only for top and left edges.
    static Edge MakeEdge(const ScreenVertex& from, const ScreenVertex& to, int64_t px, int64_t py)
    {
        const int64_t dx = to.x - from.x;
        const int64_t dy = to.y - from.y;
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        Edge edge;
        edge.stepX = -dy * kSubpixel;
        edge.stepY = dx * kSubpixel;
        edge.row = dx * (py - from.y) - dy * (px - from.x) - (topLeft ? 0 : 1);
        return edge;
    }

    void Fill(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c)
    {
        int64_t area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (area == 0) {
            return;
        }
        // y grows downwards, so a positive area turns clockwise as seen on screen.
        const bool clockwise = area > 0;
        if ((state.cullMode == d3d::CULL_CW && clockwise) || (state.cullMode == d3d::CULL_CCW && !clockwise)) {
            return;
        }
        const ScreenVertex* v[3] = {&a, &b, &c};
        if (!clockwise) {
            std::swap(v[1], v[2]);
            area = -area;
        }
        const int64_t minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
        const int64_t minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
        const int64_t x0 = std::max<int64_t>((minX + kSubpixel - 1) >> kSubpixelBits, 0);
        const int64_t x1 = std::min<int64_t>(maxX >> kSubpixelBits, int64_t{width} - 1);
        const int64_t y0 = std::max<int64_t>((minY + kSubpixel - 1) >> kSubpixelBits, 0);
        const int64_t y1 = std::min<int64_t>(maxY >> kSubpixelBits, int64_t{height} - 1);
        if (x0 > x1 || y0 > y1) {
            return;
        }
        const auto box = static_cast<uint64_t>(x1 - x0 + 1) * static_cast<uint64_t>(y1 - y0 + 1);
        if (spent + box > kFrameBudgetPerPixel * uint64_t{width} * uint64_t{height}) {
            overBudget = true;
            return;
        }
        spent += box;
        drawn.Add(x0, y0, x1, y1);
        // Edge k lies opposite vertex k, so its value over the area is vertex k's weight.
        std::array<Edge, 3> edges{MakeEdge(*v[1], *v[2], x0 * kSubpixel, y0 * kSubpixel),
                                  MakeEdge(*v[2], *v[0], x0 * kSubpixel, y0 * kSubpixel),
                                  MakeEdge(*v[0], *v[1], x0 * kSubpixel, y0 * kSubpixel)};
        Setup(v, area, edges);
        if (sampler->AllLinear()) {
            // Pixels of one triangle never overlap, so their depth tests do not depend on
            // each other: they are shaded in fours, the last group of the triangle padded.
            PixelGroup group;
            Scan(x0, x1, y0, y1, edges, [&](uint32_t index, float l0, float l1, float l2) {
                group.Add(index, l0, l1, l2);
                if (group.count == 4) {
                    ShadeFour(group);
                    group.count = 0;
                }
            });
            if (group.count != 0) {
                ShadeFour(group);
            }
        } else {
            Scan(x0, x1, y0, y1, edges, [this](uint32_t index, float l0, float l1, float l2) {
                Shade(index, l0, l1, l2);
            });
        }
    }

    // Calls shade(index, l0, l1, l2) for each pixel of the box the triangle covers, with its vertex weights.
    template <class ShadeFunction>
    void Scan(int64_t x0, int64_t x1, int64_t y0, int64_t y1, std::array<Edge, 3> edges, ShadeFunction shade) const
    {
        for (int64_t y = y0; y <= y1; ++y) {
            // A row crosses a triangle in one run: the pixels n from the box's left where every
            // edge's row + n * stepX >= 0, solved edge by edge instead of tested pixel by pixel.
            int64_t first = 0, last = x1 - x0;
            for (const Edge& edge : edges) {
                if (edge.stepX > 0) {
                    if (edge.row < 0) {
                        first = std::max(first, (-edge.row + edge.stepX - 1) / edge.stepX);
                    }
                } else if (edge.row < 0) {
                    last = -1;  // outside, and not coming closer along the row
                } else if (edge.stepX < 0) {
                    last = std::min(last, edge.row / -edge.stepX);
                }
            }
            // Only within the box is first small enough to multiply a step by.
            if (first <= last) {
                int64_t w0 = edges[0].row + first * edges[0].stepX;
                int64_t w1 = edges[1].row + first * edges[1].stepX;
                int64_t w2 = edges[2].row + first * edges[2].stepX;
                uint32_t index = static_cast<uint32_t>(y) * width + static_cast<uint32_t>(x0 + first);
                for (int64_t n = first; n <= last; ++n, ++index) {
                    shade(index, static_cast<float>(w0) * invArea, static_cast<float>(w1) * invArea,
                          static_cast<float>(w2) * invArea);
                    w0 += edges[0].stepX;
                    w1 += edges[1].stepX;
                    w2 += edges[2].stepX;
                }
            }
            for (Edge& edge : edges) {
                edge.row += edge.stepY;
            }
        }
    }

    // Up to four covered pixels, one to a lane.
    struct PixelGroup {
        std::array<uint32_t, 4> index{};
        Float4 l0{}, l1{}, l2{};
        int count = 0;

        void Add(uint32_t pixel, float w0, float w1, float w2)
        {
            index[count] = pixel;
            l0[count] = w0;
            l1[count] = w1;
            l2[count] = w2;
            ++count;
        }
    };

    // Per-triangle constants: vertex values and the screen gradients of u/w, v/w and 1/w,
    // from which each pixel gets the derivatives of u and v that pick the mip level.
    void Setup(const ScreenVertex* const* v, int64_t area, const std::array<Edge, 3>& edges)
    {
        invArea = 1.0f / static_cast<float>(area);
        for (size_t k = 0; k < 3; ++k) {
            vertex[k] = *v[k];
        }
        std::array<float, 3> gx{}, gy{};
        for (size_t k = 0; k < 3; ++k) {
            gx[k] = static_cast<float>(edges[k].stepX) * invArea;
            gy[k] = static_cast<float>(edges[k].stepY) * invArea;
        }
        const Float4 dx = Mix(gx[0], gx[1], gx[2], &ScreenVertex::zquv);
        const Float4 dy = Mix(gy[0], gy[1], gy[2], &ScreenVertex::zquv);
        textureGradients = Float4{dx[kLaneU], dx[kLaneV], dy[kLaneU], dy[kLaneV]};
        qGradients = Float4{dx[kLaneQ], dx[kLaneQ], dy[kLaneQ], dy[kLaneQ]};
    }

    // The three vertices' values weighted and summed, lane by lane.
    Float4 Mix(float l0, float l1, float l2, Float4 ScreenVertex::*field) const
    {
        return Splat(l0) * (vertex[0].*field) + Splat(l1) * (vertex[1].*field) + Splat(l2) * (vertex[2].*field);
    }

    void Shade(uint32_t index, float l0, float l1, float l2)
    {
        const Float4 zquv = Mix(l0, l1, l2, &ScreenVertex::zquv);
        const float z = ClampFloat(zquv[kLaneZ], 0.0f, 1.0f);
        if (state.depthTest && !(z <= depth[index])) {
            return;
        }
        const float invQ = 1.0f / zquv[kLaneQ];
        Rgba diffuse = flatColour;
        if (!flat) {
            diffuse = FromChannels(RoundChannels(Mix(l0, l1, l2, &ScreenVertex::colour) * invQ));
        }
        Rgba result = diffuse;
        if (sampler->Active()) {
            const float u = zquv[kLaneU] * invQ;
            const float v = zquv[kLaneV] * invQ;
            const float lod = sampler->Lod((textureGradients - Float4{u, v, u, v} * qGradients) * invQ);
            result = Combine(FromChannels(sampler->Sample(u, v, lod)), diffuse);
        }
        colour[index] = Pack(result);
        if (state.depthTest && state.depthWrite) {
            depth[index] = z;
        }
    }

    // Shade for the pixels of a group with all texture filters linear: each lane does what
    // Shade does for its pixel.
    void ShadeFour(PixelGroup& group)
    {
        // Padding lanes repeat the first pixel and are never written.
        for (int lane = group.count; lane < 4; ++lane) {
            group.index[lane] = group.index[0];
            group.l0[lane] = group.l0[0];
            group.l1[lane] = group.l1[0];
            group.l2[lane] = group.l2[0];
        }
        auto mix = [&](int lane, Float4 ScreenVertex::*field) {
            return group.l0 * (vertex[0].*field)[lane] + group.l1 * (vertex[1].*field)[lane] +
                   group.l2 * (vertex[2].*field)[lane];
        };
        const Float4 z = ClampLanes(mix(kLaneZ, &ScreenVertex::zquv), Splat(0.0f), Splat(1.0f));
        bool pass[4];
        bool any = false;
        for (int lane = 0; lane < 4; ++lane) {
            pass[lane] = lane < group.count && (!state.depthTest || z[lane] <= depth[group.index[lane]]);
            any = any || pass[lane];
        }
        if (!any) {
            return;
        }
        const Float4 invQ = 1.0f / mix(kLaneQ, &ScreenVertex::zquv);
        std::array<Int4, 4> diffuse = Lanes(flatColour);  // blue, green, red, alpha
        if (!flat) {
            for (int channel = 0; channel < 4; ++channel) {
                diffuse[channel] = RoundChannels(mix(channel, &ScreenVertex::colour) * invQ);
            }
        }
        const Float4 u = mix(kLaneU, &ScreenVertex::zquv) * invQ;
        const Float4 v = mix(kLaneV, &ScreenVertex::zquv) * invQ;
        const Float4 lod = sampler->LodLanes(
            (textureGradients[0] - u * qGradients[0]) * invQ, (textureGradients[1] - v * qGradients[1]) * invQ,
            (textureGradients[2] - u * qGradients[2]) * invQ, (textureGradients[3] - v * qGradients[3]) * invQ);
        const std::array<Int4, 4> result = CombineLanes(sampler->SampleLanes(u, v, lod), diffuse);
        // Channels of 0 to 255: packed as Pack packs them.
        const UInt4 packed = (UInt4)result[3] << 24u | (UInt4)result[2] << 16u | (UInt4)result[1] << 8u | (UInt4)result[0];
        for (int lane = 0; lane < 4; ++lane) {
            if (!pass[lane]) {
                continue;
            }
            const uint32_t index = group.index[lane];
            colour[index] = packed[lane];
            if (state.depthTest && state.depthWrite) {
                depth[index] = z[lane];
            }
        }
    }

    // x / 255 rounded down, exact for 0 <= x <= 255 x 255, and at least 255 from there
    // to 2 x 255 x 255 (where the product still fits 32 bits unsigned).
    static Int4 DivideBy255(Int4 x)
    {
        return __builtin_convertvector((__builtin_convertvector(x, UInt4) * 0x8081u) >> 23u, Int4);
    }

    // Texture stage 0 for four pixels, one in each lane; channels blue, green, red, alpha.
    // At the first stage the current colour is the diffuse colour; the alpha is the
    // texture's, as with the stage's default alpha operation.
    std::array<Int4, 4> CombineLanes(const std::array<Int4, 4>& texel, const std::array<Int4, 4>& diffuse) const
    {
        const auto& a = (state.colourArg1 & TA_SELECTMASK) == d3d::TA_TEXTURE ? texel : diffuse;
        const auto& b = (state.colourArg2 & TA_SELECTMASK) == d3d::TA_TEXTURE ? texel : diffuse;
        std::array<Int4, 4> result = diffuse;
        for (size_t channel = 0; channel < 3; ++channel) {
            switch (state.colourOp) {
            case d3d::TOP_SELECTARG1: result[channel] = a[channel]; break;
            case d3d::TOP_MODULATE: result[channel] = DivideBy255(a[channel] * b[channel]); break;
            case d3d::TOP_MODULATE2X: {
                // Truncating keeps a colour of 0x80 an exact identity: 2 * t * 128 / 255 rounds down to t.
                // Past 255 x 255 the quotient is clamped anyway: DivideBy255 need not be exact there.
                const Int4 doubled = DivideBy255(2 * a[channel] * b[channel]);
                result[channel] = doubled < 255 ? doubled : Int4{} + 255;
                break;
            }
            default: break;
            }
        }
        result[3] = texel[3];
        return result;
    }

    // One colour in every lane, channels blue, green, red, alpha.
    static std::array<Int4, 4> Lanes(const Rgba& c) { return {Int4{} + c.b, Int4{} + c.g, Int4{} + c.r, Int4{} + c.a}; }

    // CombineLanes for one pixel.
    Rgba Combine(const Rgba& texel, const Rgba& diffuse) const
    {
        const std::array<Int4, 4> combined = CombineLanes(Lanes(texel), Lanes(diffuse));
        return {combined[2][0], combined[1][0], combined[0][0], combined[3][0]};
    }

    uint32_t* colour = nullptr;
    float* depth = nullptr;
    uint32_t width = 0, height = 0;
    PixelState state;
    const TextureSampler* sampler = nullptr;

    std::array<ScreenVertex, 3> vertex{};
    float invArea = 0;
    // The screen gradients of u/w and v/w (d/dx of both, then d/dy), and of 1/w lined up with them.
    Float4 textureGradients{};
    Float4 qGradients{};
    bool flat = true;
    Rgba flatColour;
    uint64_t spent = 0;
    bool overBudget = false;
    Box drawn;
};

}  // namespace

struct SoftwareDevice::State {
    State(uint32_t w, uint32_t h) : width(w), height(h), colour(w, h, 0), depth(w, h, 1.0f)
    {
        rasterizer.SetTarget(colour.Data(), depth.Data(), w, h);
        // Direct3D 9's initial values; the depth buffer is enabled because the device has one.
        renderStates[d3d::RS_ZENABLE] = 1;
        renderStates[d3d::RS_ZWRITEENABLE] = 1;
        renderStates[d3d::RS_SRCBLEND] = d3d::BLEND_ONE;
        renderStates[d3d::RS_DESTBLEND] = d3d::BLEND_ZERO;
        renderStates[d3d::RS_CULLMODE] = d3d::CULL_CCW;
        renderStates[d3d::RS_ZFUNC] = d3d::CMP_LESSEQUAL;
        renderStates[d3d::RS_LIGHTING] = 1;
        renderStates[d3d::RS_COLORVERTEX] = 1;
        stageStates[d3d::TSS_COLOROP] = d3d::TOP_MODULATE;
        stageStates[d3d::TSS_COLORARG1] = d3d::TA_TEXTURE;
        stageStates[d3d::TSS_COLORARG2] = d3d::TA_CURRENT;
        samplerStates[d3d::SAMP_ADDRESSU] = 1;  // wrap; stored only
        samplerStates[d3d::SAMP_ADDRESSV] = 1;
        samplerStates[d3d::SAMP_MAGFILTER] = d3d::TEXF_POINT;
        samplerStates[d3d::SAMP_MINFILTER] = d3d::TEXF_POINT;
        samplerStates[d3d::SAMP_MIPFILTER] = d3d::TEXF_NONE;
    }

    void Draw(uint32_t type, uint32_t primitiveCount, const uint8_t* vertices, size_t vertexCount, uint32_t stride,
              const VertexLayout& layout)
    {
        const Matrix transform = world * view * projection;
        const auto& m = transform.m;
        const bool vertexColour = layout.diffuseOffset >= 0 && renderStates[d3d::RS_COLORVERTEX] != 0;
        transformed.resize(vertexCount);
        for (size_t i = 0; i < vertexCount; ++i) {
            const uint8_t* source = vertices + i * stride;
            float p[3];
            std::memcpy(p, source, sizeof p);
            uint32_t diffuse = kWhite;
            if (vertexColour) {
                std::memcpy(&diffuse, source + layout.diffuseOffset, sizeof diffuse);
            }
            float uv[2] = {0.0f, 0.0f};
            if (layout.uvOffset >= 0) {
                std::memcpy(uv, source + layout.uvOffset, sizeof uv);
            }
            const Rgba c = Unpack(diffuse);
            ClipVertex& out = transformed[i];
            out.x = p[0] * m[0][0] + p[1] * m[1][0] + p[2] * m[2][0] + m[3][0];
            out.y = p[0] * m[0][1] + p[1] * m[1][1] + p[2] * m[2][1] + m[3][1];
            out.z = p[0] * m[0][2] + p[1] * m[1][2] + p[2] * m[2][2] + m[3][2];
            out.w = p[0] * m[0][3] + p[1] * m[1][3] + p[2] * m[2][3] + m[3][3];
            out.r = static_cast<float>(c.r);
            out.g = static_cast<float>(c.g);
            out.b = static_cast<float>(c.b);
            out.a = static_cast<float>(c.a);
            out.u = uv[0];
            out.v = uv[1];
        }

        PixelState pixel;
        pixel.depthTest = renderStates[d3d::RS_ZENABLE] != 0;
        pixel.depthWrite = renderStates[d3d::RS_ZWRITEENABLE] != 0;
        pixel.cullMode = renderStates[d3d::RS_CULLMODE];
        pixel.colourOp = stageStates[d3d::TSS_COLOROP];
        pixel.colourArg1 = stageStates[d3d::TSS_COLORARG1];
        pixel.colourArg2 = stageStates[d3d::TSS_COLORARG2];
        sampler.Reset(texture.get(), samplerStates[d3d::SAMP_MAGFILTER], samplerStates[d3d::SAMP_MINFILTER],
                      samplerStates[d3d::SAMP_MIPFILTER]);
        rasterizer.Begin(pixel, sampler);

        for (size_t i = 0; i < primitiveCount; ++i) {
            if (type == d3d::PT_TRIANGLELIST) {
                rasterizer.Triangle(transformed[3 * i], transformed[3 * i + 1], transformed[3 * i + 2]);
            } else if (i % 2 == 0) {
                rasterizer.Triangle(transformed[i], transformed[i + 1], transformed[i + 2]);
            } else {
                // Odd triangles of a strip take their last two vertices swapped, keeping the winding.
                rasterizer.Triangle(transformed[i], transformed[i + 2], transformed[i + 1]);
            }
        }
        const Box drawn = rasterizer.TakeDrawn();
        colour.Touch(drawn);
        depth.Touch(drawn);
    }

    uint32_t width;
    uint32_t height;
    std::array<uint32_t, 256> renderStates{};
    std::array<uint32_t, 33> stageStates{};
    std::array<uint32_t, 14> samplerStates{};
    Matrix world = Matrix::Identity();
    Matrix view = Matrix::Identity();
    Matrix projection = Matrix::Identity();
    std::shared_ptr<DeviceTexture> texture;
    uint32_t fvf = 0;
    std::shared_ptr<DeviceVertexBuffer> stream;
    uint32_t streamOffset = 0;
    uint32_t streamStride = 0;

    ClearedBuffer<uint32_t> colour;
    ClearedBuffer<float> depth;
    // Reused from draw to draw: after the first frame nothing is allocated.
    std::vector<ClipVertex> transformed;
    TextureSampler sampler;
    Rasterizer rasterizer;

    std::mutex presentMutex;
    std::function<void(const DeviceFrame&)> presentTarget;
    DeviceFrame presented;
    bool budgetReported = false;
};

void* DeviceVertexBuffer::Lock(uint32_t offset, uint32_t size, uint32_t flags)
{
    if (offset > bytes.size()) {
        return nullptr;
    }
    if (size == 0) {
        size = static_cast<uint32_t>(bytes.size()) - offset;  // the rest of the buffer
    }
    if (uint64_t{offset} + size > bytes.size()) {
        return nullptr;
    }
    if ((flags & d3d::LOCK_DISCARD) != 0) {
        // Fresh memory: nothing drawn before can show through what is written next.
        std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    }
    locked = true;
    return bytes.data() + offset;
}

void DeviceVertexBuffer::Unlock() { locked = false; }

SoftwareDevice::SoftwareDevice(uint32_t w, uint32_t h)
    : state(std::make_shared<State>(std::min(w, kMaxDeviceSide), std::min(h, kMaxDeviceSide))),
      width(std::min(w, kMaxDeviceSide)),
      height(std::min(h, kMaxDeviceSide))
{
}

std::shared_ptr<DeviceTexture> SoftwareDevice::CreateTexture(uint32_t textureWidth, uint32_t textureHeight,
                                                             const uint8_t* bgraTexels)
{
    if (bgraTexels == nullptr || textureWidth == 0 || textureHeight == 0 || textureWidth > kMaxTextureSide ||
        textureHeight > kMaxTextureSide) {
        return nullptr;
    }
    try {
        auto texture = std::make_shared<DeviceTexture>();
        DeviceTexture::Level top;
        top.width = textureWidth;
        top.height = textureHeight;
        top.texels.resize(size_t{textureWidth} * textureHeight);
        for (size_t i = 0; i < top.texels.size(); ++i) {
            const uint8_t* p = bgraTexels + 4 * i;
            top.texels[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        }
        texture->levels.push_back(std::move(top));
        // Each level halves the one above with a 2 x 2 box filter, down to 1 x 1.
        while (texture->levels.back().width > 1 || texture->levels.back().height > 1) {
            const DeviceTexture::Level& above = texture->levels.back();
            DeviceTexture::Level next;
            next.width = std::max(1u, above.width / 2);
            next.height = std::max(1u, above.height / 2);
            next.texels.resize(size_t{next.width} * next.height);
            for (uint32_t y = 0; y < next.height; ++y) {
                const uint32_t ya = std::min(2 * y, above.height - 1), yb = std::min(2 * y + 1, above.height - 1);
                for (uint32_t x = 0; x < next.width; ++x) {
                    const uint32_t xa = std::min(2 * x, above.width - 1), xb = std::min(2 * x + 1, above.width - 1);
                    const Rgba c[4] = {Unpack(above.texels[ya * above.width + xa]),
                                       Unpack(above.texels[ya * above.width + xb]),
                                       Unpack(above.texels[yb * above.width + xa]),
                                       Unpack(above.texels[yb * above.width + xb])};
                    next.texels[y * next.width + x] =
                        Pack({(c[0].r + c[1].r + c[2].r + c[3].r + 2) / 4, (c[0].g + c[1].g + c[2].g + c[3].g + 2) / 4,
                              (c[0].b + c[1].b + c[2].b + c[3].b + 2) / 4, (c[0].a + c[1].a + c[2].a + c[3].a + 2) / 4});
                }
            }
            texture->levels.push_back(std::move(next));
        }
        for (DeviceTexture::Level& level : texture->levels) {
            const size_t stride = size_t{level.width} + 1;
            level.padded.resize(stride * (level.height + 1));
            for (size_t y = 0; y <= level.height; ++y) {
                const uint32_t* row = level.texels.data() + std::min<size_t>(y, level.height - 1) * level.width;
                std::copy_n(row, level.width, level.padded.data() + y * stride);
                level.padded[y * stride + level.width] = row[level.width - 1];
            }
        }
        return texture;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::shared_ptr<DeviceVertexBuffer> SoftwareDevice::CreateVertexBuffer(uint32_t length, uint32_t /*usage*/,
                                                                       uint32_t fvf)
{
    VertexLayout layout;
    if (length == 0 || length > kMaxVertexBufferBytes || (fvf != 0 && (!LayoutOf(fvf, layout) || length < layout.size))) {
        return nullptr;
    }
    try {
        auto buffer = std::make_shared<DeviceVertexBuffer>();
        buffer->bytes.assign(length, 0);
        return buffer;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void SoftwareDevice::SetRenderState(uint32_t which, uint32_t value)
{
    if (which < state->renderStates.size()) {
        state->renderStates[which] = value;
    }
}

// Only stage 0 and sampler 0 exist: the icon objects texture with one stage.
void SoftwareDevice::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value)
{
    if (stage == 0 && type < state->stageStates.size()) {
        state->stageStates[type] = value;
    }
}

void SoftwareDevice::SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value)
{
    if (sampler == 0 && type < state->samplerStates.size()) {
        state->samplerStates[type] = value;
    }
}

void SoftwareDevice::SetTransform(uint32_t which, const Matrix& matrix)
{
    switch (which) {
    case d3d::TS_WORLD: state->world = matrix; break;
    case d3d::TS_VIEW: state->view = matrix; break;
    case d3d::TS_PROJECTION: state->projection = matrix; break;
    default: break;
    }
}

void SoftwareDevice::SetTexture(uint32_t stage, std::shared_ptr<DeviceTexture> texture)
{
    if (stage == 0) {
        state->texture = std::move(texture);
    }
}

void SoftwareDevice::SetFVF(uint32_t fvf) { state->fvf = fvf; }

void SoftwareDevice::SetStreamSource(uint32_t stream, std::shared_ptr<DeviceVertexBuffer> buffer, uint32_t offset,
                                     uint32_t stride)
{
    if (stream == 0) {
        state->stream = std::move(buffer);
        state->streamOffset = offset;
        state->streamStride = stride;
    }
}

void SoftwareDevice::Clear(uint32_t flags, uint32_t colour, float z, uint32_t /*stencil*/)
{
    if ((flags & d3d::CLEAR_TARGET) != 0) {
        state->colour.Clear(colour);
        // A cleared target starts a frame, with or without BeginScene.
        state->rasterizer.StartFrame();
    }
    if ((flags & d3d::CLEAR_ZBUFFER) != 0) {
        state->depth.Clear(ClampFloat(z, 0.0f, 1.0f));
    }
}

void SoftwareDevice::BeginScene() { state->rasterizer.StartFrame(); }

void SoftwareDevice::EndScene()
{
    // Said once per device: the pane shows what fitted, frame after frame.
    if (state->rasterizer.OverBudget() && !state->budgetReported) {
        state->budgetReported = true;
        Log("SoftwareDevice::EndScene() : 描画量が多すぎるため、収まる分だけを描画しました");
    }
    state->rasterizer.ClearOverBudget();
}

void SoftwareDevice::DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount)
{
    State& s = *state;
    VertexLayout layout;
    const uint64_t vertexCount = VerticesFor(type, primitiveCount);
    if (!s.stream || vertexCount == 0 || !LayoutOf(s.fvf, layout) || s.streamStride < layout.size) {
        return;
    }
    // Every vertex must lie inside the buffer, or nothing is drawn.
    const std::vector<uint8_t>& bytes = s.stream->bytes;
    const uint64_t first = uint64_t{s.streamOffset} + uint64_t{startVertex} * s.streamStride;
    const uint64_t end = first + (vertexCount - 1) * s.streamStride + layout.size;
    if (end > bytes.size()) {
        return;
    }
    s.Draw(type, primitiveCount, bytes.data() + first, static_cast<size_t>(vertexCount), s.streamStride, layout);
}

void SoftwareDevice::DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices, uint32_t stride)
{
    State& s = *state;
    VertexLayout layout;
    const uint64_t vertexCount = VerticesFor(type, primitiveCount);
    if (vertices != nullptr && vertexCount != 0 && LayoutOf(s.fvf, layout) && stride >= layout.size) {
        s.Draw(type, primitiveCount, static_cast<const uint8_t*>(vertices), static_cast<size_t>(vertexCount),
               stride, layout);
    }
    // As with Direct3D, drawing from memory unsets stream 0.
    s.stream.reset();
    s.streamOffset = 0;
    s.streamStride = 0;
}

// The target is called with the lock held: once SetPresentTarget returns, the
// previous target is never called again. A target must not set a new target itself.
void SoftwareDevice::Present()
{
    State& s = *state;
    std::lock_guard<std::mutex> guard(s.presentMutex);
    if (!s.presentTarget) {
        return;
    }
    // The frame holds the back buffer itself for the length of the call, not a
    // copy of it; the buffer comes back however the call ends.
    struct Lend {
        State& s;
        explicit Lend(State& state) : s(state) { s.presented.pixels.swap(s.colour.Values()); }
        ~Lend() { s.presented.pixels.swap(s.colour.Values()); }
        Lend(const Lend&) = delete;
        Lend& operator=(const Lend&) = delete;
    } lend(s);
    s.presented.width = s.width;
    s.presented.height = s.height;
    s.presentTarget(s.presented);
}

void SoftwareDevice::SetPresentTarget(std::function<void(const DeviceFrame&)> target)
{
    std::lock_guard<std::mutex> guard(state->presentMutex);
    state->presentTarget = std::move(target);
}

DeviceFrame SoftwareDevice::BackBuffer() const
{
    return {state->width, state->height, state->colour.Values()};
}

std::vector<float> SoftwareDevice::DepthBuffer() const { return state->depth.Values(); }
