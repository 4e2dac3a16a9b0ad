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
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QFont>
#include <QRect>

#include "app/ControlView.h"

class CListCtrlEx;
class Control;
class QAbstractButton;
class QComboBox;
class QLineEdit;
class QProgressBar;

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
    CListCtrlEx* List(ListSide side) const;

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
    uint32_t IconPaneSize() const override;
    void SetCaption(ControlId id, const std::string& text) override;
    void SetToolTip(ControlId id, const std::string& text) override;

public slots:
    // Escape and the close box: the controller goes first, then the settings are written.
    void reject() override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void InitialiseLists();
    void ConnectCommands();
    void OnButton(ControlId id, std::function<void()> action);
    // Runs a command of the controller. The controller keeps the event loop
    // waiting, so a close requested meanwhile is carried out afterwards.
    void RunCommand(const std::function<void()>& command);
    void TickAll(ListSide side, bool ticked);
    void BrowsePcFolder();
    void BrowseUsbFolder();
    void OnSlotChanged();
    void OnLanguageChanged();
    void DropPaths(const std::vector<std::string>& paths, const QPoint& position);

    QLineEdit* EditWidget(Edit edit) const;
    QComboBox* ComboWidget(Combo combo) const;
    QAbstractButton* CheckWidget(Option option) const;

    DialogUnits units;
    std::map<ControlId, QWidget*> widgets;
    QProgressBar* progress = nullptr;
    // The option boxes mirrored for the controller's worker threads, which never touch widgets.
    std::array<std::atomic<bool>, kOptionCount> options{};
    std::unique_ptr<Control> control;
    int commandDepth = 0;
    bool closePending = false;
};
