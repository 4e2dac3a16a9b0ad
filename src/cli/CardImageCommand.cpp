#include "cli/CardImageCommand.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/CliOutput.h"
#include "common/Log.h"
#include "common/TextCodec.h"

namespace {

const char* KindName(CardImageKind kind)
{
    switch (kind) {
    case CardImageKind::Ps2:
        return "ps2";
    case CardImageKind::Ps1:
        return "ps1";
    case CardImageKind::None:
        break;
    }
    return "none";
}

QString ToQString(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

bool FormatCard(const std::string& path, bool ps1, bool ecc, uint32_t megabytes)
{
    if (const std::error_code error = FormatCardImage(path, ps1, ecc, megabytes)) {
        Log(error == std::errc::file_exists ? "エラー : ファイルがすでにあるため上書きしませんでした tansu-cli format-card : " + path
                                            : "エラー : メモリーカードイメージを書き込めませんでした tansu-cli format-card : " + path);
        LogError(error);
        return false;
    }
    return true;
}

bool CheckCard(const std::string& path, CardImageReport& report)
{
    report = CheckCardImage(path);
    if (report.readError) {
        Log("エラー : ファイルを読めませんでした tansu-cli check-card : " + path);
        LogError(report.readError);
        return false;
    }
    for (const std::string& problem : report.problems) {
        Log("警告 : " + problem + " tansu-cli check-card : " + path);
    }
    return true;
}

std::string FormatCheckPlain(const std::string& path, const CardImageReport& report)
{
    std::string text = "file\t" + EscapeColumn(EscapeInvalidUtf8(path)) + "\nkind\t" + KindName(report.kind) +
                       "\nsize\t" + std::to_string(report.size) + "\n";
    if (report.kind == CardImageKind::Ps2) {
        text += std::string("ecc\t") + (report.ecc ? "yes" : "no") + "\n";
    }
    for (const std::string& problem : report.problems) {
        text += "problem\t" + EscapeColumn(EscapeInvalidUtf8(problem)) + "\n";
    }
    return text;
}

std::string FormatCheckJson(const std::string& path, const CardImageReport& report)
{
    QJsonObject root;
    root.insert(QStringLiteral("file"), ToQString(EscapeInvalidUtf8(path)));
    root.insert(QStringLiteral("kind"),
                report.kind == CardImageKind::None ? QJsonValue(QJsonValue::Null) : QJsonValue(KindName(report.kind)));
    root.insert(QStringLiteral("size"), static_cast<qint64>(report.size));
    root.insert(QStringLiteral("ecc"), report.kind == CardImageKind::Ps2 ? QJsonValue(report.ecc) : QJsonValue(QJsonValue::Null));
    QJsonArray problems;
    for (const std::string& problem : report.problems) {
        problems.append(ToQString(EscapeInvalidUtf8(problem)));
    }
    root.insert(QStringLiteral("problems"), problems);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size())) + "\n";
}
