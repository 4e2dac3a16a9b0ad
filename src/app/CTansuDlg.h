#pragma once
// The main window: one dialog laid out in dialog units, with the card list on
// the left, the PC folder list on the right, the connection fields above and
// the information, option and icon boxes in a column on the right. It owns the
// controller and forwards every command to it.
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QFont>
#include <QRect>

#include "app/RowIconRenderer.h"
#include "app/WindowLayout.h"
#include "app/WindowMailbox.h"
#include "control/ControlView.h"
#include "control/MemoryView.h"

class CListCtrlEx;
class Control;
class QAbstractButton;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Dialog units to pixels, the way the Windows dialog manager converts them:
// base units from the dialog font, then x * baseX / 4 and y * baseY / 8 rounded.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;

    static DialogUnits ForFont(const QFont& font);
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(const QRect& units) const;
};

// The window's font: "MS UI Gothic" 9 pt, or the Japanese fonts a Linux machine has.
QFont DialogFont();

class CTansuDlg : public QDialog, public ControlView {
    Q_OBJECT

public:
    // programDirectory: where settings, log and staging files go; empty means
    // the one computed from the executable. Tests and tools pass their own.
    explicit CTansuDlg(QWidget* parent = nullptr, const std::string& programDirectory = {});
    ~CTansuDlg() override;
    CTansuDlg(const CTansuDlg&) = delete;
    CTansuDlg& operator=(const CTansuDlg&) = delete;

    // The control with the given id, or null.
    QWidget* WidgetById(ControlId id) const;
    // The position of a control in dialog units, as laid out.
    static std::optional<QRect> LayoutRect(ControlId id);
    // Every control id of the window, in creation order.
    static std::vector<ControlId> AllControlIds();
    // The controls Tab walks through, in its order.
    static std::vector<ControlId> TabOrder();
    CListCtrlEx* List(ListSide side) const;
    // True from a command's start until the window has shown its end.
    bool IsCommandRunning() const { return commandRunning; }
    // Runs the window's events until no command runs (tests, closing).
    void WaitForCommand();

    // ControlView
    void EnableControls(bool enable) override;
    void SetProgress(float fraction) override;
    void SetText(TextField field, const std::string& text) override;
    std::string GetEditText(Edit edit) const override;
    void SetEditText(Edit edit, const std::string& text) override;
    void ClearCombo(Combo combo) override;
    void AddComboItem(Combo combo, const std::string& text) override;
    int ComboItemCount(Combo combo) const override;
    void SelectComboItem(Combo combo, int index) override;
    std::string GetComboText(Combo combo) const override;
    bool IsOptionChecked(Option option) const override;
    void SetOptionChecked(Option option, bool checked) override;
    void ClearList(ListSide side) override;
    void AddRow(ListSide side, const ListRow& row) override;
    int RowCount(ListSide side) const override;
    ListRow GetRow(ListSide side, int index) const override;
    std::vector<ListRow> GetTickedRows(ListSide side) const override;
    std::optional<ListRow> GetHighlightedRow(ListSide side) const override;
    std::string PickFolder(const std::string& start) override;
    std::vector<std::string> PickFilesToOpen(const std::string& filter) override;
    std::optional<int> ChooseFileType() override;
    bool IsIconShown() const override;
    void PresentIconFrame(const DeviceFrame& frame) override;
    void ShowCardRowIcon(const ListRow& row, const std::string& savePath) override;
    void ForgetCardRowIcon(const std::string& slot, const std::string& name) override;
    void ForgetCardRowIcons() override;
    uint32_t IconPaneSize() const override;
    void SetCaption(ControlId id, const std::string& text) override;
    void SetToolTip(ControlId id, const std::string& text) override;
    bool Confirm(const std::string& title, const std::string& question) override;
    Overwrite AskOverwrite(const std::string& question) override;
    void ShowFailure(const std::string& title, const std::string& text) override;

public slots:
    // Escape and the close box: the controller goes first, then the settings are written.
    void reject() override;

protected:
    // Escape stops a running command; without one it closes the window as before.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void InitialiseLists();
    // The type column as wide as its widest text, header included.
    void FitTypeColumn();
    // The window's own texts (headers, buttons) in the chosen language, and the layout they need.
    void RetranslateWindow();
    // The layout measured afresh for the captions shown now; the smallest window follows.
    void Relayout();
    void PlaceControls();
    // The first size: the smallest window, wider (as the screen allows) until each list shows every column.
    void OpenWideEnoughForEveryColumn();
    void ApplyTabOrder();
    void LoadColumnWidths();
    // Asks for the still of a row's icon when its save lies on this machine and icons are shown.
    void RequestRowIcon(ListSide side, const ListRow& row);
    // The column widths as setting.ini keeps them.
    std::map<std::string, std::string> ColumnWidthKeys() const;
    static WindowLayout::Stretch StretchOf(ControlId id, const QRect& units);
    // The width the control's caption needs to show whole; 0 for a control without one.
    int CaptionNeed(const QWidget& widget) const;
    void ConnectCommands();
    void OnButton(ControlId id, std::function<void()> action);
    // Runs a command of the controller on its worker thread. The window's
    // controls are off until it ends; input meanwhile is dropped, never queued.
    void RunCommand(std::function<void()> command);
    void CommandDone();
    // The state the controller reads while a command runs off this thread,
    // taken from the widgets when the command starts.
    void SnapshotForCommand();
    bool OffWindowThread() const;
    // Runs work on the window's thread, after what was posted before it.
    void Post(std::function<void()> work);
    void ApplyEnabled(bool enable);
    void TickAll(ListSide side, bool ticked);
    void BrowsePcFolder();
    void BrowseUsbFolder();
    // A window with the log's newest lines.
    void ShowRecentLog();
    // True when folder may stand for a card: on a removable medium, or confirmed by the user.
    bool AcceptCardFolder(const std::string& folder);
    void OnSlotChanged();
    void OnLanguageChanged();


    QLineEdit* EditWidget(Edit edit) const;
    QComboBox* ComboWidget(Combo combo) const;
    QAbstractButton* CheckWidget(Option option) const;

    // First of the members: the controller and the rendering thread post through it.
    WindowMailbox* mailbox = new WindowMailbox(this);
    DialogUnits units;
    std::map<ControlId, QWidget*> widgets;
    // Stills of the icons beside the rows of saves on this machine.
    std::unique_ptr<RowIconRenderer> rowIcons;
    // Stills of card saves the window cannot read itself, by slot and name,
    // drawn when the controller had their icon files at hand.
    std::map<std::pair<std::string, std::string>, QImage> cardStills;
    // The rows' height in pixels, for stills drawn off the window's thread.
    std::atomic<uint32_t> rowIconSize{16};
    QProgressBar* progress = nullptr;
    // The option boxes mirrored for the controller's worker threads, which never touch widgets.
    std::array<std::atomic<bool>, kOptionCount> options{};
    std::unique_ptr<Control> control;
    bool commandRunning = false;
    bool closePending = false;
    QPushButton* cancelButton = nullptr;
    QPushButton* logButton = nullptr;
    std::unique_ptr<WindowLayout> windowLayout;
    // What the controller's worker reads and changes; the widgets follow by posted updates.
    MemoryView mirror;
    mutable std::mutex mirrorMutex;
};
