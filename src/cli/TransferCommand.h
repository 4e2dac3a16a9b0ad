#pragma once
// tansu-cli copy-to-pc, copy-to-card, move-to-pc, move-to-card and delete:
// the window's transfers on the saves named.
#include <string>
#include <vector>

#include "cli/CardLocation.h"

enum class TransferKind {
    CopyToPc,    // card rows, downloaded into the PC folder
    CopyToCard,  // PC folder rows, uploaded to the card
    MoveToPc,    // CopyToPc, then the card saves copied whole deleted
    MoveToCard,  // CopyToCard, then the PC saves copied whole deleted
    Delete,      // card rows, deleted from the card
};

// card.path (a folder card or an image) and pcFolder are absolute; pcFolder is unused by
// Delete. A name is a save's whole name (\xHH standing for a byte), or the text
// of the name column when exactly one row shows it. False when any name failed:
// no such save or several, a save not copied whole, or a deleted save still
// listed afterwards (the log says which).
bool RunTransfer(TransferKind kind, const CardLocation& card, const std::string& pcFolder,
                 const std::vector<std::string>& names);
