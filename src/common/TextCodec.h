#pragma once
// The one codec of the program: Shift-JIS as Windows writes it (code page 932)
// to and from our internal UTF-8. Card formats keep their Shift-JIS bytes;
// they are decoded here where they become display text or a PC file name.
#include <string>
#include <string_view>

// Never fails: a byte or byte pair that is not valid CP932 becomes U+FFFD.
std::string SjisToUtf8(std::string_view sjis);
// Characters CP932 cannot hold become '?'.
std::string Utf8ToSjis(std::string_view utf8);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// Lead bytes of CP932 double-byte characters: 0x81-0x9F and 0xE0-0xFC.
inline bool IsSjisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Bytes that are no well-formed UTF-8 written as \xHH (two upper-case hex
// digits); everything else unchanged. Names read this way survive JSON and
// a terminal and come back whole through UnescapeBytes.
std::string EscapeInvalidUtf8(std::string_view bytes);
// Every \xHH (either case) back to its byte; all else unchanged.
std::string UnescapeBytes(std::string_view text);
// A file or directory name as a person reads it: UTF-8 as it is, else
// Shift-JIS (CP932, as Windows names folders) decoded, else the bytes escaped.
std::string DisplayName(std::string_view bytes);
