// Copies, moves and deletions of saves between the card and the PC folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <system_error>

#include <boost/format.hpp>
#include <boost/regex.hpp>

#include "control/Control.h"
#include "control/UiText.h"
#include "control/TitleCleaning.h"
#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/PendingFile.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/StagingLock.h"
#include "common/TextCodec.h"

namespace fs = std::filesystem;

namespace {

// A PS1 save is whole 8 KB blocks, one per card block it takes.
const uint32_t kPS1BlockBytes = 8192;

// A question lists this many saves by name, then says how many more.
constexpr size_t kListedInQuestion = 20;

// A local date and time for a question; "unknown" when the listing gave none.
std::string DateText(int64_t time)
{
    if (time == 0) {
        return UiText("UNKNOWN_TIME");
    }
    const auto value = static_cast<std::time_t>(time);
    std::tm local{};
    char text[32];
    if (localtime_r(&value, &local) == nullptr || std::strftime(text, sizeof text, "%Y/%m/%d %H:%M", &local) == 0) {
        return UiText("UNKNOWN_TIME");
    }
    return text;
}

// A name ending in a dot and three digits is a numbered backup: the card gets the name without it.
std::string CardName(const std::string& pcName)
{
    static const boost::regex numbered(R"(.*\.[0-9]{3})");
    if (pcName.size() > 4 && boost::regex_match(pcName, numbered)) {
        return pcName.substr(0, pcName.size() - 4);
    }
    return pcName;
}

// Moves whatever stands at path (a save folder, a file of the same name) to its
// numbered backup name. False (logged) when something stays there: the copy
// must then not go ahead, or it would write into the old save.
bool MoveToBackup(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return true;
    }
    if (const std::error_code error = RenameToBackup(path)) {
        Log(error == std::errc::file_exists ? "エラー : バックアップ名が残っていないため保存できませんでした " + DisplayName(path)
                                            : "エラー : バックアップを作成できませんでした " + DisplayName(path));
        LogError(error);
        return false;
    }
    return true;
}

// The files of one save get creation times one second apart in card order:
// the seconds field carries the file order.
int64_t CreationTimeFor(int64_t time, size_t place)
{
    const std::time_t value = static_cast<std::time_t>(time);
    std::tm local{};
    if (localtime_r(&value, &local) == nullptr) {
        return time + static_cast<int64_t>(place) + 2;
    }
    return time - local.tm_sec + static_cast<int64_t>(place) + 1;
}

bool HasSize(const std::string& path, uint32_t size)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           static_cast<uint32_t>(status.st_size) == size;
}

void LogKeptSource(const std::string& name)
{
    Log("エラー : コピーが完了しなかったため移動元のセーブデータを残しました " + DisplayName(name));
}

bool Contains(const std::vector<ListRow>& rows, const ListRow& row)
{
    return std::any_of(rows.begin(), rows.end(), [&row](const ListRow& other) { return other.SameSave(row); });
}

// Everything below path, deepest first, then path itself. Links are removed,
// never followed: a link inside a save must not lead the deletion elsewhere.
void CollectForDeletion(const fs::path& path, std::vector<fs::path>& paths)
{
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->symlink_status(error).type() == fs::file_type::directory) {
            CollectForDeletion(it->path(), paths);
        } else {
            paths.push_back(it->path());
        }
    }
    paths.push_back(path);
}

void DeleteFolderTree(const std::string& folder)
{
    std::vector<fs::path> paths;
    CollectForDeletion(folder, paths);
    for (const fs::path& path : paths) {
        std::error_code error;
        if (fs::symlink_status(path, error).type() == fs::file_type::directory) {
            if (::rmdir(path.c_str()) != 0) {
                Log("フォルダを削除できませんでした " + path.string());
                LogLastError();
            }
        } else if (::unlink(path.c_str()) != 0) {
            Log("ファイルを削除できませんでした " + path.string());
        }
    }
}

}  // namespace

std::vector<ListRow> Control::TransferFrame(const std::vector<ListRow>& rows, const SaveStep& step,
                                           const std::function<void()>& refresh)
{
    // The frame every card transfer shares: controls off, progress per save,
    // then the destination list afresh and idle again. Card transfers stage
    // files (PS1 uploads, PS2Link): another run staging at once is waited for.
    const StagingLock lock;
    if (!lock.Held()) {
        return {};
    }
    dialog->EnableControls(false);
    dialog->SetProgress(0);
    EnterProgramDirectory();
    const std::string pcFolder = dialog->GetEditText(Edit::PcFolder);
    std::vector<ListRow> done;
    const size_t n = rows.size();
    for (size_t k = 1; k <= n; ++k) {
        if (CancelRequested()) {
            LogCancelled(k - 1, n);
            break;
        }
        if (step(rows[k - 1], pcFolder)) {
            done.push_back(rows[k - 1]);
        }
        dialog->SetProgress(static_cast<float>(k) / static_cast<float>(n));
    }
    dialog->SetProgress(1.0f);
    EnterProgramDirectory();
    refresh();
    SetStatus(UiText("IDLE"));
    dialog->EnableControls(true);
    return done;
}

