#include "icon/IconModel.h"

#include <algorithm>
#include <boost/endian/arithmetic.hpp>
#include <cstdint>
#include <cstring>

#include "common/FileRead.h"
#include "common/Log.h"

namespace {

using boost::endian::little_int16_t;
using boost::endian::little_uint16_t;
using boost::endian::little_uint32_t;

// The file, little-endian throughout: version word, model header, V vertex
// records, animation header, F frame records, then the texture to the end.
namespace layout {

constexpr uint32_t kVersion = 0x00010000;

struct ModelHeader {
    little_uint32_t shapeCount;
    little_uint32_t textureType;
    little_uint32_t thirdWord;
    little_uint32_t vertexCount;
};
static_assert(sizeof(ModelHeader) == 16);

// Positions and normals: 12 fraction bits, the fourth word unused.
struct FixedVector {
    little_int16_t x, y, z, unused;
};
static_assert(sizeof(FixedVector) == 8);

struct TextureCoordinate {
    little_int16_t u, v;
};
static_assert(sizeof(TextureCoordinate) == 4);

// A vertex record is one FixedVector per shape followed by this tail.
struct VertexTail {
    FixedVector normal;
    TextureCoordinate textureCoordinate;
    little_uint32_t colour;
};
static_assert(sizeof(VertexTail) == 16);

struct AnimationHeader {
    little_uint32_t words[5];  // the last is the frame count
};
static_assert(sizeof(AnimationHeader) == 20);

// A frame record: first word, key count K, K keys.
constexpr uint64_t kKeySize = 8;

// Texture type bits.
constexpr uint32_t kTexturePresent = 0x04;
constexpr uint32_t kTextureCompressed = 0x08;
constexpr uint64_t kRawTextureSize = IconModel::kTexelCount * 2;

}  // namespace layout

// Stands in wherever the file gives no texel.
constexpr uint16_t kGreyTexel = 0x4210;

// Runs of a compressed texture may decode to more texels than the texture
// holds; nothing uses those, and four bytes of repeat run can ask for 32767
// of them, so only this many are kept.
constexpr size_t kMaxKeptTexels = 4 * IconModel::kTexelCount;

constexpr char kOpenError[] = "アイコンファイルが開けませんでした ";
constexpr char kVersionError[] = "アイコンファイル読み込みエラー(バージョンナンバー) ";
constexpr char kModelHeaderError[] = "アイコンファイル読み込みエラー(モデルセクションヘッダ) ";
constexpr char kPositionError[] = "アイコンファイル読み込みエラー(頂点座標) ";
constexpr char kNormalError[] = "アイコンファイル読み込みエラー(垂直方向) ";
constexpr char kTextureCoordinateError[] = "アイコンファイル読み込みエラー(テクスチャ座標) ";
constexpr char kColourError[] = "アイコンファイル読み込みエラー(頂点色) ";
constexpr char kAnimationHeaderError[] = "アイコンファイル読み込みエラー(アニメーションセクションヘッダ) ";
constexpr char kFrameFirstWordError[] = "アイコンファイル読み込みエラー(アニメーションsnosk) ";
constexpr char kKeyCountError[] = "アイコンファイル読み込みエラー(アニメーションnkf) ";
constexpr char kKeyDataError[] = "アイコンファイル読み込みエラー(アニメーションデータ) ";
constexpr char kRawTextureError[] = "アイコンファイル読み込みエラー(テクスチャデータ(raw)) ";
constexpr char kRleSizeError[] = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)(file_size)) ";
constexpr char kRleRepeatError[] = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)(data)) ";
constexpr char kRleLiteralError[] = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)(vec_data)) ";
constexpr char kRleZeroCount[] = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)(n)) ";
// -32768 has no length of its own as a 16-bit number.
constexpr char kRleCountError[] = "アイコンファイル読み込みエラー(テクスチャデータデータ(RLE)(n=-32768)) ";

