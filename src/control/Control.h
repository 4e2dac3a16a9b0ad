#pragma once
// The one object behind the window: every command of the window ends in one
// of its operations. It owns the current card backend (never empty: a
// MemoryCardNull while not connected), builds both save lists and drives the
// status text and the progress bar. Runs on the window's thread only.
// Rows carry their identity (side, slot, whole name); every command acts on
// that, never on the texts a row shows.
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control/ControlView.h"
#include "control/ListRow.h"
#include "card/MemoryCard.h"
#include "card/InternetSession.h"
#include "card/MemoryCardOwner.h"
#include "gameinfo/GameDataOwner.h"
#include "icon/IconRendererOwner.h"

class CommandWorker;
class GameData;
class IconRenderingManager;
class IconSys;
enum class FileKind;

class Control : public MemoryCardOwner, public IconRendererOwner, public GameDataOwner {
public:
    explicit Control(ControlView* view);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    void OnConnectFtp();
    void OnConnectPS2Link();
    void OnConnectUSBMemory();
    void OnDisconnect();

    void UpdateMemoryCardList();
    void UpdateDataListPS2();
    // Leaves the status text to its caller.
    void UpdateDataListPC();
    // The window's "↑更新": the PC list afresh, then idle.
    void OnRefreshPC();

    // Transfers of the ticked rows. A move deletes a save from its source only
    // when every file of it was copied.
    void OnCopyToPC();
    void OnCopyToPS2();
    void OnMoveToPC();
    void OnMoveToPS2();
    void OnDeletePS2();
    void OnDeletePC();
    // Rows of from dragged onto the other list: copied (moved when move) as the buttons do with ticked rows.
    void OnDroppedRows(ListSide from, const std::vector<ListRow>& rows, bool move);
    // The same on given rows (the command line names them); each copy returns
    // the rows whose every file was copied, each move the rows copied whole
    // (their sources are then deleted).
    std::vector<ListRow> CopyToPC(const std::vector<ListRow>& rows);
    std::vector<ListRow> CopyToPS2(const std::vector<ListRow>& rows);
    std::vector<ListRow> MoveToPC(const std::vector<ListRow>& rows);
    std::vector<ListRow> MoveToPS2(const std::vector<ListRow>& rows);
    void DeletePS2(const std::vector<ListRow>& rows);
    void DeletePC(const std::vector<ListRow>& rows);

    // Export and import between the PC folder and single-file containers.
    void OnExport();
    void OnImport();
    void OnImportDropped(const std::vector<std::string>& paths);
    // One PC save (a row of the PC list) written into targetFolder: PS2 saves
    // as fileType (0 psu, 1 npo), PS1 saves as ".mcr". A file already there is
    // never replaced: the new one takes the next free numbered name
    // (NAME.000.psu, ...). False when it failed (logged); then nothing is
    // written. written, when given, gets the path of the file written.
    bool ExportSave(const ListRow& row, int fileType, const std::string& targetFolder, std::string* written = nullptr);
    // One file written into the PC folder as the import does it, its kind
    // told by its content (see DetectFileKind): .psu, .npo, PS1 card images,
    // raw PS1 saves and the saves of other tools (.max, .cbs, .sps/.xps,
    // .psv). False when it failed, when its kind is none of these
    // or when any of its saves or files was not written (logged).
    bool ImportFile(const std::string& path);

    // A click in the card list or the PC list: the highlighted save's icon in the pane.
    void OnChangePS2();
    void OnChangePC();
    // The highlighted save of side in the save-information pane: title, whole name and its time.
    void ShowSaveInfo(ListSide side);
    // The game of the highlighted save of side, looked up beside the window and shown in its pane.
    void RequestGameInfo(ListSide side);
    GameData* GameInformation() const { return gameData.get(); }

    // Answers from any thread: the window asks while a command runs on the worker.
    bool IsCardConnected() const { return cardConnected.load(); }
    // The folder of the card connected now when it is a folder on this machine; empty otherwise.
    std::string LocalCardFolder() const;
    // True while the card list on show is one whose card root could not be
    // read: its emptiness means nothing. Until the next card listing.
    bool CardListFailed() const { return cardListFailed; }

    // The window's commands run here, one at a time, off the window's thread.
    // False (nothing runs) while another command has not finished.
    bool RunCommand(std::function<void()> command, std::function<void()> done);
    // Asks the running command to stop at its next save or file boundary.
    void Cancel() { cancelRequested = true; }
    bool CancelRequested() const { return cancelRequested.load(); }

    // Keys of the icon cache: a card's icons by slot and name, the PC's by name.
    static std::string CardIconKey(const std::string& slot, const std::string& name);
    static std::string PcIconKey(const std::string& name);

    // IconRendererOwner: the pane, through the view.
    bool IsIconShown() const override { return dialog->IsIconShown(); }
    void PresentIconFrame(const DeviceFrame& frame) override { dialog->PresentIconFrame(frame); }
    IconRenderingManager* IconRenderer() const { return iconRenderer.get(); }

    // MemoryCardOwner: what the backends read of the window.
    std::string GetSlotText() const override;
    std::string GetEditText(Edit edit) const override;
    bool IsOptionChecked(Option option) const override;
    InternetSession* GetInternetSession() const override { return internetSession.get(); }

