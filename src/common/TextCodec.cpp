#include "common/TextCodec.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "common/IcuText.h"

namespace {

// ICU's name for code page 932 as Windows has it: 0x5C is '\', 0x7E is '~',
// 81 7C is U+FF0D and 81 60 is U+FF5E (a strict JIS table gives U+2212 and U+301C).
constexpr const char* kCodePage932 = "windows-31j";

// Converters keep state between calls and are not safe for concurrent use: one per thread.
UConverter& ThreadConverter()
{
    thread_local IcuConverter converter = [] {
        IcuConverter opened = OpenIcuConverter(kCodePage932);
        if (!opened) {
            throw std::runtime_error("ICU has no converter for code page 932");
        }
        UErrorCode error = U_ZERO_ERROR;
        // Characters the code page cannot hold are written as '?'. Fallback
        // mappings stay off: some would turn look-alike characters into '\' or
        // '/', which must never appear in a file name by accident.
        ucnv_setSubstChars(opened.get(), "?", 1, &error);
        ucnv_setFallback(opened.get(), false);
        if (U_FAILURE(error)) {
            throw std::runtime_error("cannot set up the code page 932 converter");
        }
        return opened;
    }();
    return *converter;
}

// ICU's table keeps IBM's arrangement of three control codes (0x1A, 0x1C and
// 0x7F are rotated); Windows maps every byte below 0x80 to the same code point.
// These bytes never take part in a double-byte character, so a swap after
// decoding and before encoding gives the Windows mapping exactly.
UChar IbmControlToWindows(UChar unit)
{
    switch (unit) {
    case 0x001C: return 0x001A;
    case 0x007F: return 0x001C;
    case 0x001A: return 0x007F;
    default: return unit;
    }
}

UChar WindowsControlToIbm(UChar unit)
{
    switch (unit) {
    case 0x001A: return 0x001C;
    case 0x001C: return 0x007F;
    case 0x007F: return 0x001A;
    default: return unit;
    }
}

void MapUnits(icu::UnicodeString& text, UChar (*map)(UChar))
{
    for (int32_t i = 0; i < text.length(); ++i) {
        const UChar unit = text.charAt(i);
        const UChar mapped = map(unit);
        if (mapped != unit) {
            text.setCharAt(i, mapped);
        }
    }
}

bool FitsInt32(size_t size) { return size <= static_cast<size_t>(std::numeric_limits<int32_t>::max() / 4); }

}  // namespace

std::string SjisToUtf8(std::string_view sjis)
{
    if (sjis.empty() || !FitsInt32(sjis.size())) {
        return std::string();
    }
    UConverter& converter = ThreadConverter();
    ucnv_resetToUnicode(&converter);
    UErrorCode error = U_ZERO_ERROR;
    icu::UnicodeString text(sjis.data(), static_cast<int32_t>(sjis.size()), &converter, error);
    if (U_FAILURE(error)) {
        return std::string();
    }
    MapUnits(text, IbmControlToWindows);
    return ToUtf8(text);
}

std::string Utf8ToSjis(std::string_view utf8)
{
    if (utf8.empty() || !FitsInt32(utf8.size())) {
        return std::string();
    }
    // Ill-formed UTF-8 becomes U+FFFD here, and so '?' in the result.
    icu::UnicodeString text = FromUtf8(utf8);
    MapUnits(text, WindowsControlToIbm);
    UConverter& converter = ThreadConverter();
    ucnv_resetFromUnicode(&converter);
    // At most two bytes per UTF-16 unit.
    std::string sjis(static_cast<size_t>(text.length()) * 2 + 1, '\0');
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(&converter, sjis.data(), static_cast<int32_t>(sjis.size()),
                                           text.getBuffer(), text.length(), &error);
    if (U_FAILURE(error) || length < 0) {
        return std::string();
    }
    sjis.resize(static_cast<size_t>(length));
    return sjis;
}

bool IsValidUtf8(std::string_view text)
{
    // U8_NEXT rejects overlong forms, surrogates and code points above U+10FFFF.
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const size_t size = text.size();
    size_t at = 0;
    while (at < size) {
        if (bytes[at] < 0x80) {
            ++at;
            continue;
        }
        // U8_NEXT works on int32_t indexes: check in slices that fit.
        const size_t sliceStart = at;
        const int32_t sliceLength = static_cast<int32_t>(std::min<size_t>(size - at, 1u << 30));
        int32_t index = 0;
        UChar32 codePoint = 0;
        U8_NEXT(bytes + sliceStart, index, sliceLength, codePoint);
        if (codePoint < 0) {
            return false;
        }
        at = sliceStart + static_cast<size_t>(index);
    }
    return true;
}

namespace {

void AppendEscapedByte(std::string& out, unsigned char byte)
{
    static const char* const kHex = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string EscapeInvalidUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            out += bytes[at++];
            continue;
        }
        // One code point at a time: a valid sequence is copied, a bad lead byte escaped alone.
        const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > 1 && at + length <= bytes.size() && IsValidUtf8(bytes.substr(at, length))) {
            out.append(bytes.substr(at, length));
            at += length;
        } else {
            AppendEscapedByte(out, byte);
            ++at;
        }
    }
    return out;
}

std::string UnescapeBytes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\\' && at + 3 < text.size() && text[at + 1] == 'x' && HexValue(text[at + 2]) >= 0 &&
            HexValue(text[at + 3]) >= 0) {
            out += static_cast<char>(HexValue(text[at + 2]) * 16 + HexValue(text[at + 3]));
            at += 3;
        } else {
            out += text[at];
        }
    }
    return out;
}

std::string DisplayName(std::string_view bytes)
{
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    // Every byte pair decoded, none replaced: the name was written in code page 932.
    const std::string decoded = SjisToUtf8(bytes);
    if (!decoded.empty() && decoded.find("\xEF\xBF\xBD") == std::string::npos) {
        return decoded;
    }
    return EscapeInvalidUtf8(bytes);
}
