#pragma once
// The CARD argument of the command line: a folder taken as a memory card, a
// PS2 or PS1 card image file, "ftp://HOST[:PORT]/SLOT" or
// "ps2link://HOST/SLOT" (SLOT 0 or 1).
#include <string>

enum class CardKind {
    Folder,
    // A regular file: a card image, its kind told by content when connecting.
    Image,
    Ftp,
    PS2Link,
};

struct CardLocation {
    CardKind kind = CardKind::Folder;
    // The argument as given, for messages.
    std::string text;
    // Folder and Image: the path as given (not yet made absolute).
    std::string path;
    // Ftp: "HOST" or "HOST:PORT"; PS2Link: "HOST". What the window's address field would hold.
    std::string address;
    // "0" or "1"; for a folder or an image always "0", the one slot they have.
    std::string slot;
};

struct CardLocationResult {
    CardLocation location;
    // Empty when the text was understood.
    std::string error;
};

// Reads a CARD argument. Anything that starts like a URL ("word://") is taken
// as one and must be one of the two console forms exactly; a path to a
// regular file (relative to the current directory) is an image; everything
// else is a folder.
CardLocationResult ParseCardLocation(const std::string& text);
