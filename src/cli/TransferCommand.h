#pragma once
// tansu-cli copy-to-pc, copy-to-card and delete: the window's transfers on the
// rows whose name column is one of the names given.
#include <string>
#include <vector>

#include "cli/CardLocation.h"

enum class TransferKind {
    CopyToPc,    // card rows, downloaded into the PC folder
    CopyToCard,  // PC folder rows, uploaded to the card
    Delete,      // card rows, deleted from the card
};

// card.folder (a folder card) and pcFolder are absolute; pcFolder is unused by
// Delete. False when any name failed: no such row, a save not copied whole, or
// a deleted save still listed afterwards (the log says which).
bool RunTransfer(TransferKind kind, const CardLocation& card, const std::string& pcFolder,
                 const std::vector<std::string>& names);
