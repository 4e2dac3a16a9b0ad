#pragma once
// Text conversion of downloaded pages into the program's text. Stands in for
// an outside kanji converter; the option "--windows" means: find out the
// page's character set (EUC-JP, Shift-JIS, UTF-8, ...) and convert to our
// internal UTF-8. All conversions of the program run one at a time.
//
// A page's lines are best read with the set decided on the whole page
// (DecideCharset, then UseCharset): one line alone is too little to tell, and
// half-width katakana in Shift-JIS read as valid EUC-JP kanji. Without a
// decision the first line that needs one decides for the rest.
#include <string>
#include <string_view>

class NKFWrapper {
public:
    NKFWrapper();
    NKFWrapper(const NKFWrapper&) = delete;
    NKFWrapper& operator=(const NKFWrapper&) = delete;
    virtual ~NKFWrapper();

    // True when the option was taken ("--windows" is known).
    bool SetOption(const std::string& option);
    // Converts text in place, up to its first NUL; false (text unchanged) on failure.
    bool Convert(std::string& text);

    // Every later Convert reads with this set. False (nothing changed) when
    // the converter library does not know the name.
    bool UseCharset(const std::string& name);

    // The character set of a whole page, from all of its bytes: the set the
    // Content-Type header or a <meta> tag declares, when the converter knows it
    // and the page reads under it without a fault; else the one of UTF-8,
    // Shift-JIS (as Windows writes it), EUC-JP and ISO-2022-JP that reads the
    // page without a fault; else the one of them with the fewest faults.
    // Never empty.
    static std::string DecideCharset(std::string_view page, std::string_view contentType = {});

private:
    std::string option;
    // The charset found for this converter's text so far; a page keeps one charset.
    std::string charset;
};
