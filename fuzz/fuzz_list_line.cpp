// The LIST line parser on any text, one line at a time as the backend feeds it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "card/FtpListParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        FtpClient::FILE_DATA entry;
        if (ParseListLine(std::string(text.substr(start, end - start)), entry)) {
            // An entry always has a name, never one starting with a blank.
            if (entry.name.empty() || entry.name.front() == ' ' || entry.name.front() == '\t') {
                __builtin_trap();
            }
        }
        start = end + 1;
    }
    return 0;
}
