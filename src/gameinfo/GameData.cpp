#include "gameinfo/GameData.h"

#include <boost/regex.hpp>

#include "card/InternetFile.h"
#include "common/Log.h"
#include "common/TextCodec.h"
#include "common/WidthMapping.h"
#include "gameinfo/CataloguePage.h"
#include "gameinfo/GameDataOwner.h"
#include "gameinfo/GameDataWorker.h"
#include "gameinfo/ThreadPool.h"

namespace {

std::string Field(const std::map<std::string, std::string>& fields, const char* key)
{
    const auto found = fields.find(key);
    return found == fields.end() ? std::string() : found->second;
}

}  // namespace

CatalogueAddresses DefaultCatalogueAddresses()
{
    return {"http://www.jp.playstation.com/software/title/", "http://www.jp.playstation.com:8090/software/title/"};
}

GameData::GameData(GameDataOwner* gameOwner, std::string cachePath, CatalogueAddresses catalogueAddresses)
    : owner(gameOwner), cacheFile(std::move(cachePath)), addresses(std::move(catalogueAddresses))
{
    cache.Load(cacheFile);
    pool = std::make_unique<ThreadPool>();
}

GameData::~GameData()
{
    pool->Shutdown();
    // Only when something was added: a cache file that could not be read
    // (too large, a read error) must not be replaced by an empty one.
    const std::lock_guard<std::mutex> hold(cacheLock);
    if (cacheChanged) {
        SaveCache();
    }
}

void GameData::Request(const std::string& directoryName)
{
    pool->Queue(std::make_unique<GameDataWorker>(this, owner, ProductCode(directoryName)));
}

GameInfo GameData::Lookup(const std::string& directoryName, bool online, bool useMirror)
{
    bool show = false;
    return Find(
        ProductCode(directoryName),
        [&](Option option) { return option == Option::FetchGameInfo ? online : option == Option::UseWebProxy && useMirror; },
        show);
}

void GameData::WaitUntilIdle() { pool->WaitUntilIdle(); }

GameInfo GameData::Find(const std::string& code, const std::function<bool(Option)>& option, bool& show)
{
    GameInfo info;
    info.code = code;
    show = false;
    if (code.empty()) {
        return info;
    }
    {
        const std::lock_guard<std::mutex> hold(cacheLock);
        const auto cached = cache.Sections().find(code);
        if (cached != cache.Sections().end()) {
            info.source = GameInfo::Source::Cache;
            info.fields = cached->second;
            show = true;
            return info;
        }
    }
    if (!option(Option::FetchGameInfo)) {
        return info;
    }
    const std::string url = (option(Option::UseWebProxy) ? addresses.mirror : addresses.catalogue) + code + ".html";
    const std::atomic<bool>& stopping = pool->Stopping();
    // Not under the cache's lock: the command line's lookup must not wait for a slow page.
    InternetFile file(owner->GetInternetSession(), url, &stopping);
    info.source = GameInfo::Source::Failed;
    if (file.Aborted()) {
        return info;
    }
    if (!file.ok) {
        Log("GameDataWorker::FromInternet() : htmlを取得できませんでした");
        return info;
    }
    const std::optional<CataloguePage::Fields> page =
        CataloguePage::Parse([&](std::string& line) { return !stopping && file.ReadString(line); });
    if (stopping) {
        return info;  // abandoned half-read: nothing of it is kept
    }
    info.source = GameInfo::Source::Internet;
    info.fields = page ? *page : CataloguePage::NoData();
    show = page.has_value();
    const std::lock_guard<std::mutex> hold(cacheLock);
    for (auto& [key, value] : info.fields) {
        // One value that is no UTF-8 would make the whole file read as CP932 next time.
        if (!IsValidUtf8(value)) {
            value = EscapeInvalidUtf8(value);
        }
        cache.SetString(code, key, value);
    }
    cacheChanged = true;
    // An empty page waits for the next save; a real one is kept at once.
    if (page) {
        SaveCache();
    }
    return info;
}

void GameData::SaveCache()
{
    // A failed save is not reported: the cache stays in memory for the next try.
    if (cache.Save(cacheFile)) {
        cacheChanged = false;
    }
}

std::string GameData::PaneText(const std::map<std::string, std::string>& fields)
{
    return ToHalfWidth(Field(fields, "TITLE")) + "\r\n" + ToHalfWidth(Field(fields, "GENRE")) + " " +
           ToHalfWidth(Field(fields, "SALE_DATE")) + "\r\n" + ToHalfWidth(Field(fields, "MAKER"));
}

std::string GameData::ProductCode(const std::string& directoryName)
{
    // Matching a const pattern is safe from several threads at once.
    static const boost::regex pattern("B[IAE][A-Z]{4}[\\-P][0-9]{5}.*", boost::regex::perl | boost::regex::mod_s);
    if (!boost::regex_match(directoryName, pattern)) {
        return {};
    }
    std::string code = directoryName.substr(2, 4);
    for (char& c : code) {
        c = static_cast<char>(c - 'A' + 'a');
    }
    return code + directoryName.substr(7, 5);
}
