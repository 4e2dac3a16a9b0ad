#include "cli/TransferCommand.h"

#include <algorithm>

#include <boost/format.hpp>

#include "cli/CardSession.h"
#include "cli/ReadableFolder.h"
#include "common/Log.h"

namespace {

const char* OperationName(TransferKind kind)
{
    switch (kind) {
    case TransferKind::CopyToPc:
        return "tansu-cli copy-to-pc";
    case TransferKind::CopyToCard:
        return "tansu-cli copy-to-card";
    case TransferKind::Delete:
        return "tansu-cli delete";
    }
    return "tansu-cli";
}

bool Contains(const std::vector<ListRow>& rows, const ListRow& row)
{
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

bool HasName(const ListRow& row, const std::string& name)
{
    return row.size() == static_cast<size_t>(kColumnCount) && row[kColumnName] == name;
}

void LogFailure(const std::string& what, const std::string& operation, const std::string& name)
{
    Log((boost::format("エラー : %1% %2% : %3%") % what % operation % name).str());
}

}  // namespace

bool RunTransfer(TransferKind kind, const CardLocation& card, const std::string& pcFolder,
                 const std::vector<std::string>& names)
{
    const std::string operation = OperationName(kind);
    const bool usesPc = kind != TransferKind::Delete;
    if (usesPc && !IsReadableFolder(pcFolder, operation)) {
        return false;
    }
    CardSession session(card, usesPc ? pcFolder : std::string(), operation);
    if (!session.Connect()) {
        return false;
    }

    // The rows named, each once, in the order the names were given.
    const ListSide source = kind == TransferKind::CopyToCard ? ListSide::PC : ListSide::PS2;
    const std::vector<ListRow> listed = session.View().Rows(source);
    bool done = true;
    std::vector<ListRow> rows;
    for (const std::string& name : names) {
        bool found = false;
        for (const ListRow& row : listed) {
            if (HasName(row, name)) {
                found = true;
                if (!Contains(rows, row)) {
                    rows.push_back(row);
                }
            }
        }
        if (!found) {
            LogFailure(source == ListSide::PC ? "PCリストにセーブがありません" : "メモリーカードにセーブがありません",
                       operation, name);
            done = false;
        }
    }
    if (rows.empty()) {
        return done;
    }

    Control& control = session.Controller();
    switch (kind) {
    case TransferKind::CopyToPc:
    case TransferKind::CopyToCard: {
        const std::vector<ListRow> copied =
            kind == TransferKind::CopyToPc ? control.CopyToPC(rows) : control.CopyToPS2(rows);
        for (const ListRow& row : rows) {
            if (!Contains(copied, row)) {
                LogFailure("セーブデータをコピーできませんでした", operation, row[kColumnName]);
                done = false;
            }
        }
        break;
    }
    case TransferKind::Delete: {
        control.DeletePS2(rows);
        // The deletion ends with a fresh card list: what is still there was not deleted.
        const std::vector<ListRow> after = session.View().Rows(ListSide::PS2);
        for (const ListRow& row : rows) {
            const bool stays = std::any_of(after.begin(), after.end(),
                                           [&row](const ListRow& left) { return HasName(left, row[kColumnName]); });
            if (stays) {
                LogFailure("セーブデータを削除できませんでした", operation, row[kColumnName]);
                done = false;
            }
        }
        break;
    }
    }
    return done;
}
