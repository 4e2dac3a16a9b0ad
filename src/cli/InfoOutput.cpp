#include "cli/InfoOutput.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdlib>
#include <ctime>
#include <optional>

#include <boost/format.hpp>

#include "cli/CliOutput.h"

namespace {

QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Line(std::initializer_list<std::string> columns)
{
    std::string line;
    for (const std::string& column : columns) {
        line += (line.empty() ? "" : "\t") + EscapeColumn(column);
    }
    return line + '\n';
}

std::string TimeColumn(const std::optional<int64_t>& seconds) { return seconds ? LocalTimeText(*seconds) : ""; }

QJsonValue JsonTimeText(const std::optional<int64_t>& seconds)
{
    const std::string text = TimeColumn(seconds);
    return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(ToQString(text));
}

QJsonValue JsonSeconds(const std::optional<int64_t>& seconds)
{
    return seconds ? QJsonValue(static_cast<qint64>(*seconds)) : QJsonValue(QJsonValue::Null);
}

}  // namespace

std::string LocalTimeText(int64_t seconds)
{
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return std::string();
    }
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
        return std::string();
    }
    const long offset = local.tm_gmtoff;
    const long minutes = std::labs(offset) / 60;
    return (boost::format("%1%%2%%3$02d:%4$02d") % text % (offset < 0 ? '-' : '+') % (minutes / 60) % (minutes % 60))
        .str();
}

std::string FormatInfoPlain(const PathInfo& info)
{
    std::string out = Line({"kind", InfoKindName(info.kind)});
    if (info.name) {
        out += Line({"name", *info.name});
    }
    if (info.title) {
        out += Line({"title", *info.title});
    }
    for (const std::string& icon : info.icons) {
        out += Line({"icon", icon});
    }
    if (info.frames) {
        out += Line({"frames", std::to_string(*info.frames)});
    }
    const bool withTimes = KindHasTimes(info.kind);
    const char* label = info.kind == InfoKind::Ps1Card ? "item" : "file";
    for (const InfoEntry& entry : info.entries) {
        if (withTimes) {
            out += Line({label, entry.name, std::to_string(entry.size), TimeColumn(entry.created),
                         TimeColumn(entry.modified)});
        } else {
            out += Line({label, entry.name, std::to_string(entry.size)});
        }
    }
    return out;
}

std::string FormatInfoJson(const PathInfo& info)
{
    QJsonObject root;
    root.insert(QStringLiteral("kind"), QString::fromLatin1(InfoKindName(info.kind)));
    if (info.name) {
        root.insert(QStringLiteral("name"), ToQString(*info.name));
    }
    // A folder without a readable icon.sys has no title: null says so.
    if (info.title) {
        root.insert(QStringLiteral("title"), ToQString(*info.title));
    } else if (info.kind == InfoKind::Ps2Folder) {
        root.insert(QStringLiteral("title"), QJsonValue(QJsonValue::Null));
    }
    if (info.modified) {
        root.insert(QStringLiteral("modified"), ToQString(*info.modified));
    }
    if (info.kind == InfoKind::IconSys) {
        QJsonArray icons;
        for (const std::string& icon : info.icons) {
            icons.append(ToQString(icon));
        }
        root.insert(QStringLiteral("icons"), icons);
    }
    if (info.frames) {
        root.insert(QStringLiteral("frames"), *info.frames);
    }
    if (info.kind != InfoKind::IconSys && info.kind != InfoKind::Ps1Save) {
        const bool withTimes = KindHasTimes(info.kind);
        QJsonArray entries;
        for (const InfoEntry& entry : info.entries) {
            QJsonObject object;
            object.insert(QStringLiteral("name"), ToQString(entry.name));
            object.insert(QStringLiteral("size"), static_cast<qint64>(entry.size));
            if (withTimes) {
                object.insert(QStringLiteral("created"), JsonTimeText(entry.created));
                object.insert(QStringLiteral("created_seconds"), JsonSeconds(entry.created));
                object.insert(QStringLiteral("modified"), JsonTimeText(entry.modified));
                object.insert(QStringLiteral("modified_seconds"), JsonSeconds(entry.modified));
            }
            entries.append(object);
        }
        root.insert(info.kind == InfoKind::Ps1Card ? QStringLiteral("items") : QStringLiteral("files"), entries);
    }
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size())) + '\n';
}
