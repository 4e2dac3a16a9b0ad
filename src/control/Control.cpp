#include "control/Control.h"

#include <sys/stat.h>

#include <algorithm>
#include <unistd.h>

#include <boost/format.hpp>
#include <boost/lexical_cast.hpp>

#include "control/CommandWorker.h"
#include "control/Settings.h"
#include "control/TitleCleaning.h"
#include "control/UiText.h"
#include "card/MemoryCardFactory.h"
#include "card/MemoryCardImage.h"
#include "card/MemoryCardUSBMemory.h"
#include "common/FileHelpers.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/StagingLock.h"
#include "common/TextCodec.h"
#include "gameinfo/GameData.h"
#include "icon/IconRenderingManager.h"
#include "save/IconSys.h"
#include "save/PS1SaveData.h"
#include "save/SaveFileBase.h"

namespace {

const char* const kTypePS2 = "PS2";
const char* const kTypePS1 = "PS1";
// A PS1 save always shows as 8 KB, the one block a card directory entry stands for.
const int64_t kPS1SizeKB = 8;
// A PS1 save stored the card's way: a directory holding one file of its own name, whole 8 KB blocks.
const uint32_t kPS1BlockBytes = 8192;

int64_t SizeOfRow(const ListRow& row)
{
    try {
        return boost::lexical_cast<int64_t>(row[kColumnSize]);
    } catch (const boost::bad_lexical_cast&) {
        return 0;
    }
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

// What column 1 shows of a whole name.
std::string ShownName(const std::string& name) { return NameColumn(DisplayName(name)); }

const char* const kCardIconPrefix = "card/";

}  // namespace

void Control::LogCancelled(size_t done, size_t total)
{
    Log((boost::format("中止しました : %1% / %2% 件を処理しました") % done % total).str());
}

std::string Control::CardIconKey(const std::string& slot, const std::string& name)
{
    return kCardIconPrefix + slot + "/" + name;
}

std::string Control::PcIconKey(const std::string& name) { return "pc/" + name; }

ListRow Control::CardRow(const std::string& title, const std::string& name, int64_t sizeKB, const char* type) const
{
    return ListRow{{title, ShownName(name), SizeColumn(sizeKB), type}, ListSide::PS2, cachedSlot, name, listedTime};
}

void Control::ForgetCard()
{
    rowCache.clear();
    cachedSlot.clear();
    if (iconRenderer) {
        iconRenderer->ForgetIcons(kCardIconPrefix);
    }
    dialog->ForgetCardRowIcons();
}

void Control::ForgetCardSave(const std::string& slot, const std::string& name)
{
    rowCache.erase({slot, name});
    // A save replaced under the same name must not keep showing the old one's icon.
    if (iconRenderer) {
        iconRenderer->ForgetIcon(CardIconKey(slot, name));
    }
    dialog->ForgetCardRowIcon(slot, name);
}

bool Control::StillsFromFetchedFiles() const { return dialog->IsIconShown() && LocalCardFolder().empty(); }

bool Control::FetchIconModel(const IconSys& iconSys)
{
    // The icon's name comes from the card: it must stay a name inside the staging folder,
    // and not replace the icon.sys that names it.
    const std::string& icon = iconSys.iconFileNames[0];
    return iconSys.valid && SaveFileBase::IsSafeName(icon) && icon != "icon.sys" && card->Get(icon);
}

void Control::ShowStillFromCard(const ListRow& row, const IconSys& iconSys, const std::string& staging)
{
    if (FetchIconModel(iconSys)) {
        dialog->ShowCardRowIcon(row, staging);
        ::unlink((staging + iconSys.iconFileNames[0]).c_str());
    }
}

bool Control::IsActionable(const ListRow& row, ListSide side, const char* operation) const
{
    if (row.side != side || row.texts.size() != kColumnCount) {
        Log(std::string("エラー : 別のリストの行です ") + operation + " " + DisplayName(row.name));
        return false;
    }
    if (side == ListSide::PS2 && row.slot != GetSlotText()) {
        Log(std::string("エラー : 別のスロットの行です ") + operation + " " + DisplayName(row.name));
        return false;
    }
    // Never the folder itself, its parent or a path through it in place of a save.
    if (!IsPlainName(row.name)) {
        Log(std::string("エラー : 使えない名前です ") + operation + " " + DisplayName(row.name));
        return false;
    }
    return true;
}

Control::Control(ControlView* view) : dialog(view), card(CreateNullMemoryCard(this))
{
    EnterProgramDirectory();
    internetSession = std::make_unique<InternetSession>("Tansu");
    if (!internetSession->IsOpen()) {
        internetSession.reset();
        // The card side keeps its null backend; everything else still works on the PC side.
        Log("エラー : インターネットセッションが作成できませんでした");
    }
    SetStatus(UiText("IDLE"));
    ApplyLanguage(*dialog);
    gameData = std::make_unique<GameData>(this, ProgramDirectory() + "softdata.ini", LoadCatalogueAddresses());
    iconRenderer = std::make_unique<IconRenderingManager>(this, dialog->IconPaneSize(), dialog->IconPaneSize());
    UpdateDataListPC();
    SetStatus(UiText("IDLE"));
}

Control::~Control()
{
    // A command still running stops at its next boundary and ends before anything it uses goes.
    cancelRequested = true;
    worker.reset();
    // Lookups not yet started are dropped and the running one stops at its next read; the cache is saved.
    gameData.reset();
    // The old backend disconnects while everything else still exists.
    card = CreateNullMemoryCard(this);
    ForgetCard();
    iconRenderer.reset();
    LogClose();
    rowCache.clear();
    internetSession.reset();
    card.reset();
}

bool Control::RunCommand(std::function<void()> command, std::function<void()> done)
{
    if (!worker) {
        worker = std::make_unique<CommandWorker>();
    }
    if (worker->Busy()) {
        return false;
    }
    cancelRequested = false;
    return worker->Post(std::move(command), std::move(done));
}

std::string Control::GetSlotText() const { return dialog->GetComboText(Combo::Slot); }

std::string Control::GetEditText(Edit edit) const { return dialog->GetEditText(edit); }

bool Control::IsOptionChecked(Option option) const { return dialog->IsOptionChecked(option); }

// Idle would say all is well: while the card list on show could not be read,
// the status says that instead.
void Control::SetStatus(const std::string& text)
{
    dialog->SetText(TextField::Status, text == UiText("IDLE") && cardListFailed ? UiText("CARD_LIST_FAILED") : text);
}

void Control::OnConnectFtp() { Connect(kMemoryCardFtp, UiText("CONNECTING_FTP")); }

void Control::OnConnectPS2Link() { Connect(kMemoryCardPS2Link, UiText("CONNECTING_PS2LINK")); }

void Control::OnConnectUSBMemory() { Connect(kMemoryCardUSBMemory, UiText("CONNECTING_USB")); }

void Control::NoteConnection()
{
    cardConnected = card->IsConnected();
    // Only the folder backend lays its saves out as folders and files the window can read itself.
    const bool folderCard = cardConnected && dynamic_cast<MemoryCardUSBMemory*>(card.get()) != nullptr;
    imageCard = cardConnected && dynamic_cast<MemoryCardImage*>(card.get()) != nullptr;
    const std::lock_guard guard(connectionMutex);
    localCardFolder = folderCard ? dialog->GetEditText(Edit::UsbFolder) : std::string();
}

std::string Control::LocalCardFolder() const
{
    const std::lock_guard guard(connectionMutex);
    return localCardFolder;
}

void Control::Connect(int kind, const std::string& statusText)
{
    dialog->EnableControls(false);
    SetStatus(statusText);
    const uint64_t logMark = LogMark();
    const std::string address = kind == kMemoryCardUSBMemory ? std::string() : dialog->GetEditText(Edit::Address);
    const bool attempted = kind == kMemoryCardUSBMemory || !address.empty();
    // The old backend disconnects before the new one connects: a console's FTP
    // server may take one client only, and two control connections to one
    // server were seen to stall the new one's first command.
    if (kind == kMemoryCardUSBMemory) {
        // The folder backend reads its folder from the window itself.
        card = CreateNullMemoryCard(this);
        card = CreateMemoryCard(this, kind, std::string());
    } else if (!address.empty()) {
        card = CreateNullMemoryCard(this);
        card = CreateMemoryCard(this, kind, address);
    }
    NoteConnection();
    if (attempted && !card->IsConnected()) {
        ShowConnectFailure(logMark);
    }
    // Another card (or the same one, changed meanwhile): nothing listed before still holds.
    ForgetCard();
    UpdateMemoryCardList();
    UpdateDataListPS2();
    SetStatus(UiText(attempted ? "IDLE" : "NO_ADDRESS"));
    dialog->EnableControls(true);
}

void Control::ShowConnectFailure(uint64_t logMark)
{
    // What the backend logged while it tried says why: refused, timed out, no
    // ps2client, a folder that is no card. The newest lines, without their times.
    constexpr size_t kReasonLines = 6;
    const std::vector<std::string> lines = LogLinesSince(logMark);
    std::string reason;
    for (size_t i = lines.size() > kReasonLines ? lines.size() - kReasonLines : 0; i < lines.size(); ++i) {
        const size_t separator = lines[i].find(" - ");
        reason += (separator == std::string::npos ? lines[i] : lines[i].substr(separator + 3)) + "\n";
    }
    dialog->ShowFailure(UiText("CONNECT_FAILED_TITLE"),
                        UiText("CONNECT_FAILED") + "\n\n" + (reason.empty() ? UiText("SEE_LOG_FOR_REASON") : reason));
}

void Control::OnDisconnect()
{
    dialog->EnableControls(false);
    card = CreateNullMemoryCard(this);
    NoteConnection();
    ForgetCard();
    UpdateMemoryCardList();
    UpdateDataListPS2();
    // Nothing of the card stays on show: its usage, and the panes of the save last clicked.
    for (const TextField field : {TextField::Usage, TextField::SaveInfo, TextField::GameInfo}) {
        dialog->SetText(field, std::string());
    }
    SetStatus(UiText("IDLE"));
    dialog->EnableControls(true);
}

void Control::OnRefreshPC()
{
    UpdateDataListPC();
    SetStatus(UiText("IDLE"));
}

void Control::UpdateMemoryCardList()
{
    dialog->ClearCombo(Combo::Slot);
    if (!card->IsConnected()) {
        Log("警告 : メモリーカード未接続中にメモリーカードを参照しようとしました UpdateMemoryCardList()");
        return;
    }
    SetStatus(UiText("SEARCHING_CARDS"));
    for (unsigned slot = 0; slot < 2; ++slot) {
        if ((card->slotMask >> slot) & 1u) {
            dialog->AddComboItem(Combo::Slot, std::to_string(slot));
        }
    }
    if (dialog->ComboItemCount(Combo::Slot) > 0) {
        dialog->SelectComboItem(Combo::Slot, 0);
    }
}

void Control::AddCardRow(const ListRow& row, int64_t& total)
{
    dialog->AddRow(ListSide::PS2, row);
    rowCache[{row.slot, row.name}] = row;
    total += SizeOfRow(row);
}

void Control::UpdateDataListPS2()
{
    cardListFailed = false;
    dialog->ClearList(ListSide::PS2);
    if (!card->IsConnected()) {
        Log("エラー : メモリーカード未接続中にメモリーカードを参照しようとしました UpdateDataListPS2()");
        return;
    }
    dialog->SetProgress(0);
    SetStatus(UiText("LISTING_CARD"));
    if (card->slotMask == 0) {
        return;
    }
    // Another run of the program staging its files now would mix them with ours.
    const StagingLock lock;
    if (!lock.Held()) {
        return;
    }
    // Two cards of the same game hold saves of the same names: a slot's rows are its own.
    if (const std::string slot = GetSlotText(); slot != cachedSlot) {
        ForgetCard();
        cachedSlot = slot;
    }
    dialog->SetText(TextField::Usage, std::string());
    card->SetCurrentDirectory(std::string());
    const std::vector<FtpClient::FILE_DATA> entries = card->List();
    if (card->lastListFailed) {
        // No rows and no usage: an empty list would read as an empty card.
        cardListFailed = true;
        Log("エラー : メモリーカードのセーブデータリストを取得できませんでした UpdateDataListPS2()");
        SetStatus(UiText("CARD_LIST_FAILED"));
        dialog->SetProgress(1.0f);
        return;
    }
    int64_t total = 0;
    const size_t n = entries.size();
    for (size_t k = 1; k <= n; ++k) {
        const FtpClient::FILE_DATA& entry = entries[k - 1];
        listedTime = entry.time;
        if (const auto cached = rowCache.find({cachedSlot, entry.name}); cached != rowCache.end()) {
            dialog->AddRow(ListSide::PS2, cached->second);
            total += SizeOfRow(cached->second);
        } else if (!entry.isDirectory && !IsOptionChecked(Option::ForceDirectory)) {
            // A PS1 save lying in the root: fetched from the root whatever was entered before.
            card->SetCurrentDirectory(std::string());
            ListCardPS1File(entry.name, total);
        } else {
            ListCardDirectory(entry, total);
        }
        dialog->SetProgress(static_cast<float>(k) / static_cast<float>(n));
    }
    dialog->SetText(TextField::Usage, UiFormat("USAGE", {std::to_string(total)}));
    dialog->SetProgress(1.0f);
}

void Control::ListCardDirectory(const FtpClient::FILE_DATA& entry, int64_t& total)
{
    const std::string& name = entry.name;
    if (!card->SetCurrentDirectory(name)) {
        // Listing the directory we are still in would show another save's files and title.
        if (!entry.isDirectory) {
            card->SetCurrentDirectory(std::string());
            ListCardPS1File(name, total);
        } else {
            Log("エラー : ディレクトリに入れませんでした UpdateDataListPS2() " + DisplayName(name));
            dialog->AddRow(ListSide::PS2, CardRow(UiText("DAMAGED"), name, 0, kTypePS2));
        }
        return;
    }
    const std::string staging = StagingDirectory();
    ::chdir(staging.c_str());
    const std::vector<FtpClient::FILE_DATA> files = card->List();
    int64_t size = 0;
    for (const FtpClient::FILE_DATA& file : files) {
        size += FileSizeKB(file.size);
        listedTime = std::max(listedTime, file.time);
    }
    const std::string local = staging + "icon.sys";
    RemoveFile(local);
    if (card->Get("icon.sys")) {
        const IconSys iconSys(local);
        const std::string title = iconSys.valid ? CleanTitle(iconSys.title) : UiText("DAMAGED");
        const ListRow row = CardRow(title, name, size, kTypePS2);
        // An image gives its files at once; a card across the network waits until its icon is shown.
        if (imageCard && StillsFromFetchedFiles()) {
            ShowStillFromCard(row, iconSys, staging);
        }
        // Removed after every read, so that a failed download never leaves an old title behind.
        RemoveFile(local);
        AddCardRow(row, total);
    } else if (files.size() == 1 && files[0].size % kPS1BlockBytes == 0 && files[0].name == name) {
        ListCardPS1File(name, total);
    } else {
        AddCardRow(CardRow(UiText("DAMAGED"), name, size, kTypePS2), total);
    }
}

void Control::ListCardPS1File(const std::string& name, int64_t& total)
{
    const std::string staging = StagingDirectory();
    ::chdir(staging.c_str());
    const std::string local = staging + name;
    RemoveFile(local);
    const bool fetched = card->Get(name);
    const PS1SaveData save(local);
    const std::string title = save.valid ? CleanTitle(save.title) : UiText("DAMAGED");
    const ListRow row = CardRow(title, name, kPS1SizeKB, kTypePS1);
    if (save.valid) {
        iconRenderer->AddIcon(CardIconKey(cachedSlot, name), local, false);
        // The whole save was fetched for its title: its still costs nothing more.
        if (StillsFromFetchedFiles()) {
            dialog->ShowCardRowIcon(row, local);
        }
    }
    if (fetched) {
        RemoveFile(local);
    }
    AddCardRow(row, total);
}

void Control::UpdateDataListPC()
{
    SetStatus(UiText("LISTING_PC"));
    dialog->ClearList(ListSide::PC);
    // A file replaced since the last listing must not keep its old icon.
    iconRenderer->ForgetIcons(PcIconKey(std::string()));
    EnterProgramDirectory();
    const std::string folder = dialog->GetEditText(Edit::PcFolder);
    if (folder.empty()) {
        return;
    }
    if (!IsDirectory(folder) && ::mkdir(folder.c_str(), 0777) != 0) {
        Log("エラー : フォルダを作成できませんでした UpdateDataListPC() " + folder);
        LogLastError();
        return;
    }
    std::error_code error;
    const std::vector<DirectoryEntry> entries = ListDirectory(folder, &error);
    if (error) {
        Log("エラー : フォルダを読み込めませんでした UpdateDataListPC() " + folder);
        LogError(error);
    }
    for (const DirectoryEntry& entry : entries) {
        const std::string path = JoinPath(folder, entry.name);
        if (entry.isDirectory) {
            int64_t size = 0;
            // A save changes when one of its files does; the folder's own time says only when one came or went.
            int64_t newest = entry.lastWrite;
            for (const DirectoryEntry& file : ListDirectory(path)) {
                size += FileSizeKB(file.size);
                newest = std::max(newest, file.lastWrite);
            }
            const IconSys iconSys(JoinPath(path, "icon.sys"));
            const std::string title = iconSys.valid ? CleanTitle(iconSys.title) : UiText("DAMAGED");
            dialog->AddRow(ListSide::PC, ListRow{{title, ShownName(entry.name), SizeColumn(size), kTypePS2},
                                                 ListSide::PC, {}, entry.name, newest});
        } else {
            const PS1SaveData save(path);
            const std::string title = save.valid ? CleanTitle(save.title) : UiText("DAMAGED");
            if (save.valid) {
                iconRenderer->AddIcon(PcIconKey(entry.name), path, false);
            }
            dialog->AddRow(ListSide::PC, ListRow{{title, ShownName(entry.name), SizeColumn(kPS1SizeKB), kTypePS1},
                                                 ListSide::PC, {}, entry.name, entry.lastWrite});
        }
    }
}