// Reads the file front to back; a read that finds fewer bytes than it needs
// fails and consumes nothing.
class Cursor {
public:
    explicit Cursor(std::span<const uint8_t> bytes) : rest(bytes) {}

    uint64_t Remaining() const { return rest.size(); }

    template <class T>
    bool Read(T& value)
    {
        std::span<const uint8_t> bytes;
        if (!Take(sizeof(T), bytes)) {
            return false;
        }
        std::memcpy(&value, bytes.data(), sizeof(T));
        return true;
    }

    bool Take(uint64_t size, std::span<const uint8_t>& bytes)
    {
        if (size > rest.size()) {
            return false;
        }
        bytes = rest.first(static_cast<size_t>(size));
        rest = rest.subspan(static_cast<size_t>(size));
        return true;
    }

private:
    std::span<const uint8_t> rest;
};

float FromFixed(int16_t value) { return static_cast<float>(value) * 0.000244140625f; }

Vector3 FromFixed(const layout::FixedVector& vector) { return {FromFixed(vector.x), FromFixed(vector.y), FromFixed(vector.z)}; }

// The message of the read that comes up short when only rest bytes of a
// vertex record are left.
const char* ShortVertexMessage(uint64_t rest, uint64_t shapeCount)
{
    const uint64_t positions = shapeCount * sizeof(layout::FixedVector);
    if (rest < positions) {
        return kPositionError;
    }
    rest -= positions;
    if (rest < sizeof(layout::FixedVector)) {
        return kNormalError;
    }
    rest -= sizeof(layout::FixedVector);
    return rest < sizeof(layout::TextureCoordinate) ? kTextureCoordinateError : kColourError;
}

// A 5-bit channel as a byte: (c x 8) x 256 / 248 in float, at most 255.5,
// truncated; the same as the smaller of 255 and floor(c x 256 / 31).
constexpr std::array<uint8_t, 32> kChannelBytes = [] {
    std::array<uint8_t, 32> table{};
    for (int c = 0; c < 32; ++c) {
        const float value = std::min(static_cast<float>(c * 8) * 256.0f / 248.0f, 255.5f);
        table[static_cast<size_t>(c)] = static_cast<uint8_t>(value);
    }
    return table;
}();


// Vertex records have one length, so a count the file cannot hold is known
// from the header: it fails with the message of the read that would come up
// short, before anything is allocated for it.
const char* ReadVertices(Cursor& in, IconModel& model)
{
    const uint64_t recordSize = uint64_t{model.shapeCount} * sizeof(layout::FixedVector) + sizeof(layout::VertexTail);
    if (model.vertexCount > in.Remaining() / recordSize) {
        return ShortVertexMessage(in.Remaining() % recordSize, model.shapeCount);
    }
    model.vertices.resize(model.vertexCount);
    for (IconModel::VERTEX_DATA& vertex : model.vertices) {
        vertex.positions.reserve(model.shapeCount);
        for (uint32_t shape = 0; shape < model.shapeCount; ++shape) {
            // Value-initialised: the record count was checked against the bytes left, so
            // Read always fills it, but the optimiser cannot see that.
            layout::FixedVector position{};
            in.Read(position);
            vertex.positions.push_back(FromFixed(position));
        }
        layout::VertexTail tail{};
        in.Read(tail);
        vertex.normal = FromFixed(tail.normal);
        vertex.u = FromFixed(tail.textureCoordinate.u);
        vertex.v = FromFixed(tail.textureCoordinate.v);
        vertex.colour = tail.colour;
    }
    return nullptr;
}

// Reads count frame records into store, or with store null only checks that
// they are all there.
const char* ReadFrames(Cursor& in, uint32_t count, std::vector<IconModel::FRAME_DATA>* store)
{
    for (uint32_t i = 0; i < count; ++i) {
        little_uint32_t firstWord;
        if (!in.Read(firstWord)) {
            return kFrameFirstWordError;
        }
        little_uint32_t keyCount;
        if (!in.Read(keyCount)) {
            return kKeyCountError;
        }
        std::span<const uint8_t> keys;
        if (!in.Take(uint64_t{keyCount} * layout::kKeySize, keys)) {
            return kKeyDataError;
        }
        if (store != nullptr) {
            IconModel::FRAME_DATA& frame = (*store)[i];
            frame.firstWord = firstWord;
            frame.keyCount = keyCount;
            frame.keyData.assign(keys.begin(), keys.end());
        }
    }
    return nullptr;
}

