#pragma once
// tansu-cli gameinfo: for each directory name, what the window's
// game-information pane would show, looked up the window's way.
#include <optional>
#include <string>
#include <vector>

#include "gameinfo/GameData.h"

struct GameInfoRequest {
    std::vector<std::string> names;
    // The internet box and the WebProxy box (the mirror).
    bool online = false;
    bool proxy = false;
    // Given on the command line; else setting.ini's CATALOGUE_URL and CATALOGUE_MIRROR_URL, else the defaults.
    std::optional<std::string> catalogue;
    std::optional<std::string> mirror;
    // Absolute; empty for the program directory's softdata.ini.
    std::string cacheFile;
};

struct GameInfoAnswer {
    std::string name;
    GameInfo info;
};

// In the order of the names. Only loads and saves the cache and fetches pages.
std::vector<GameInfoAnswer> LookUpGames(const GameInfoRequest& request);
// True when a page could not be had for some name.
bool AnyFetchFailed(const std::vector<GameInfoAnswer>& answers);

// Per name the pane's three lines with "\n" line ends, each escaped as a
// column is, then an empty line.
std::string FormatGameInfoPlain(const std::vector<GameInfoAnswer>& answers);
// {"results": [{"name", "code", "source", "title", "genre", "sale_date",
// "maker", "format", "price", "price_tax_in"}]} on one line; a field not known is null.
std::string FormatGameInfoJson(const std::vector<GameInfoAnswer>& answers);