    // GameDataOwner: the game-information pane, from the lookup thread (the view posts it).
    void SetGameInfoText(const std::string& text) override;

private:
    void Connect(int kind, const std::string& statusText);
    // A message with what the log said since logMark.
    void ShowConnectFailure(uint64_t logMark);
    void SetStatus(const std::string& text);
    // The window's commands: nothing ticked is said in the status line; deletions and
    // replacements of card saves are asked about; the outcome is stated.
    bool AnyTicked(const std::vector<ListRow>& rows);
    // The ticked rows of from, copied or moved (to the card once asked about) and the outcome said.
    void CopyTicked(ListSide from, std::vector<ListRow> (Control::*copy)(const std::vector<ListRow>&));
    // The rows copied, then deleted from their source when copied whole (and not cancelled).
    std::vector<ListRow> MoveRows(const std::vector<ListRow>& rows,
                                  std::vector<ListRow> (Control::*copy)(const std::vector<ListRow>&),
                                  void (Control::*remove)(const std::vector<ListRow>&));
    void TransferRows(ListSide from, std::vector<ListRow> rows,
                      std::vector<ListRow> (Control::*copy)(const std::vector<ListRow>&));
    // The ticked rows of side, deleted once the user agreed, and the outcome said;
    // where names the side in the question.
    void DeleteTicked(ListSide side, const std::string& where, void (Control::*remove)(const std::vector<ListRow>&));
    void ReportOutcome(size_t total, size_t done);
    bool ConfirmDeletion(const std::vector<ListRow>& rows, const std::string& where);
    // The rows to copy to the card once each save already there has been asked
    // about; nothing when the user cancelled.
    std::optional<std::vector<ListRow>> AskAboutCardSaves(const std::vector<ListRow>& rows);
    // The log line of a command stopped by Cancel after `done` of `total` items.
    static void LogCancelled(size_t done, size_t total);
    // Forgets the rows and icons of the card listed last: another card or slot takes its place.
    void ForgetCard();
    // One save of the card changed or went: its row and icon are read afresh next time.
    void ForgetCardSave(const std::string& slot, const std::string& name);
    // True when the card's rows get their stills from icon files the controller
    // fetched (a card image, a card across the network), not from the window.
    bool StillsFromFetchedFiles() const;
    // The save's icon model fetched from the card's current directory into the staging
    // folder (the current directory) beside its icon.sys; false when there is none to fetch.
    bool FetchIconModel(const IconSys& iconSys);
    // The row's still, from the save's icon.sys (read already) and its icon model
    // fetched into the staging folder for the moment it takes.
    void ShowStillFromCard(const ListRow& row, const IconSys& iconSys, const std::string& staging);
    // A row of the card list for the slot being listed.
    ListRow CardRow(const std::string& title, const std::string& name, int64_t sizeKB, const char* type) const;
    // False (logged) when row is not a save of side as it stands now (another
    // slot's row, or a name that could reach outside its folder).
    bool IsActionable(const ListRow& row, ListSide side, const char* operation) const;
    // Adds a card row, remembers it, and counts its size into total.
    void AddCardRow(const ListRow& row, int64_t& total);
    // A save directory of the card root: entered, listed and read through its icon.sys.
    void ListCardDirectory(const FtpClient::FILE_DATA& entry, int64_t& total);
    // A PS1 save file in the card's current directory.
    void ListCardPS1File(const std::string& name, int64_t& total);
    using SaveStep = std::function<bool(const ListRow& row, const std::string& pcFolder)>;
    // Runs step on each row between the disabling and the refresh of a card transfer; the rows it did.
    std::vector<ListRow> TransferFrame(const std::vector<ListRow>& rows, const SaveStep& step,
                                       const std::function<void()>& refresh);
    bool DownloadSave(const ListRow& row, const std::string& pcFolder);
    bool UploadSave(const ListRow& row, const std::string& pcFolder);
    enum class CardEntry {
        Missing,   // cannot be entered: no directory of that name
        Save,      // entered; files holds its listing
        NotASave,  // entered, but it holds folders (logged; the card's root is current again)
    };
    CardEntry EnterCardSave(const std::string& name, const char* operation, std::vector<FtpClient::FILE_DATA>& files);
    // In the card's current directory: removes every file not in keep (shown names it in the log).
    void RemoveStaleCardFiles(const std::set<std::string>& keep, const std::string& shown);
    // A save new to the card that did not arrive whole (no room, a failure, Cancel) is
    // taken off again: half a save is no save, and it holds the room of one.
    void RemovePartialCardSave(const std::string& cardName, const std::set<std::string>& uploaded,
                               const std::string& shown);
    void DeleteCardSave(const ListRow& row);
    // A file of a kind already known written into the PC folder; quiet: no
    // log or status lines but the one that refuses a kind import cannot take.
    bool ImportContainer(const std::string& path, FileKind kind, bool quiet);

    // Follows every change of backend; read by the window's thread.
    void NoteConnection();

    ControlView* dialog;
    std::atomic<bool> cardConnected{false};
    mutable std::mutex connectionMutex;
    std::string localCardFolder;
    // A card image: read on this machine, though not as folders the window can read.
    std::atomic<bool> imageCard{false};
    std::atomic<bool> cancelRequested{false};
    // Made on the first window command; the command line and the tests call directly.
    std::unique_ptr<CommandWorker> worker;
    std::shared_ptr<MemoryCard> card;
    // Null when it could not be made; lent to the FTP backend.
    std::unique_ptr<InternetSession> internetSession;
    // After the session it lends itself: it goes first, its lookups stopped, while the session still stands.
    std::unique_ptr<GameData> gameData;
    std::unique_ptr<IconRenderingManager> iconRenderer;
    // Card rows by (slot, whole name), fed by card listings only; emptied when
    // the card or the slot changes. The PC list keeps no cache: a PC file must
    // never stand in for a card save.
    std::map<std::pair<std::string, std::string>, ListRow> rowCache;
    // The slot rowCache and the card's icons belong to.
    std::string cachedSlot;
    // The time the card listing gives the entry being listed, for its row.
    int64_t listedTime = 0;
    bool cardListFailed = false;
};
