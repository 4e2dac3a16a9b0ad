#include "common/WidthMapping.h"

#include <unicode/translit.h>

#include <limits>
#include <memory>
#include <stdexcept>

#include "common/IcuText.h"

namespace {

std::unique_ptr<icu::Transliterator> MakeTransliterator(const char* id)
{
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(
        icu::Transliterator::createInstance(icu::UnicodeString(id, -1, US_INV), UTRANS_FORWARD, error));
    if (U_FAILURE(error) || !made) {
        throw std::runtime_error(std::string("ICU has no transliterator ") + id);
    }
    return made;
}

// A transliterator is not safe for concurrent use: one instance per thread.
icu::Transliterator& ToHalf()
{
    thread_local const std::unique_ptr<icu::Transliterator> instance = MakeTransliterator("Fullwidth-Halfwidth");
    return *instance;
}

// ICU already joins a half-width kana and its voiced mark into one character
// (ｶﾞ -> ガ); NFC makes sure any pair it leaves apart still composes where
// Unicode has the composed form.
icu::Transliterator& ToFull()
{
    thread_local const std::unique_ptr<icu::Transliterator> instance =
        MakeTransliterator("Halfwidth-Fullwidth; NFC");
    return *instance;
}

bool TooLong(std::string_view utf8) { return utf8.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 4); }

}  // namespace

std::string ToHalfWidth(std::string_view utf8)
{
    if (TooLong(utf8)) {
        return std::string(utf8);
    }
    icu::UnicodeString text = FromUtf8(utf8);
    ToHalf().transliterate(text);
    return ToUtf8(text);
}

std::string ToFullWidth(std::string_view utf8)
{
    if (TooLong(utf8)) {
        return std::string(utf8);
    }
    icu::UnicodeString text = FromUtf8(utf8);
    ToFull().transliterate(text);
    // A voiced mark with no kana to join (ﾞ alone) comes out as a combining
    // mark; Shift-JIS titles and file names can only hold the spacing marks.
    text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x3099)), icu::UnicodeString(static_cast<UChar>(0x309B)));
    text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x309A)), icu::UnicodeString(static_cast<UChar>(0x309C)));
    return ToUtf8(text);
}