std::vector<ListRow> Control::CopyToPC(const std::vector<ListRow>& rows)
{
    // Without a PC folder nothing is copied: a relative path would land in the program directory.
    return TransferFrame(rows, [this](const ListRow& row, const std::string& pcFolder) {
        return !pcFolder.empty() && IsActionable(row, ListSide::PS2, "Control::OnCopyToPC()") &&
               DownloadSave(row, pcFolder);
    }, [this] { UpdateDataListPC(); });
}

bool Control::DownloadSave(const ListRow& row, const std::string& pcFolder)
{
    const std::string& title = row[kColumnTitle];
    const std::string& name = row.name;
    const std::string shown = DisplayName(name);
    const std::string target = JoinPath(pcFolder, name);
    if (!MoveToBackup(target)) {
        return false;
    }
    if (row.IsPS1()) {
        if (::chdir(pcFolder.c_str()) != 0) {
            Log("エラー : 保存先に入れませんでした Control::OnCopyToPC() " + pcFolder);
            LogLastError();
            return false;
        }
        // A PS1 save is a directory of its own name on the card, or a file in the card's root.
        if (!card->SetCurrentDirectory(name)) {
            card->SetCurrentDirectory(std::string());
        }
        // Checked as a PS2 save's files are, against the size the card lists,
        // and in whole blocks: a transfer that ended early would otherwise
        // stay under the save's name, and a move would delete the card's
        // only whole copy.
        const std::vector<FtpClient::FILE_DATA> listed = card->List();
        const auto entry = std::find_if(listed.begin(), listed.end(), [&name](const FtpClient::FILE_DATA& file) {
            return !file.isDirectory && file.name == name;
        });
        SetStatus(UiFormat("DOWNLOADING", {title + "\n" + shown}));
        if (card->lastListFailed || entry == listed.end()) {
            Log("エラー : メモリーカードの一覧にないためコピーしませんでした Control::OnCopyToPC() " + shown);
            return false;
        }
        if (entry->size == 0 || entry->size % kPS1BlockBytes != 0) {
            Log("エラー : PS1のセーブデータの大きさではないためコピーしませんでした Control::OnCopyToPC() " + shown);
            return false;
        }
        if (!card->Get(name)) {
            return false;
        }
        if (!HasSize(target, entry->size)) {
            Log("エラー : 大きさが一覧と合わないためコピーしたファイルを削除しました Control::OnCopyToPC() " + shown);
            ::unlink(target.c_str());
            return false;
        }
        return true;
    }
    // Never download into another folder than the save's own, new one.
    if (::mkdir(target.c_str(), 0777) != 0 || ::chdir(target.c_str()) != 0) {
        Log("エラー : 保存先のフォルダを作成できませんでした Control::OnCopyToPC() " + target);
        LogLastError();
        return false;
    }
    std::vector<FtpClient::FILE_DATA> files;
    if (EnterCardSave(name, "Control::OnCopyToPC()", files) != CardEntry::Save) {
        return false;
    }
    bool whole = !files.empty();
    for (size_t i = 0; i < files.size(); ++i) {
        if (CancelRequested()) {
            whole = false;
            break;
        }
        const FtpClient::FILE_DATA& file = files[i];
        SetStatus(UiFormat("DOWNLOADING", {title + "\n" + shown + "/" + DisplayName(file.name)}));
        if (!card->Get(file.name)) {
            whole = false;
            continue;
        }
        const std::string local = JoinPath(target, file.name);
        FileTimes times;
        times.lastWrite = file.time;
        times.lastAccess = file.time;
        times.creation = CreationTimeFor(file.time, i);
        WriteFileTimes(local, times);
        whole = whole && HasSize(local, file.size);
    }
    return whole;
}

