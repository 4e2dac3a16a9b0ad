#pragma once
// One line of an FTP LIST answer from a console FTP server, in either of the
// two layouts those servers send:
//   drwxrwxrwx   1 ps2      ps2             0 Nov 23  2004 BESLES-50366
//   drwxrwxrwx ps2 ps2 5 2004-11-23 21:05 BESLES-50366
#include <string>

#include "card/FtpClient.h"

// Fills entry from the line and logs the raw line first. False when the line
// names no entry: too few fields, a size that is not a number, an empty name
// or an impossible date. The entry is left as it was then.
bool ParseListLine(const std::string& line, FtpClient::FILE_DATA& entry);
