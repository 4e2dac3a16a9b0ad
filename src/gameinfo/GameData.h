#pragma once
// The game a save belongs to: looked up by the product code in the save's
// directory name, first in the cache "softdata.ini", then (when the window
// allows it) on the game-title catalogue's page for that code. Lookups for the
// window run one at a time on a thread of their own, in the order asked.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/SettingFile.h"
#include "common/WindowFields.h"

class GameDataOwner;
class ThreadPool;

struct CatalogueAddresses {
    std::string catalogue;  // base address ending in "/software/title/"
    std::string mirror;     // the caching mirror, port 8090, same path
};
CatalogueAddresses DefaultCatalogueAddresses();

struct GameInfo {
    enum class Source { Cache, Internet, None, Failed };
    std::string code;  // lower-case product code, "" when none
    Source source = Source::None;
    // FORMAT GENRE MAKER PRICE PRICE_TAX_IN SALE_DATE TITLE as the cache holds them (UTF-8); absent = not known.
    std::map<std::string, std::string> fields;
};

class GameData {
public:
    // cacheFile: the full path of "softdata.ini", loaded now (a missing or
    // unreadable file leaves the cache empty). The owner must outlive this object.
    GameData(GameDataOwner* owner, std::string cacheFile, CatalogueAddresses addresses);
    GameData(const GameData&) = delete;
    GameData& operator=(const GameData&) = delete;
    // Drops the lookups not yet started, stops the running one at its next
    // read (within about a second), then saves the cache if it changed.
    virtual ~GameData();

    // Window thread: looks up the game of the selected save on the lookup
    // thread and shows it through the owner. Queued even without a code.
    void Request(const std::string& directoryName);
    // The same lookup on the caller's thread, for the command line: cache
    // first; the internet only when online (the internet box), the mirror when
    // useMirror (the WebProxy box). A fetched page goes into the cache, which
    // is saved.
    GameInfo Lookup(const std::string& directoryName, bool online, bool useMirror);

    // The pane's three lines for a cache section: TITLE, "\r\n", GENRE, " ",
    // SALE_DATE, "\r\n", MAKER, each in half-width forms; a missing key is "".
    static std::string PaneText(const std::map<std::string, std::string>& fields);
    // "B[IAE][A-Z]{4}[-P][0-9]{5}.*" gives characters 2-5 in lower case and
    // 7-11 ("BISLPS-25000XYZ" gives "slps25000"); "" for any other name.
    static std::string ProductCode(const std::string& directoryName);

    // Blocks until every queued request has run.
    void WaitUntilIdle();

private:
    friend class GameDataWorker;

    // The cache, else the page when the options allow it (read only then).
    // show: whether the window shows the result (a page without a single
    // line is cached, but not shown).
    GameInfo Find(const std::string& code, const std::function<bool(Option)>& option, bool& show);
    void SaveCache();

    GameDataOwner* owner;
    const std::string cacheFile;
    const CatalogueAddresses addresses;
    std::mutex cacheLock;
    SettingFile cache;
    // Entries added since the cache was last saved.
    bool cacheChanged = false;
    std::unique_ptr<ThreadPool> pool;
};
