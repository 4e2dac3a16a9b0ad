#pragma once
// Text conversion of downloaded pages into the program's text. Stands in for
// an outside kanji converter; the option "--windows" means: find out the
// page's character set (EUC-JP, Shift-JIS, UTF-8, ...) and convert to our
// internal UTF-8. All conversions of the program run one at a time.
#include <string>

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

private:
    std::string option;
    // The charset found for this converter's text so far; a page keeps one charset.
    std::string charset;
};