// Frame records differ in length: they are walked once without keeping
// anything, so that a frame count the file cannot hold fails before the list
// is allocated.
const char* ReadAnimation(Cursor& in, IconModel& model)
{
    layout::AnimationHeader header;
    if (!in.Read(header)) {
        return kAnimationHeaderError;
    }
    for (size_t i = 0; i < model.animationHeader.size(); ++i) {
        model.animationHeader[i] = header.words[i];
    }
    const uint32_t frameCount = model.animationHeader[4];
    Cursor walk = in;
    if (const char* error = ReadFrames(walk, frameCount, nullptr)) {
        return error;
    }
    model.frames.resize(frameCount);
    return ReadFrames(in, frameCount, &model.frames);
}

class TexelList {
public:
    TexelList() { texels.reserve(IconModel::kTexelCount); }

    void Append(uint16_t texel, size_t count)
    {
        texels.insert(texels.end(), std::min(count, kMaxKeptTexels - texels.size()), texel);
    }
    void Append(std::span<const uint8_t> littleEndianTexels)
    {
        const size_t count = std::min(littleEndianTexels.size() / 2, kMaxKeptTexels - texels.size());
        for (size_t i = 0; i < count; ++i) {
            texels.push_back(static_cast<uint16_t>(littleEndianTexels[2 * i] | littleEndianTexels[2 * i + 1] << 8));
        }
    }
    // A texture that decodes short is filled up with grey: the texture builder
    // always takes a whole 128 x 128 texture.
    const std::vector<uint16_t>& Whole()
    {
        if (texels.size() < IconModel::kTexelCount) {
            texels.resize(IconModel::kTexelCount, kGreyTexel);
        }
        return texels;
    }

private:
    std::vector<uint16_t> texels;
};

// Run records go on until the file ends; the size word in front of them
// does not bound them.
const char* ReadCompressedTexture(Cursor& in, TexelList& texels, const std::string& path)
{
    little_uint32_t size;
    if (!in.Read(size)) {
        return kRleSizeError;
    }
    little_int16_t stored;
    // Counted, then said once: a file padded with zeros holds tens of thousands.
    size_t zeroRuns = 0;
    while (in.Read(stored)) {
        const int16_t count = stored;
        if (count > 0) {
            little_uint16_t texel;
            if (!in.Read(texel)) {
                return kRleRepeatError;
            }
            texels.Append(texel, static_cast<size_t>(count));
        } else if (count == INT16_MIN) {
            return kRleCountError;
        } else if (count < 0) {
            std::span<const uint8_t> literal;
            if (!in.Take(uint64_t{2} * static_cast<uint64_t>(-count), literal)) {
                return kRleLiteralError;
            }
            texels.Append(literal);
        } else {
            ++zeroRuns;
        }
    }
    LogRepeated(kRleZeroCount + path, zeroRuns);
    return nullptr;
}

const char* ReadTexture(Cursor& in, IconModel& model, const std::string& path)
{
    TexelList texels;
    if ((model.textureType & layout::kTexturePresent) == 0) {
        texels.Append(kGreyTexel, IconModel::kTexelCount);
    } else if ((model.textureType & layout::kTextureCompressed) == 0) {
        std::span<const uint8_t> raw;
        if (!in.Take(layout::kRawTextureSize, raw)) {
            return kRawTextureError;
        }
        texels.Append(raw);
    } else if (const char* error = ReadCompressedTexture(in, texels, path)) {
        return error;
    }

    const std::vector<uint16_t>& whole = texels.Whole();
    model.texels.resize(whole.size() * 4);
    for (size_t i = 0; i < whole.size(); ++i) {
        const auto bytes = IconModel::ConvertTexel(whole[i]);
        std::memcpy(&model.texels[4 * i], bytes.data(), bytes.size());
    }
    return nullptr;
}

