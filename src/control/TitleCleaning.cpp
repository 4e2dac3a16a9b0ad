#include "control/TitleCleaning.h"

#include <cstdio>

#include "common/TextCodec.h"
#include "common/WidthMapping.h"

namespace {

void ReplaceRepeatedly(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from)) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::string CleanTitle(std::string_view sjisTitle)
{
    // Line breaks are handled on the Shift-JIS bytes, where "an LF right after a
    // lead byte" still has its meaning; the rest works on the decoded text.
    std::string bytes(sjisTitle);
    ReplaceRepeatedly(bytes, "\r\n", " ");
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && !(i > 0 && IsSjisLeadByte(static_cast<unsigned char>(bytes[i - 1])))) {
            bytes[i] = ' ';
        }
    }
    std::string text = ToHalfWidth(SjisToUtf8(bytes));
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    ReplaceRepeatedly(text, "  ", " ");
    return text;
}

int64_t FileSizeKB(uint64_t bytes)
{
    // Signed arithmetic on purpose: an empty file still takes one 2 KB cluster.
    const int64_t size = static_cast<int64_t>(bytes);
    return 2 * ((size - 1) / 2048) + 2;
}

std::string SizeColumn(int64_t kilobytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04lld", static_cast<long long>(kilobytes));
    return text;
}

std::string NameColumn(const std::string& name)
{
    const size_t space = name.rfind(' ');
    if (space == std::string::npos || name.front() == ' ') {
        return name;
    }
    return name.substr(space + 1);
}
