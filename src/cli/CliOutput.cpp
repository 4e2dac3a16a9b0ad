#include "cli/CliOutput.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <boost/format.hpp>
#include <boost/lexical_cast.hpp>

#include "common/TextCodec.h"

namespace {

constexpr std::string_view kUsagePrefix = "約";
constexpr std::string_view kUsageSuffix = "KB使用中";

// A row always has four columns; a shorter one prints empty texts rather than
// reading past its end.
std::string Column(const ListRow& row, ListColumn column)
{
    const auto index = static_cast<size_t>(column);
    return index < row.size() ? row[index] : std::string();
}

}  // namespace

QString JsonText(const std::string& text)
{
    // Names that are not UTF-8 (possible on Linux) come out with U+FFFD in
    // their place; JSON cannot carry raw bytes.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string JsonLine(const QJsonObject& object)
{
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size())) + '\n';
}

std::string EscapeColumn(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                escaped += (boost::format("\\x%02X") % static_cast<unsigned>(byte)).str();
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
}

std::string FormatPlain(const std::vector<ListRow>& rows, std::optional<int64_t> usageKB)
{
    std::string out;
    for (const ListRow& row : rows) {
        out += EscapeColumn(Column(row, kColumnTitle)) + '\t' + EscapeColumn(Column(row, kColumnName)) + '\t' +
               EscapeColumn(Column(row, kColumnSize)) + '\t' + EscapeColumn(Column(row, kColumnType)) + '\n';
    }
    if (usageKB) {
        out += "usage\t" + boost::lexical_cast<std::string>(*usageKB) + '\n';
    }
    return out;
}

std::string FormatJson(const std::vector<ListRow>& rows, std::optional<int64_t> usageKB)
{
    QJsonArray jsonRows;
    for (const ListRow& row : rows) {
        QJsonObject object;
        object.insert(QStringLiteral("title"), JsonText(Column(row, kColumnTitle)));
        object.insert(QStringLiteral("name"), JsonText(Column(row, kColumnName)));
        object.insert(QStringLiteral("size"), JsonText(Column(row, kColumnSize)));
        object.insert(QStringLiteral("type"), JsonText(Column(row, kColumnType)));
        object.insert(QStringLiteral("dir"), JsonText(EscapeInvalidUtf8(row.name)));
        jsonRows.append(object);
    }
    QJsonObject root;
    root.insert(QStringLiteral("rows"), jsonRows);
    if (usageKB) {
        root.insert(QStringLiteral("usage_kb"), static_cast<qint64>(*usageKB));
    }
    return JsonLine(root);
}

std::optional<int64_t> ParseUsageText(const std::string& usageText)
{
    const std::string_view text(usageText);
    if (text.size() <= kUsagePrefix.size() + kUsageSuffix.size() || !text.starts_with(kUsagePrefix) ||
        !text.ends_with(kUsageSuffix)) {
        return std::nullopt;
    }
    const std::string_view number =
        text.substr(kUsagePrefix.size(), text.size() - kUsagePrefix.size() - kUsageSuffix.size());
    for (const char c : number) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    try {
        return boost::lexical_cast<int64_t>(number);
    } catch (const boost::bad_lexical_cast&) {
        return std::nullopt;  // more digits than 64 bits hold
    }
}
