#pragma once
// The CARD argument of the command line: a folder taken as a memory card,
// "ftp://HOST[:PORT]/SLOT" or "ps2link://HOST/SLOT" (SLOT 0 or 1).
#include <string>

enum class CardKind {
    Folder,
    Ftp,
    PS2Link,
};

struct CardLocation {
    CardKind kind = CardKind::Folder;
    // The argument as given, for messages.
    std::string text;
    // Folder: the path as given (not yet made absolute).
    std::string folder;
    // Ftp: "HOST" or "HOST:PORT"; PS2Link: "HOST". What the window's address field would hold.
    std::string address;
    // "0" or "1"; for a folder always "0", the one slot a folder card has.
    std::string slot;
};

struct CardLocationResult {
    CardLocation location;
    // Empty when the text was understood.
    std::string error;
};

// Reads a CARD argument. Anything that starts like a URL ("word://") is taken
// as one and must be one of the two console forms exactly; everything else is
// a folder.
CardLocationResult ParseCardLocation(const std::string& text);
