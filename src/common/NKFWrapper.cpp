#include "common/NKFWrapper.h"

#include <unicode/ucsdet.h>

#include <algorithm>
#include <cctype>
#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "common/IcuText.h"

namespace {

// One conversion at a time in the whole program, like the outside converter this stands in for.
std::mutex& LibraryLock()
{
    static std::mutex lock;
    return lock;
}

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

IcuConverter OpenConverter(const std::string& charset, size_t* faults = nullptr)
{
    return OpenIcuConverter(ConverterName(charset).c_str(), faults);
}

bool Decode(std::string_view text, const std::string& charset, icu::UnicodeString& decoded)
{
    const IcuConverter converter = OpenConverter(charset);
    if (!converter) {
        return false;
    }
    UErrorCode error = U_ZERO_ERROR;
    decoded = icu::UnicodeString(text.data(), static_cast<int32_t>(text.size()), converter.get(), error);
    return U_SUCCESS(error) && !decoded.isBogus();
}

bool IsKana(UChar c) { return (c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FC; }

// How a text reads under one character set.
struct Reading {
    bool known = false;
    // Bytes the set cannot read, and C1 control characters: ICU's EUC-JP
    // reads the bytes 0x80-0xA0 on their own as C1 controls, which never occur
    // in a page's text, so Shift-JIS lead bytes would otherwise pass as EUC-JP.
    size_t faults = 0;
    // Full-width kana: Japanese prose is full of them, while another set's
    // bytes read as Japanese give mostly kanji and half-width forms.
    size_t kana = 0;
    bool Clean() const { return known && faults == 0; }
};

// In blocks, so that a page of many megabytes needs no copy of its own size.
Reading Read(std::string_view text, const std::string& charset)
{
    Reading reading;
    const IcuConverter converter = OpenConverter(charset, &reading.faults);
    if (!converter) {
        return reading;
    }
    reading.known = true;
    std::array<UChar, 16384> buffer;
    const char* source = text.data();
    const char* const end = source + text.size();
    for (;;) {
        UChar* target = buffer.data();
        UErrorCode error = U_ZERO_ERROR;
        ucnv_toUnicode(converter.get(), &target, buffer.data() + buffer.size(), &source, end, nullptr, true, &error);
        for (const UChar* c = buffer.data(); c != target; ++c) {
            reading.faults += *c >= 0x80 && *c <= 0x9F;
            reading.kana += IsKana(*c);
        }
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            continue;
        }
        reading.faults += U_FAILURE(error);
        return reading;
    }
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
            Read(text, name).Clean()) {
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

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

size_t FindNoCase(std::string_view text, std::string_view word, size_t from)
{
    const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())),
                                   text.end(), word.begin(), word.end(),
                                   [](char a, char b) { return Lower(a) == Lower(b); });
    return found == text.end() ? std::string_view::npos : static_cast<size_t>(found - text.begin());
}

// "charset=NAME" inside a Content-Type value or a tag, quotes and blanks allowed around NAME.
std::string DeclaredIn(std::string_view text)
{
    for (size_t at = FindNoCase(text, "charset", 0); at != std::string_view::npos;
         at = FindNoCase(text, "charset", at + 1)) {
        size_t i = at + 7;
        const auto skip = [&](std::string_view chars) {
            while (i < text.size() && chars.find(text[i]) != std::string_view::npos) {
                ++i;
            }
        };
        skip(" \t");
        if (i >= text.size() || text[i] != '=') {
            continue;
        }
        ++i;
        skip(" \t\"'");
        std::string name;
        for (; i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) != 0 ||
                                   std::string_view("-_.:").find(text[i]) != std::string_view::npos);
             ++i) {
            name += Lower(text[i]);
        }
        if (!name.empty()) {
            return name;
        }
    }
    return {};
}

// A page declares its set near its top, in a <meta> tag.
std::string DeclaredInMeta(std::string_view page)
{
    constexpr size_t kHeadLimit = 65536;
    page = page.substr(0, kHeadLimit);
    for (size_t at = FindNoCase(page, "<meta", 0); at != std::string_view::npos;
         at = FindNoCase(page, "<meta", at + 1)) {
        const size_t close = page.find('>', at);
        std::string name = DeclaredIn(page.substr(at, close == std::string_view::npos ? page.npos : close - at));
        if (!name.empty()) {
            return name;
        }
    }
    return {};
}

