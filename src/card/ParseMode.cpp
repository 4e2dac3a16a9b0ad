#include "card/ParseMode.h"

#include <algorithm>
#include <cstddef>

void ParseMode(std::string_view mode, FtpClient::FILE_DATA& entry)
{
    // A listing may cut the mode field short; a missing character grants nothing.
    const auto at = [mode](std::size_t index) { return index < mode.size() ? mode[index] : '-'; };

    entry.isDirectory = at(0) == 'd';
    uint8_t* const groups[3] = {&entry.ownerMode, &entry.groupMode, &entry.otherMode};
    for (std::size_t g = 0; g < 3; ++g) {
        uint8_t bits = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            // 's', 't' and the like also mean the permission is there.
            if (at(1 + 3 * g + j) != '-') {
                bits = static_cast<uint8_t>(bits | (1u << j));
            }
        }
        *groups[g] = bits;
    }
}

bool PassesEntryFilter(std::string_view name)
{
    if (std::all_of(name.begin(), name.end(), [](char c) { return c == '.'; })) {
        return false;
    }
    return name.find_first_of(std::string_view(":/\0", 3)) == std::string_view::npos;
}
