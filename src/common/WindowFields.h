#pragma once
// Indexes of the window's fields that lower layers read through their owner.

// The option check boxes, in the order of their settings keys CHECK_BOX0..5.
enum class Option : int {
    UseWebProxy = 0,
    FetchGameInfo = 1,
    LimitFtpSpeed = 2,
    PowerOffOnDisconnect = 3,
    ForceDirectory = 4,
    ShowIcon = 5,
};
inline constexpr int kOptionCount = 6;

// The edits, in the order of their settings keys EDIT0..2.
enum class Edit : int {
    Address = 0,
    PcFolder = 1,
    UsbFolder = 2,
};
inline constexpr int kEditCount = 3;

// The combo boxes.
enum class Combo : int {
    Slot = 0,
    Language = 1,
};
