#pragma once
// What the console's PC-side client "ps2client" prints: its output framed into
// lines, its failure marker, and the entries of a dir command. The client's
// text comes from the network through a program of its own: nothing in it is
// trusted to have the shape it should.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/FtpClient.h"

class PS2ClientOutput {
public:
    // Lines of the dir frame before and after the entry lines.
    static constexpr std::size_t kDirFrameLines = 3;

    // The client's output split at line feeds. A carriage return before a
    // line feed stays on its line. The empty piece after a final line feed is
    // not a line, so the dir frame (empty, header, empty, entries, empty,
    // footer, empty) has exactly three lines on each side of its entries.
    static std::vector<std::string> SplitLines(std::string_view output);
    // True when any line holds the client's failure marker "[ERROR]".
    static bool HasError(const std::vector<std::string>& lines);
    // True when the network file-system module greeted after "execiop".
    static bool ModuleStarted(const std::vector<std::string>& lines);
    // True when a dir output is that of a directory: its first entry, the
    // directory's own ".", says so. An output too short to hold it is none.
    static bool ListsDirectory(const std::vector<std::string>& lines);
    // The entry lines of a dir output: lines 3 to N - 4.
    static std::span<const std::string> DirEntryLines(const std::vector<std::string>& lines);
    // One entry line: mode, size, month-day-year, hour:minute:second, name.
    // False when the line does not have that shape; the entry is then not
    // to be used.
    static bool ParseDirLine(std::string_view line, FtpClient::FILE_DATA& entry);
    // The entries of a whole dir output, parsed and filtered, in output order.
    static std::vector<FtpClient::FILE_DATA> ParseDirOutput(const std::vector<std::string>& lines);
};
