#pragma once
// Reads a file's bytes front to back for the readers of outside formats:
// every read says whether the bytes were there, and none passes the end.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> file) : bytes(file) {}

    size_t At() const { return at; }
    size_t Left() const { return bytes.size() - at; }

    // A packed layout or a number, copied as it lies (little-endian).
    template <typename Layout>
    bool Get(Layout& layout)
    {
        static_assert(std::is_trivially_copyable_v<Layout>);
        if (Left() < sizeof layout) {
            return false;
        }
        std::memcpy(&layout, bytes.data() + at, sizeof layout);
        at += sizeof layout;
        return true;
    }
    // The next length bytes; nothing when fewer are left.
    std::optional<std::span<const uint8_t>> Take(uint64_t length)
    {
        if (length > Left()) {
            return std::nullopt;
        }
        const auto taken = bytes.subspan(at, static_cast<size_t>(length));
        at += taken.size();
        return taken;
    }
    bool Skip(uint64_t length) { return Take(length).has_value(); }

private:
    std::span<const uint8_t> bytes;
    size_t at = 0;
};
