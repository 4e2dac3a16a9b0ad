#pragma once
// A view held in memory: what the controller shows is kept in plain fields.
// The tests drive the controller through it, and the command line prints from it.
// Texts and option boxes may be set and read from any thread (the game
// information arrives from its own); everything else belongs to one thread at a time.
#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "control/ControlView.h"

class Control;

class MemoryView : public ControlView {
public:
    struct Row {
        ListRow row;
        bool ticked = false;
    };
    struct ComboBox {
        std::vector<std::string> items;
        int selected = -1;
    };

    // The controller whose card state decides EnableControls; may be null.
    Control* control = nullptr;

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
    bool IsIconShown() const override { return iconShown.load(); }
    void PresentIconFrame(const DeviceFrame& frame) override;
    void SetCaption(ControlId id, const std::string& text) override;
    bool Confirm(const std::string& title, const std::string& question) override;
    Overwrite AskOverwrite(const std::string& question) override;
    void ShowFailure(const std::string& title, const std::string& text) override;
    void SetToolTip(ControlId id, const std::string& text) override;

    // Helpers for callers that read the state back.
    std::string Text(TextField field) const;
    std::vector<ListRow> Rows(ListSide side) const;
    // Only what the columns show.
    std::vector<ListTexts> Texts(ListSide side) const;
    void TickAll(ListSide side, bool ticked);

    std::array<std::string, kEditCount> edits;
    std::array<std::atomic<bool>, kOptionCount> options{};
    std::array<ComboBox, 2> combos;
    std::array<std::vector<Row>, 2> lists;
    std::array<int, 2> highlighted{-1, -1};
    std::map<ControlId, bool> enabled;
    std::map<ControlId, std::string> captions;
    std::map<ControlId, std::string> toolTips;
    int progress = 0;
    // Answers of PickFolder, taken from the front.
    std::vector<std::string> folderAnswers;
    // What the open-file dialog returns, and the filter it was shown with.
    std::vector<std::string> openFileAnswer;
    std::string openFileFilter;
    // What the file-type dialog returns.
    std::optional<int> fileTypeAnswer;
    // The icon pane: the box as the rendering thread sees it, and how many frames arrived.
    std::atomic<bool> iconShown{true};
    std::atomic<int> iconFrames{0};
    // Every status text shown, in order.
    std::vector<std::string> StatusHistory() const;
    void ClearStatusHistory();
    // Every question asked and failure shown, in order; the answers given.
    std::vector<std::string> questions;
    std::vector<std::string> failures;
    bool confirmAnswer = true;
    Overwrite overwriteAnswer = Overwrite::Replace;

private:
    mutable std::mutex textMutex;
    std::map<TextField, std::string> texts;
    std::vector<std::string> statusHistory;
};