Control::CardEntry Control::EnterCardSave(const std::string& name, const char* operation,
                                         std::vector<FtpClient::FILE_DATA>& files)
{
    if (!card->SetCurrentDirectory(name)) {
        return CardEntry::Missing;
    }
    files = card->List();
    // Saves hold files only. A folder inside means this is not the save: a
    // server that trims a trailing blank from "NAME " puts us in the card's
    // root, where deleting "the save's files" would delete every PS1 save.
    if (std::any_of(files.begin(), files.end(), [](const FtpClient::FILE_DATA& file) { return file.isDirectory; })) {
        Log(std::string("エラー : セーブのディレクトリではないため何もしませんでした ") + operation + " " + DisplayName(name));
        card->SetCurrentDirectory(std::string());
        return CardEntry::NotASave;
    }
    return CardEntry::Save;
}

void Control::RemoveStaleCardFiles(const std::set<std::string>& keep, const std::string& shown)
{
    // A save copied over one of the same name replaces it: files of the old
    // save that the new one does not have would make a mixture of the two.
    for (const FtpClient::FILE_DATA& file : card->List()) {
        if (!file.isDirectory && keep.count(file.name) == 0 && card->Remove(file.name)) {
            Log("上書きしたセーブデータの古いファイルを削除しました " + shown + "/" + DisplayName(file.name));
        }
    }
}

std::vector<ListRow> Control::CopyToPS2(const std::vector<ListRow>& rows)
{
    // "X" and its backup "X.000" both go up as "X": the second would replace the
    // first, and a move would then delete both sources. The first one goes.
    std::set<std::string> cardNames;
    return TransferFrame(rows, [this, &cardNames](const ListRow& row, const std::string& pcFolder) {
        if (pcFolder.empty() || !IsActionable(row, ListSide::PC, "Control::OnCopyToPS2()")) {
            return false;
        }
        if (!cardNames.insert(CardName(row.name)).second) {
            Log("エラー : 同じ名前になるセーブが先にコピーされたため、コピーしませんでした Control::OnCopyToPS2() " +
                DisplayName(row.name));
            return false;
        }
        return UploadSave(row, pcFolder);
    }, [this] { UpdateDataListPS2(); });
}

bool Control::UploadSave(const ListRow& row, const std::string& pcFolder)
{
    const std::string& title = row[kColumnTitle];
    const std::string& pcName = row.name;
    const std::string cardName = CardName(pcName);
    const std::string shown = DisplayName(cardName);
    const std::string source = JoinPath(pcFolder, pcName);
    ForgetCardSave(GetSlotText(), cardName);
    bool whole = true;
    std::string staged;
    if (row.IsPS1()) {
        // The file goes up under the card's name: a copy of that name is staged first.
        // Read as what the name itself is: a link in the PC folder sends nothing it points to.
        staged = StagingDirectory() + cardName;
        FileDescriptor in;
        std::error_code error = OpenRegularFile(source, in);
        if (error) {
            LogRefusedKind(error, "Control::OnCopyToPS2() " + DisplayName(source));
        } else {
            PendingFile copy(staged);
            error = copy.Create();
            error = error ? error : copy.WriteFrom(in.get());
            error = error ? error : copy.Commit();
        }
        whole = !error && ::chdir(StagingDirectory().c_str()) == 0;
    } else {
        whole = ::chdir(source.c_str()) == 0;
    }
    if (!whole) {
        Log("エラー : アップロードするファイルを読めませんでした Control::OnCopyToPS2() " + DisplayName(source));
        LogLastError();
        return false;
    }
    card->SetCurrentDirectory(std::string());
    card->MakeDirectory(cardName);
    // Files go into the save's own directory or nowhere: never into the root or another save.
    std::vector<FtpClient::FILE_DATA> existing;
    if (const CardEntry entry = EnterCardSave(cardName, "Control::OnCopyToPS2()", existing); entry != CardEntry::Save) {
        if (entry == CardEntry::Missing) {
            Log("エラー : メモリーカードのディレクトリに入れませんでした Control::OnCopyToPS2() " + shown);
        }
        whole = false;
    } else if (row.IsPS1()) {
        SetStatus(UiFormat("UPLOADING", {title + "\n" + shown}));
        whole = card->Put(cardName);
        if (whole) {
            RemoveStaleCardFiles({cardName}, shown);
        } else if (existing.empty()) {
            RemovePartialCardSave(cardName, {cardName}, shown);
        }
    } else {
        std::set<std::string> uploaded;
        for (const DirectoryEntry& file : ListDirectory(source)) {
            if (file.isDirectory) {
                continue;
            }
            if (CancelRequested()) {
                whole = false;
                break;
            }
            SetStatus(UiFormat("UPLOADING", {title + "\n" + shown + "/" + DisplayName(file.name)}));
            whole = card->Put(file.name) && whole;
            uploaded.insert(file.name);
        }
        if (whole) {
            RemoveStaleCardFiles(uploaded, shown);
        } else if (existing.empty()) {
            RemovePartialCardSave(cardName, uploaded, shown);
        }
    }
    if (!staged.empty()) {
        ::unlink(staged.c_str());
    }
    return whole;
}