const char* ReadModel(std::span<const uint8_t> bytes, IconModel& model, const std::string& path)
{
    Cursor in(bytes);

    little_uint32_t version;
    if (!in.Read(version) || version != layout::kVersion) {
        return kVersionError;
    }

    layout::ModelHeader header;
    if (!in.Read(header)) {
        return kModelHeaderError;
    }
    model.shapeCount = header.shapeCount;
    model.textureType = header.textureType;
    model.thirdHeaderWord = header.thirdWord;
    model.vertexCount = header.vertexCount;
    // Vertices without a single position have nowhere to be drawn: refused
    // here rather than read past their positions when posed.
    if (model.shapeCount == 0 && model.vertexCount != 0) {
        return kModelHeaderError;
    }

    if (const char* error = ReadVertices(in, model)) {
        return error;
    }
    if (const char* error = ReadAnimation(in, model)) {
        return error;
    }
    return ReadTexture(in, model, path);
}

}  // namespace

std::mutex IconModel::iconFileLock;

IconModel::IconModel(const std::string& path)
{
    const std::lock_guard lock(iconFileLock);
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(path, bytes)) {
        Log(kOpenError + path);
        return;
    }
    Parse(bytes, path);
}

IconModel::IconModel(std::span<const uint8_t> bytes, const std::string& path)
{
    const std::lock_guard lock(iconFileLock);
    Parse(bytes, path);
}

std::array<uint8_t, 4> IconModel::ConvertTexel(uint16_t texel)
{
    return {kChannelBytes[(texel >> 10) & 0x1F], kChannelBytes[(texel >> 5) & 0x1F], kChannelBytes[texel & 0x1F], 255};
}


void IconModel::Parse(std::span<const uint8_t> bytes, const std::string& path)
{
    loaded = false;
    if (const char* error = ReadModel(bytes, *this, path)) {
        Log(error + path);
        // Nothing half-read stays behind to be drawn.
        vertices.clear();
        frames.clear();
        texels.clear();
        return;
    }
    loaded = true;
}

void IconModel::FillVertices(uint32_t time, DRAW_VERTEX* destination) const
{
    // The whole animation runs once a second, whatever the number of frames.
    // 64 bits: r x F does not fit in 32 for a hostile frame count.
    const uint64_t frameCount = frames.size();
    const uint64_t r = time % 1000;
    const auto p = static_cast<float>(static_cast<double>(r * frameCount) / 1000.0);
    const auto i = static_cast<uint64_t>(p);
    const uint64_t j = i + 1;
    const auto w = static_cast<float>((static_cast<double>(j) - static_cast<double>(p)) / static_cast<double>(j - i));
    const float rest = 1.0f - w;
    const uint64_t k = frameCount == 0 ? 0 : j % frameCount;

    // The frame count may exceed the shape count: a frame past the last shape
    // shows the last shape.
    const uint64_t lastShape = shapeCount == 0 ? 0 : shapeCount - 1;
    const auto shapeI = static_cast<size_t>(std::min(i, lastShape));
    const auto shapeK = static_cast<size_t>(std::min(k, lastShape));

    for (size_t n = 0; n < vertices.size(); ++n) {
        const VERTEX_DATA& vertex = vertices[n];
        const Vector3& from = vertex.positions[shapeI];
        const Vector3& to = vertex.positions[shapeK];
        const DRAW_VERTEX drawn{-(to.x * rest + from.x * w),
                                -(to.y * rest + from.y * w),
                                -(to.z * rest + from.z * w),
                                vertex.normal.x,
                                vertex.normal.y,
                                vertex.normal.z,
                                vertex.colour,
                                vertex.u,
                                vertex.v};
        std::memcpy(destination + n, &drawn, sizeof drawn);
    }
}
