#pragma once
// The save-information pane: a save's title, its name and a time.
#include <cstdint>
#include <optional>
#include <string>

// "%Y/%m/%d %H:%M:%S" in local time; empty when the time cannot be converted.
std::string FormatPaneTime(int64_t secondsSince1970);

// The time of a save folder on the PC: when its icon.sys was made (else last
// written); nothing when the folder holds no icon.sys.
std::optional<int64_t> PcSaveTime(const std::string& saveFolder);

// Title, name and time on three lines, as the pane shows them.
std::string SaveInfoText(const std::string& title, const std::string& name, const std::string& time);
