#pragma once
#include <string>
#include <vector>

// A row of either save list: title, directory or file name, size in KB with at
// least four digits, type ("PS2" or "PS1"). UTF-8.
using ListRow = std::vector<std::string>;

enum ListColumn : int {
    kColumnTitle = 0,
    kColumnName = 1,
    kColumnSize = 2,
    kColumnType = 3,
    kColumnCount = 4,
};
