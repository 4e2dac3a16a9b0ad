#pragma once
#include <string_view>

#include "card/FtpClient.h"

// Fills isDirectory and the three mode groups from a Unix mode text such as
// "drwxr-xr-x". Characters missing from a short text read as '-'.
void ParseMode(std::string_view mode, FtpClient::FILE_DATA& entry);

// The listing filter of the network backends: drops names made only of '.'
// (".", "..", empty), names holding ':' and names holding '/' or a NUL byte,
// which could never name a save safely.
bool PassesEntryFilter(std::string_view name);
