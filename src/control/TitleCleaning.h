#pragma once
// Turning save data into the texts of a list row.
#include <cstdint>
#include <string>
#include <string_view>

// A Shift-JIS title as it appears in column 0: line breaks become spaces,
// half-width characters, no leading, trailing or doubled spaces. UTF-8.
std::string CleanTitle(std::string_view sjisTitle);

// KB that a file takes on the card: whole 2 KB clusters, at least one.
int64_t FileSizeKB(uint64_t bytes);
// Column 2: decimal with leading zeros to at least four digits.
std::string SizeColumn(int64_t kilobytes);
// Column 1: a name holding a space but not beginning with one shows only the text after its last space.
std::string NameColumn(const std::string& name);
