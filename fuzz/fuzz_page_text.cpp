// Catalogue pages come from the network: the converter must take any bytes,
// one line at a time as the page reader hands them over.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/NKFWrapper.h"
#include "common/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    NKFWrapper converter;
    converter.SetOption("--windows");
    for (size_t start = 0; start < page.size();) {
        const size_t feed = page.find('\n', start);
        const size_t end = feed == std::string_view::npos ? page.size() : feed;
        const std::string before(page.substr(start, end - start));
        std::string line = before;
        if (converter.Convert(line)) {
            // Whatever the bytes, a converted line is our text: valid UTF-8 with no NUL.
            if (!IsValidUtf8(line) || line.find('\0') != std::string::npos) {
                __builtin_trap();
            }
        } else if (line != before) {
            __builtin_trap();
        }
        start = end + 1;
    }
    return 0;
}
