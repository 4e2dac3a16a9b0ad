#pragma once
// The two listings of the command line, made by the same controller as the
// window's lists, through an in-memory view.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/ListRow.h"
#include "cli/CardLocation.h"

struct ListResult {
    // False when the listing could not be made; the log says why.
    bool done = false;
    std::vector<ListRow> rows;
    // Only for a card: the KB figure of the usage text.
    std::optional<int64_t> usageKB;
};

// The PC list of an existing folder (absolute path). A missing folder is
// reported, not created.
ListResult ListPcFolder(const std::string& folder);

// The card list of the card's slot: a folder (an existing one, absolute path)
// taken as a memory card, or a console reached by FTP or PS2Link. For a folder,
// installs a removable-drive answer of true for the whole process: a folder
// named on the command line is the user's explicit choice.
ListResult ListCard(const CardLocation& card);
