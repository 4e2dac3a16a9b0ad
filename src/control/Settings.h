#pragma once
// The window's persistent state in "setting.ini" and the language files in
// "language/", both in the program directory.
#include <map>
#include <string>
#include <vector>

#include "gameinfo/GameData.h"

class ControlView;

// Restores check boxes, edits and the language choice (window start-up).
void LoadSettings(ControlView& view);
// Writes them back (window close), with keys of the window's own (column widths) beside them.
void SaveSettings(const ControlView& view, const std::map<std::string, std::string>& windowKeys = {});
// Language names: the "language/*.ini" files without extension, sorted.
std::vector<std::string> AvailableLanguages();
// The game-title catalogue's two addresses: CATALOGUE_URL and
// CATALOGUE_MIRROR_URL of "setting.ini", the built-in ones where missing.
CatalogueAddresses LoadCatalogueAddresses();
// Sets every caption and tooltip from "language/<selected>.ini".
void ApplyLanguage(ControlView& view);
