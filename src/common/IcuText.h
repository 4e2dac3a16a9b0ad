#pragma once
// ICU's converters and strings as the text modules use them: a converter that
// reads broken bytes as U+FFFD, and UTF-8 in and out of ICU's strings.
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct IcuConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using IcuConverter = std::unique_ptr<UConverter, IcuConverterCloser>;

// A converter for the named character set whose every undecodable byte or
// sequence reads as U+FFFD, each counted in faults when it is given (the
// counter must outlive the converter). Null when ICU does not know the set.
IcuConverter OpenIcuConverter(const char* name, size_t* faults = nullptr);

// Ill-formed UTF-8 reads as U+FFFD. The caller keeps the text below 2^31 bytes.
icu::UnicodeString FromUtf8(std::string_view utf8);
std::string ToUtf8(const icu::UnicodeString& text);
