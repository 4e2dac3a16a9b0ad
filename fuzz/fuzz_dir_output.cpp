// A whole dir output of the console client, framed into lines and entries.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "card/PS2ClientOutput.h"
#include "card/ParseMode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    const auto lines = PS2ClientOutput::SplitLines(output);
    // Never more lines than line feeds plus one, and nothing is lost but the feeds.
    std::size_t bytes = 0;
    for (const auto& line : lines) {
        if (line.find('\n') != std::string::npos) {
            __builtin_trap();
        }
        bytes += line.size();
    }
    if (lines.size() > size + 1 || bytes > size) {
        __builtin_trap();
    }
    const auto entryLines = PS2ClientOutput::DirEntryLines(lines);
    if (lines.size() < 7 ? !entryLines.empty() : entryLines.size() != lines.size() - 6) {
        __builtin_trap();
    }
    for (const auto& entry : PS2ClientOutput::ParseDirOutput(lines)) {
        if (!PassesEntryFilter(entry.name)) {
            __builtin_trap();
        }
    }
    static_cast<void>(PS2ClientOutput::HasError(lines));
    static_cast<void>(PS2ClientOutput::ModuleStarted(lines));
    static_cast<void>(PS2ClientOutput::ListsDirectory(lines));
    return 0;
}
