#include "cli/TransferCommand.h"

#include <algorithm>

#include <boost/format.hpp>

#include "cli/CardSession.h"
#include "cli/ReadableFolder.h"
#include "common/Log.h"
#include "common/TextCodec.h"

namespace {

const char* OperationName(TransferKind kind)
{
    switch (kind) {
    case TransferKind::CopyToPc:
        return "tansu-cli copy-to-pc";
    case TransferKind::CopyToCard:
        return "tansu-cli copy-to-card";
    case TransferKind::MoveToPc:
        return "tansu-cli move-to-pc";
    case TransferKind::MoveToCard:
        return "tansu-cli move-to-card";
    case TransferKind::Delete:
        return "tansu-cli delete";
    }
    return "tansu-cli";
}

bool Contains(const std::vector<ListRow>& rows, const ListRow& row)
{
    return std::any_of(rows.begin(), rows.end(), [&row](const ListRow& other) { return other.SameSave(row); });
}

void LogFailure(const std::string& what, const std::string& operation, const std::string& name)
{
    Log((boost::format("エラー : %1% %2% : %3%") % what % operation % DisplayName(name)).str());
}

std::vector<ListRow> RowsWhere(const std::vector<ListRow>& rows, bool (*match)(const ListRow&, const std::string&),
                               const std::string& name)
{
    std::vector<ListRow> found;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(found),
                 [&](const ListRow& row) { return match(row, name); });
    return found;
}

bool HasWholeName(const ListRow& row, const std::string& name) { return row.name == name; }

bool ShowsName(const ListRow& row, const std::string& name)
{
    return row.size() == static_cast<size_t>(kColumnCount) && row[kColumnName] == name;
}

// The save a name stands for: its whole name as given, then with \xHH read as
// bytes, then the shown name when it is one row's alone. Names are unique
// within a list, so a whole name finds one row at most.
std::vector<ListRow> FindSave(const std::vector<ListRow>& listed, const std::string& name)
{
    for (const std::string& whole : {name, UnescapeBytes(name)}) {
        if (std::vector<ListRow> found = RowsWhere(listed, HasWholeName, whole); !found.empty()) {
            return found;
        }
    }
    return RowsWhere(listed, ShowsName, name);
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

    // The saves named, each once, in the order the names were given.
    const bool fromPc = kind == TransferKind::CopyToCard || kind == TransferKind::MoveToCard;
    const ListSide source = fromPc ? ListSide::PC : ListSide::PS2;
    const std::vector<ListRow> listed = session.View().Rows(source);
    bool done = true;
    std::vector<ListRow> rows;
    for (const std::string& name : names) {
        const std::vector<ListRow> found = FindSave(listed, name);
        if (found.empty()) {
            LogFailure(fromPc ? "PCリストにセーブがありません" : "メモリーカードにセーブがありません", operation, name);
            done = false;
        } else if (found.size() > 1) {
            LogFailure("同じ名前で表示されるセーブが複数あります。ディレクトリ名全体で指定してください", operation, name);
            done = false;
        } else if (!Contains(rows, found.front())) {
            rows.push_back(found.front());
        }
    }
    if (rows.empty()) {
        return done;
    }

    Control& control = session.Controller();
    if (kind == TransferKind::Delete) {
        control.DeletePS2(rows);
        // The deletion ends with a fresh card list: what is still there was
        // not deleted. A list that could not be read shows nothing, which
        // proves nothing gone.
        const bool unread = control.CardListFailed();
        const std::vector<ListRow> after = session.View().Rows(ListSide::PS2);
        for (const ListRow& row : rows) {
            if (unread || Contains(after, row)) {
                LogFailure("セーブデータを削除できませんでした", operation, row.name);
                done = false;
            }
        }
        return done;
    }
    std::vector<ListRow> copied;
    switch (kind) {
    case TransferKind::CopyToPc:
        copied = control.CopyToPC(rows);
        break;
    case TransferKind::CopyToCard:
        copied = control.CopyToPS2(rows);
        break;
    case TransferKind::MoveToPc:
        copied = control.MoveToPC(rows);
        break;
    case TransferKind::MoveToCard:
        copied = control.MoveToPS2(rows);
        break;
    case TransferKind::Delete:
        break;
    }
    for (const ListRow& row : rows) {
        if (!Contains(copied, row)) {
            LogFailure("セーブデータをコピーできませんでした", operation, row.name);
            done = false;
        }
    }
    // A move deleted its sources afterwards: each one still listed was not
    // deleted, and none is known gone from a card list that could not be read.
    if (kind == TransferKind::MoveToPc || kind == TransferKind::MoveToCard) {
        const bool unread = source == ListSide::PS2 && control.CardListFailed();
        const std::vector<ListRow> after = session.View().Rows(source);
        for (const ListRow& row : copied) {
            if (unread || Contains(after, row)) {
                LogFailure("移動元のセーブデータを削除できませんでした", operation, row.name);
                done = false;
            }
        }
    }
    return done;
}
