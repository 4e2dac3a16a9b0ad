#pragma once
// format-card and check-card: card image files made and checked without a card session.
#include <cstdint>
#include <string>

#include "card/CardImageFile.h"

// path: absolute. False (logged) when nothing was written: the file exists
// already (it is never replaced) or could not be written.
bool FormatCard(const std::string& path, bool ps1, bool ecc, uint32_t megabytes);

// The check of one file; false when it could not be read (logged).
bool CheckCard(const std::string& path, CardImageReport& report);
// The printed forms (see the usage text).
std::string FormatCheckPlain(const std::string& path, const CardImageReport& report);
std::string FormatCheckJson(const std::string& path, const CardImageReport& report);