void Control::RemovePartialCardSave(const std::string& cardName, const std::set<std::string>& uploaded,
                                    const std::string& shown)
{
    // What arrived of it: a file refused outright left nothing to remove.
    for (const FtpClient::FILE_DATA& file : card->List()) {
        if (uploaded.count(file.name) != 0) {
            card->Remove(file.name);
        }
    }
    card->SetCurrentDirectory(std::string());
    card->RemoveDirectory(cardName);
    Log("エラー : 途中までコピーしたセーブデータをメモリーカードから削除しました Control::OnCopyToPS2() " + shown);
}

void Control::DeletePS2(const std::vector<ListRow>& rows)
{
    TransferFrame(rows, [this](const ListRow& row, const std::string&) {
        if (IsActionable(row, ListSide::PS2, "Control::OnDeletePS2()")) {
            DeleteCardSave(row);
        }
        return true;
    }, [this] { UpdateDataListPS2(); });
}

void Control::DeleteCardSave(const ListRow& row)
{
    const std::string& title = row[kColumnTitle];
    const std::string& name = row.name;
    const std::string shown = DisplayName(name);
    std::vector<FtpClient::FILE_DATA> files;
    const CardEntry entry = EnterCardSave(name, "Control::OnDeletePS2()", files);
    if (entry == CardEntry::NotASave) {
        return;
    }
    if (entry == CardEntry::Save) {
        for (const FtpClient::FILE_DATA& file : files) {
            if (CancelRequested()) {
                return;
            }
            SetStatus(UiFormat("DELETING", {title + "\n" + shown + "/" + DisplayName(file.name)}));
            card->Remove(file.name);
        }
        card->SetCurrentDirectory(std::string());
        card->RemoveDirectory(name);
    } else {
        // A plain file of the root: removed from the root, whichever save was entered last.
        card->SetCurrentDirectory(std::string());
        SetStatus(UiFormat("DELETING", {title + "\n" + shown}));
        card->Remove(name);
    }
    ForgetCardSave(row.slot, name);
}

void Control::DeletePC(const std::vector<ListRow>& rows)
{
    const std::string pcFolder = dialog->GetEditText(Edit::PcFolder);
    for (const ListRow& row : rows) {
        if (pcFolder.empty()) {
            break;
        }
        if (!IsActionable(row, ListSide::PC, "Control::OnDeletePC()")) {
            continue;
        }
        const std::string path = JoinPath(pcFolder, row.name);
        SetStatus(UiFormat("DELETING", {row[kColumnTitle] + "\n" + DisplayName(path)}));
        struct stat status {};
        if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            DeleteFolderTree(path);
        } else if (::unlink(path.c_str()) != 0) {
            Log("ファイルを削除できませんでした " + DisplayName(path));
        }
    }
    UpdateDataListPC();
    SetStatus(UiText("IDLE"));
}

// The window's commands: what is ticked, asked about where a save would be
// lost, and an outcome the status line states.
bool Control::AnyTicked(const std::vector<ListRow>& rows)
{
    if (rows.empty()) {
        // A highlighted row is what the panes show; the commands take the ticked ones.
        SetStatus(UiText("NOTHING_TICKED"));
        return false;
    }
    return true;
}

void Control::ReportOutcome(size_t total, size_t done)
{
    if (CancelRequested()) {
        SetStatus(UiFormat("CANCELLED_AFTER", {std::to_string(total), std::to_string(done)}));
    } else if (done < total) {
        SetStatus(UiFormat("FAILED_SOME", {std::to_string(total), std::to_string(total - done)}));
    }
}

bool Control::ConfirmDeletion(const std::vector<ListRow>& rows, const std::string& where)
{
    std::string list;
    for (size_t i = 0; i < rows.size() && i < kListedInQuestion; ++i) {
        list += "\n  " + rows[i][kColumnTitle] + " (" + DisplayName(rows[i].name) + ")";
    }
    if (rows.size() > kListedInQuestion) {
        list += "\n  " + UiFormat("AND_MORE", {std::to_string(rows.size() - kListedInQuestion)});
    }
    const bool agreed = dialog->Confirm(UiText("DELETE_TITLE"),
                                        UiFormat("DELETE_QUESTION", {where, std::to_string(rows.size())}) + list);
    if (!agreed) {
        SetStatus(UiText("IDLE"));
    }
    return agreed;
}