// Every name Shift-JIS goes by means the set as Windows writes it.
std::string Canonical(const std::string& name)
{
    static constexpr std::array<std::string_view, 10> kShiftJisNames = {
        "shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis", "windows-31j", "cp932", "ms932", "x-ms-cp932"};
    return std::find(kShiftJisNames.begin(), kShiftJisNames.end(), name) != kShiftJisNames.end() ? "windows-31j"
                                                                                                 : name;
}

// The declaration was read as ASCII: a set that does not write ASCII as ASCII
// (UTF-16, EBCDIC) cannot be what the page is in.
bool WritesAsciiAsAscii(const std::string& charset)
{
    constexpr std::string_view kProbe = "<meta charset=\"x\">";
    icu::UnicodeString decoded;
    return Decode(kProbe, charset, decoded) && decoded == icu::UnicodeString(kProbe.data(), static_cast<int32_t>(kProbe.size()), US_INV);
}

bool HasHalfWidthKatakanaPair(std::string_view page)
{
    const auto inRange = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0xA1 && byte <= 0xDF;
    };
    return std::adjacent_find(page.begin(), page.end(), [&](char a, char b) { return inRange(a) && inRange(b); }) !=
           page.end();
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
    // A page keeps one character set: decided for the whole page, or else
    // found on its first line that needs one.
    const std::string found = charset.empty() ? DetectCharset(input) : charset;
    icu::UnicodeString decoded;
    if (found.empty() || !Decode(input, found, decoded)) {
        return false;
    }
    charset = found;
    // A byte-order mark would stick to the first word of the page.
    if (!decoded.isEmpty() && decoded.charAt(0) == 0xFEFF) {
        decoded.remove(0, 1);
    }
    // A line stays one line, ending at its first NUL, whatever a declared set
    // makes of its bytes: the values go into a line-based cache file.
    if (const int32_t nul = decoded.indexOf(static_cast<UChar>(0)); nul >= 0) {
        decoded.truncate(nul);
    }
    for (const UChar lineEnd : {u'\r', u'\n'}) {
        decoded.findAndReplace(icu::UnicodeString(lineEnd), icu::UnicodeString());
    }
    text = ToUtf8(decoded);
    return true;
}

bool NKFWrapper::UseCharset(const std::string& name)
{
    const std::string canonical = Canonical(name);
    if (!OpenConverter(canonical)) {
        return false;
    }
    charset = canonical;
    return true;
}

std::string NKFWrapper::DecideCharset(std::string_view page, std::string_view contentType)
{
    // What the server or the page says wins, when it fits the bytes.
    for (const std::string& declared : {DeclaredIn(contentType), DeclaredInMeta(page)}) {
        const std::string name = Canonical(declared);
        if (!name.empty() && WritesAsciiAsAscii(name) && Read(page, name).Clean()) {
            return name;
        }
    }
    if (std::none_of(page.begin(), page.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        // Seven-bit text: ISO-2022-JP when its escapes read, else plain ASCII.
        return page.find('\x1B') != std::string_view::npos && Read(page, "ISO-2022-JP").Clean() ? "ISO-2022-JP"
                                                                                              : "UTF-8";
    }
    // UTF-8 first: its multi-byte sequences hardly ever happen by chance.
    const Reading utf8 = Read(page, "UTF-8");
    if (utf8.Clean()) {
        return "UTF-8";
    }
    const Reading sjis = Read(page, "windows-31j");
    const Reading euc = Read(page, "EUC-JP");
    if (sjis.Clean() && euc.Clean()) {
        // Shift-JIS kana are no EUC-JP, while EUC-JP kana read as Shift-JIS
        // turn into half-width forms and odd kanji: the reading with more
        // full-width kana is the page's own. Failing that, two bytes in
        // 0xA1-0xDF side by side are half-width katakana of a Shift-JIS page
        // as often as one kanji of an EUC-JP page; Shift-JIS takes them.
        if (sjis.kana != euc.kana) {
            return sjis.kana > euc.kana ? "windows-31j" : "EUC-JP";
        }
        return HasHalfWidthKatakanaPair(page) ? "windows-31j" : "EUC-JP";
    }
    if (sjis.Clean() || euc.Clean()) {
        return sjis.Clean() ? "windows-31j" : "EUC-JP";
    }
    // No set reads it whole: the one that loses the least.
    const size_t fewest = std::min({utf8.faults, sjis.faults, euc.faults});
    return utf8.faults == fewest ? "UTF-8" : sjis.faults == fewest ? "windows-31j" : "EUC-JP";
}
