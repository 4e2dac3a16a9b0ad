#pragma once
// A folder named on the command line, checked before the controller sees it.
#include <string>

// The controller would create a missing folder, and lists an unreadable one as
// empty: both would turn a wrong folder name into a result that looks like
// success. False (logged with the operation and the folder) when folder is
// not an existing, readable folder.
bool IsReadableFolder(const std::string& folder, const std::string& operation);
