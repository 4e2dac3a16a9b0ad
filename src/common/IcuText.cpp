#include "common/IcuText.h"

#include <unicode/ucnv_cb.h>

namespace {

// ICU's own substitute would be U+001A for single bytes, a control character
// that means nothing in a title or on a page. When a lead byte is followed by
// a byte that cannot trail it and that byte is ASCII, ICU leaves the second
// byte to be read on its own, as the WHATWG Shift_JIS decoder does: 82 3F
// becomes U+FFFD '?'.
void ReplacementCallback(const void* context, UConverterToUnicodeArgs* args, const char* /*codeUnits*/,
                         int32_t /*length*/, UConverterCallbackReason reason, UErrorCode* error)
{
    if (reason != UCNV_ILLEGAL && reason != UCNV_UNASSIGNED && reason != UCNV_IRREGULAR) {
        return;
    }
    if (context != nullptr) {
        ++*static_cast<size_t*>(const_cast<void*>(context));
    }
    static const UChar replacement = 0xFFFD;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

}  // namespace

IcuConverter OpenIcuConverter(const char* name, size_t* faults)
{
    UErrorCode error = U_ZERO_ERROR;
    IcuConverter converter(ucnv_open(name, &error));
    if (U_FAILURE(error) || !converter) {
        return nullptr;
    }
    ucnv_setToUCallBack(converter.get(), ReplacementCallback, faults, nullptr, nullptr, &error);
    return U_SUCCESS(error) ? std::move(converter) : nullptr;
}

icu::UnicodeString FromUtf8(std::string_view utf8)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string ToUtf8(const icu::UnicodeString& text)
{
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}
