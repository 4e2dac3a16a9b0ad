#include "common/NKFWrapper.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucsdet.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace {

// One conversion at a time in the whole program, like the outside converter this stands in for.
std::mutex& LibraryLock()
{
    static std::mutex lock;
    return lock;
}

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

struct DetectorCloser {
    void operator()(UCharsetDetector* detector) const { ucsdet_close(detector); }
};

// The character sets Japanese catalogue pages come in, as the detector names them.
constexpr std::array<std::string_view, 4> kJapaneseCharsets = {"UTF-8", "Shift_JIS", "EUC-JP", "ISO-2022-JP"};

// The detector's Shift_JIS is read as Windows writes it, so that NEC and IBM
// characters (circled digits, Roman numerals) decode.
std::string ConverterName(const std::string& charset)
{
    return charset == "Shift_JIS" ? "windows-31j" : charset;
}

// Broken bytes read as U+FFFD: ICU would write U+001A for some, a control character.
void ReplacementCallback(const void* /*context*/, UConverterToUnicodeArgs* args, const char* /*codeUnits*/,
                         int32_t /*length*/, UConverterCallbackReason reason, UErrorCode* error)
{
    if (reason != UCNV_ILLEGAL && reason != UCNV_UNASSIGNED && reason != UCNV_IRREGULAR) {
        return;
    }
    static const UChar replacement = 0xFFFD;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

ConverterPtr OpenConverter(const std::string& charset, bool strict)
{
    UErrorCode error = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(ConverterName(charset).c_str(), &error));
    if (U_FAILURE(error)) {
        return nullptr;
    }
    if (strict) {
        ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    } else {
        ucnv_setToUCallBack(converter.get(), ReplacementCallback, nullptr, nullptr, nullptr, &error);
    }
    return U_SUCCESS(error) ? std::move(converter) : nullptr;
}

bool Decode(std::string_view text, const std::string& charset, bool strict, icu::UnicodeString& decoded)
{
    const ConverterPtr converter = OpenConverter(charset, strict);
    if (!converter) {
        return false;
    }
    UErrorCode error = U_ZERO_ERROR;
    decoded = icu::UnicodeString(text.data(), static_cast<int32_t>(text.size()), converter.get(), error);
    return U_SUCCESS(error) && !decoded.isBogus();
}

// ICU's EUC-JP reads the bytes 0x80-0xA0 on their own as C1 control
// characters, which never occur in a page's text: so Shift-JIS lead bytes would
// pass as EUC-JP. Text holding them does not decode cleanly.
bool DecodesCleanly(std::string_view text, const std::string& charset)
{
    icu::UnicodeString decoded;
    if (!Decode(text, charset, true, decoded)) {
        return false;
    }
    for (int32_t i = 0; i < decoded.length(); ++i) {
        if (decoded.charAt(i) >= 0x80 && decoded.charAt(i) <= 0x9F) {
            return false;
        }
    }
    return true;
}

// The detector's statistics need more text than one line of a page holds: on a
// short line its best guess is often a European code page. So the Japanese
// character sets it still lists are tried first, in its order, each only when
// the text decodes without a fault. EUC-JP goes before Shift_JIS: nearly any
// EUC-JP text also reads as Shift_JIS (as half-width katakana), while Shift_JIS
// kana and most kanji are no valid EUC-JP.
std::string DetectCharset(std::string_view text)
{
    UErrorCode error = U_ZERO_ERROR;
    const std::unique_ptr<UCharsetDetector, DetectorCloser> detector(ucsdet_open(&error));
    ucsdet_setText(detector.get(), text.data(), static_cast<int32_t>(text.size()), &error);
    int32_t count = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &count, &error);
    if (U_FAILURE(error) || count <= 0) {
        return {};
    }
    std::vector<std::string> clean;
    for (int32_t i = 0; i < count; ++i) {
        const char* name = ucsdet_getName(matches[i], &error);
        if (U_SUCCESS(error) && name != nullptr &&
            std::find(kJapaneseCharsets.begin(), kJapaneseCharsets.end(), name) != kJapaneseCharsets.end() &&
            DecodesCleanly(text, name)) {
            clean.emplace_back(name);
        }
    }
    if (!clean.empty() && clean.front() == "Shift_JIS" &&
        std::find(clean.begin(), clean.end(), "EUC-JP") != clean.end()) {
        return "EUC-JP";
    }
    if (!clean.empty()) {
        return clean.front();
    }
    const char* best = ucsdet_getName(matches[0], &error);
    return U_SUCCESS(error) && best != nullptr ? best : std::string();
}

// ESC counts as well: ISO-2022-JP writes Japanese in 7-bit bytes after an escape sequence.
bool NeedsConversion(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80 || c == '\x1B'; });
}

}  // namespace

NKFWrapper::NKFWrapper() = default;

NKFWrapper::~NKFWrapper() = default;

// "--windows" asked the outside converter for Windows text; here that is our
// internal UTF-8, which Convert always gives.
bool NKFWrapper::SetOption(const std::string& newOption)
{
    if (newOption != "--windows") {
        return false;
    }
    option = newOption;
    return true;
}

bool NKFWrapper::Convert(std::string& text)
{
    const std::string_view input(text.data(), std::min(text.size(), text.find('\0')));
    if (!NeedsConversion(input)) {
        text.resize(input.size());
        return true;
    }
    const std::lock_guard<std::mutex> hold(LibraryLock());
    // A page keeps one character set: found on its first line that needs it.
    const std::string found = charset.empty() ? DetectCharset(input) : charset;
    icu::UnicodeString decoded;
    if (found.empty() || !Decode(input, found, false, decoded)) {
        return false;
    }
    charset = found;
    // A byte-order mark would stick to the first word of the page.
    if (!decoded.isEmpty() && decoded.charAt(0) == 0xFEFF) {
        decoded.remove(0, 1);
    }
    std::string converted;
    decoded.toUTF8String(converted);
    text = std::move(converted);
    return true;
}
