#include "cli/GameInfoCommand.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

#include "card/InternetSession.h"
#include "cli/CliOutput.h"
#include "common/ProgramDirectory.h"
#include "common/SettingFile.h"
#include "common/TextCodec.h"
#include "control/Settings.h"
#include "gameinfo/GameDataOwner.h"

namespace {

// The window's two boxes, fixed for the run; there is no pane to set.
class CommandLineOwner : public GameDataOwner {
public:
    CommandLineOwner(bool internetBox, bool proxyBox) : online(internetBox), proxy(proxyBox) {}
    bool IsOptionChecked(Option option) const override
    {
        return option == Option::FetchGameInfo ? online : option == Option::UseWebProxy && proxy;
    }
    InternetSession* GetInternetSession() const override { return session.get(); }
    void SetGameInfoText(const std::string& /*text*/) override {}

private:
    bool online;
    bool proxy;
    // Made only when pages may be fetched.
    std::unique_ptr<InternetSession> session = online ? std::make_unique<InternetSession>("Tansu") : nullptr;
};

CatalogueAddresses Addresses(const GameInfoRequest& request)
{
    const CatalogueAddresses configured = LoadCatalogueAddresses();
    return {request.catalogue.value_or(configured.catalogue), request.mirror.value_or(configured.mirror)};
}

const char* SourceName(GameInfo::Source source)
{
    switch (source) {
    case GameInfo::Source::Cache:
        return "cache";
    case GameInfo::Source::Internet:
        return "internet";
    case GameInfo::Source::Failed:
        return "failed";
    case GameInfo::Source::None:
        break;
    }
    return "none";
}

}  // namespace

std::vector<GameInfoAnswer> LookUpGames(const GameInfoRequest& request)
{
    CommandLineOwner owner(request.online, request.proxy);
    const std::string cacheFile =
        request.cacheFile.empty() ? ProgramDirectory() + "softdata.ini" : request.cacheFile;
    GameData data(&owner, cacheFile, Addresses(request));
    std::vector<GameInfoAnswer> answers;
    for (const std::string& name : request.names) {
        answers.push_back({name, data.Lookup(name, request.online, request.proxy)});
    }
    return answers;
}

bool AnyFetchFailed(const std::vector<GameInfoAnswer>& answers)
{
    return std::any_of(answers.begin(), answers.end(),
                       [](const GameInfoAnswer& answer) { return answer.info.source == GameInfo::Source::Failed; });
}

std::string FormatGameInfoPlain(const std::vector<GameInfoAnswer>& answers)
{
    std::string out;
    for (const GameInfoAnswer& answer : answers) {
        const std::string text = GameData::PaneText(answer.info.fields);
        std::string_view pane = text;
        // The pane's CR LF line ends; anything else in a value is escaped.
        for (size_t end = pane.find("\r\n");; end = pane.find("\r\n")) {
            out += EscapeColumn(std::string(pane.substr(0, end))) + '\n';
            if (end == std::string_view::npos) {
                break;
            }
            pane.remove_prefix(end + 2);
        }
        out += '\n';
    }
    return out;
}

std::string FormatGameInfoJson(const std::vector<GameInfoAnswer>& answers)
{
    static constexpr std::pair<const char*, const char*> kFields[] = {
        {"title", "TITLE"}, {"genre", "GENRE"},   {"sale_date", "SALE_DATE"},      {"maker", "MAKER"},
        {"format", "FORMAT"}, {"price", "PRICE"}, {"price_tax_in", "PRICE_TAX_IN"}};
    QJsonArray results;
    for (const GameInfoAnswer& answer : answers) {
        QJsonObject object;
        object.insert(QStringLiteral("name"), JsonText(EscapeInvalidUtf8(answer.name)));
        object.insert(QStringLiteral("code"), JsonText(answer.info.code));
        object.insert(QStringLiteral("source"), QString::fromLatin1(SourceName(answer.info.source)));
        for (const auto& [name, key] : kFields) {
            const auto found = answer.info.fields.find(key);
            object.insert(QString::fromLatin1(name), found == answer.info.fields.end() ? QJsonValue(QJsonValue::Null)
                                                                                       : QJsonValue(JsonText(found->second)));
        }
        results.append(object);
    }
    QJsonObject root;
    root.insert(QStringLiteral("results"), results);
    return JsonLine(root);
}