// A card has no room for backups: a save about to be replaced there is asked about, with both dates.
std::optional<std::vector<ListRow>> Control::AskAboutCardSaves(const std::vector<ListRow>& rows)
{
    std::vector<ListRow> going;
    for (const ListRow& row : rows) {
        const std::string cardName = CardName(row.name);
        std::optional<ListRow> onCard;
        for (int i = 0; i < dialog->RowCount(ListSide::PS2) && !onCard; ++i) {
            if (ListRow cardRow = dialog->GetRow(ListSide::PS2, i); cardRow.name == cardName) {
                onCard = std::move(cardRow);
            }
        }
        if (!onCard) {
            going.push_back(row);
            continue;
        }
        const std::string question =
            UiFormat("OVERWRITE_QUESTION",
                     {row[kColumnTitle], DisplayName(cardName), DateText(onCard->time), DateText(row.time)});
        switch (dialog->AskOverwrite(question)) {
        case ControlView::Overwrite::Replace:
            going.push_back(row);
            break;
        case ControlView::Overwrite::Skip:
            Log("上書きせずにスキップしました " + DisplayName(cardName));
            break;
        case ControlView::Overwrite::Cancel:
            SetStatus(UiText("CANCELLED"));
            return std::nullopt;
        }
    }
    return going;
}

void Control::CopyTicked(ListSide from, std::vector<ListRow> (Control::*copy)(const std::vector<ListRow>&))
{
    TransferRows(from, dialog->GetTickedRows(from), copy);
}

void Control::OnDroppedRows(ListSide from, const std::vector<ListRow>& rows, bool move)
{
    if (from == ListSide::PS2) {
        TransferRows(from, rows, move ? &Control::MoveToPC : &Control::CopyToPC);
    } else {
        TransferRows(from, rows, move ? &Control::MoveToPS2 : &Control::CopyToPS2);
    }
}

void Control::TransferRows(ListSide from, std::vector<ListRow> rows,
                           std::vector<ListRow> (Control::*copy)(const std::vector<ListRow>&))
{
    if (!AnyTicked(rows)) {
        return;
    }
    if (from == ListSide::PC) {
        std::optional<std::vector<ListRow>> going = AskAboutCardSaves(rows);
        if (!going || going->empty()) {
            return;
        }
        rows = std::move(*going);
    }
    ReportOutcome(rows.size(), (this->*copy)(rows).size());
}

void Control::DeleteTicked(ListSide side, const std::string& where, void (Control::*remove)(const std::vector<ListRow>&))
{
    const std::vector<ListRow> rows = dialog->GetTickedRows(side);
    if (!AnyTicked(rows) || !ConfirmDeletion(rows, where)) {
        return;
    }
    (this->*remove)(rows);
    // What the fresh list still shows was not deleted.
    size_t left = 0;
    for (int i = 0; i < dialog->RowCount(side); ++i) {
        left += Contains(rows, dialog->GetRow(side, i)) ? 1 : 0;
    }
    ReportOutcome(rows.size(), rows.size() - left);
}

void Control::OnCopyToPC() { CopyTicked(ListSide::PS2, &Control::CopyToPC); }

void Control::OnCopyToPS2() { CopyTicked(ListSide::PC, &Control::CopyToPS2); }

void Control::OnMoveToPC() { CopyTicked(ListSide::PS2, &Control::MoveToPC); }

void Control::OnMoveToPS2() { CopyTicked(ListSide::PC, &Control::MoveToPS2); }

void Control::OnDeletePS2() { DeleteTicked(ListSide::PS2, UiText("WHERE_CARD"), &Control::DeletePS2); }

void Control::OnDeletePC() { DeleteTicked(ListSide::PC, UiText("WHERE_PC"), &Control::DeletePC); }

std::vector<ListRow> Control::MoveRows(const std::vector<ListRow>& rows,
                                       std::vector<ListRow> (Control::*copy)(const std::vector<ListRow>&),
                                       void (Control::*remove)(const std::vector<ListRow>&))
{
    const std::vector<ListRow> copied = (this->*copy)(rows);
    for (const ListRow& row : rows) {
        if (!Contains(copied, row)) {
            LogKeptSource(row.name);
        }
    }
    // A cancelled move leaves every source where it was; what was copied stays copied.
    if (!CancelRequested()) {
        (this->*remove)(copied);
    }
    return copied;
}

std::vector<ListRow> Control::MoveToPC(const std::vector<ListRow>& rows)
{
    return MoveRows(rows, &Control::CopyToPC, &Control::DeletePS2);
}

std::vector<ListRow> Control::MoveToPS2(const std::vector<ListRow>& rows)
{
    return MoveRows(rows, &Control::CopyToPS2, &Control::DeletePC);
}
