#pragma once
// Everything the controller may use of the window. The Qt window, the
// command line and the tests each implement it; the controller never touches
// a widget. All text is UTF-8.
#include <optional>
#include <string>
#include <vector>

#include "control/ControlIds.h"
#include "control/ListRow.h"
#include "common/WindowFields.h"
#include "icon/SoftwareDevice.h"

enum class TextField : int {
    Status,    // 1018
    Usage,     // 1034
    SaveInfo,  // 1010
    GameInfo,  // 1011
};

class ControlView {
public:
    virtual ~ControlView() = default;

    // Applies EnabledStates(enable, card connected) to the controls.
    virtual void EnableControls(bool enable) = 0;
    // Fraction of the work done; the bar shows ProgressPosition(fraction).
    virtual void SetProgress(float fraction) = 0;
    virtual void SetText(TextField field, const std::string& text) = 0;

    virtual std::string GetEditText(Edit edit) const = 0;
    virtual void SetEditText(Edit edit, const std::string& text) = 0;

    virtual void ClearCombo(Combo combo) = 0;
    virtual void AddComboItem(Combo combo, const std::string& text) = 0;
    virtual int ComboItemCount(Combo combo) const = 0;
    // index -1 selects nothing.
    virtual void SelectComboItem(Combo combo, int index) = 0;
    // The selected item's text, empty when nothing is selected.
    virtual std::string GetComboText(Combo combo) const = 0;

    virtual bool IsOptionChecked(Option option) const = 0;
    virtual void SetOptionChecked(Option option, bool checked) = 0;

    virtual void ClearList(ListSide side) = 0;
    virtual void AddRow(ListSide side, const ListRow& row) = 0;
    virtual int RowCount(ListSide side) const = 0;
    virtual ListRow GetRow(ListSide side, int index) const = 0;
    // Rows whose check box is ticked, in list order.
    virtual std::vector<ListRow> GetTickedRows(ListSide side) const = 0;
    // The first highlighted row, if any.
    virtual std::optional<ListRow> GetHighlightedRow(ListSide side) const = 0;

    // A folder chosen by the user (dialog titled "フォルダを選択してください"),
    // opened at start; empty when cancelled.
    virtual std::string PickFolder(const std::string& start) = 0;

    // Files chosen in the open-file dialog (several may be chosen; filter in
    // the "name|patterns|...||" form); empty when cancelled.
    virtual std::vector<std::string> PickFilesToOpen(const std::string& filter) = 0;
    // The export format chosen in the dialog titled "ファイル形式を選んでください":
    // 0 psu, 1 npo; nothing when cancelled.
    virtual std::optional<int> ChooseFileType() = 0;

    // Questions before a destructive step, and failures the user must see. The
    // command line never asks: its view answers yes and overwrite, and prints
    // messages to the log only.
    enum class Overwrite { Replace, Skip, Cancel };
    // True when the user agrees (the window: Yes / No).
    virtual bool Confirm(const std::string& title, const std::string& question) { (void)title; (void)question; return true; }
    // A save of the same name is on the card already.
    virtual Overwrite AskOverwrite(const std::string& question) { (void)question; return Overwrite::Replace; }
    // A failure with its reason (the window: a message box).
    virtual void ShowFailure(const std::string& title, const std::string& text) { (void)title; (void)text; }

    // The icon pane. Both calls come from the rendering thread: they read a flag
    // the window keeps current and post the frame, never touching a widget.
    virtual bool IsIconShown() const = 0;
    virtual void PresentIconFrame(const DeviceFrame& frame) = 0;
    // The pane's size in pixels.
    virtual uint32_t IconPaneSize() const { return 198; }

    // Stills beside the card's rows, for saves the window cannot read itself (a
    // card image, a card across the network). The icon files of the save of row
    // lie at savePath (a folder holding icon.sys and its model, or a PS1 save
    // file) for the length of the call only: a view that shows stills draws one
    // now. Called on the controller's thread.
    virtual void ShowCardRowIcon(const ListRow& row, const std::string& savePath) { (void)row; (void)savePath; }
    // The save changed or went: its still no longer shows it.
    virtual void ForgetCardRowIcon(const std::string& slot, const std::string& name) { (void)slot; (void)name; }
    // Another card, or none.
    virtual void ForgetCardRowIcons() {}

    // Language captions and tooltips.
    virtual void SetCaption(ControlId id, const std::string& text) = 0;
    virtual void SetToolTip(ControlId id, const std::string& text) = 0;
};

// Position of the progress bar (0 to 32768) for a fraction of the work.
int ProgressPosition(float fraction);
inline constexpr int kProgressMax = 32768;
