// One entry line of the console client's dir output, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "card/PS2ClientOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    FtpClient::FILE_DATA entry;
    if (PS2ClientOutput::ParseDirLine(line, entry)) {
        // A name never keeps a control character other than NUL (which the
        // entry filter then refuses), and never starts with a blank.
        for (const char c : entry.name) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte != 0 && byte < 0x20) || byte == 0x7F) {
                __builtin_trap();
            }
        }
        if (!entry.name.empty() && (entry.name.front() == ' ' || entry.name.front() == '\t')) {
            __builtin_trap();
        }
        if (entry.ownerMode > 7 || entry.groupMode > 7 || entry.otherMode > 7) {
            __builtin_trap();
        }
    }
    return 0;
}
