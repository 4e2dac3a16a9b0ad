#pragma once
// The printed forms of tansu-cli info; a contract that scripts depend on
// (described in the usage text).
#include <cstdint>
#include <string>

#include "cli/InfoCommand.h"

// Tab-separated lines, the first column naming the line; columns escaped as in listings.
std::string FormatInfoPlain(const PathInfo& info);
// One JSON object on one line.
std::string FormatInfoJson(const PathInfo& info);
// Local time as ISO 8601 with its offset from UTC ("2024-05-01T10:00:05+09:00");
// empty when the system cannot convert it.
std::string LocalTimeText(int64_t seconds);
