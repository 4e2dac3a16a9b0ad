#pragma once
// Japanese character-width mapping on UTF-8 text, as the Japanese locale maps
// it: full-width letters, digits, punctuation, spaces and katakana to their
// half-width forms, and back. Safe to call from any thread.
#include <string>
#include <string_view>

std::string ToHalfWidth(std::string_view utf8);
// Half-width katakana with a voiced mark become one character (ｶﾞ -> ガ).
std::string ToFullWidth(std::string_view utf8);
