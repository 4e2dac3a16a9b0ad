#include "control/MemoryView.h"

#include "control/Control.h"

void MemoryView::EnableControls(bool enable)
{
    const bool connected = control != nullptr && control->IsCardConnected();
    for (const auto& [id, state] : EnabledStates(enable, connected)) {
        enabled[id] = state;
    }
}

void MemoryView::SetProgress(float fraction) { progress = ProgressPosition(fraction); }

void MemoryView::SetText(TextField field, const std::string& text)
{
    const std::lock_guard guard(textMutex);
    texts[field] = text;
    if (field == TextField::Status) {
        statusHistory.push_back(text);
    }
}

std::string MemoryView::GetEditText(Edit edit) const { return edits[static_cast<size_t>(edit)]; }

void MemoryView::SetEditText(Edit edit, const std::string& text) { edits[static_cast<size_t>(edit)] = text; }

void MemoryView::ClearCombo(Combo combo) { combos[static_cast<size_t>(combo)] = ComboBox{}; }

void MemoryView::AddComboItem(Combo combo, const std::string& text)
{
    combos[static_cast<size_t>(combo)].items.push_back(text);
}

int MemoryView::ComboItemCount(Combo combo) const
{
    return static_cast<int>(combos[static_cast<size_t>(combo)].items.size());
}

void MemoryView::SelectComboItem(Combo combo, int index)
{
    ComboBox& box = combos[static_cast<size_t>(combo)];
    box.selected = index >= 0 && index < static_cast<int>(box.items.size()) ? index : -1;
}

std::string MemoryView::GetComboText(Combo combo) const
{
    const ComboBox& box = combos[static_cast<size_t>(combo)];
    return box.selected >= 0 ? box.items[static_cast<size_t>(box.selected)] : std::string();
}

bool MemoryView::IsOptionChecked(Option option) const { return options[static_cast<size_t>(option)]; }

void MemoryView::SetOptionChecked(Option option, bool checked) { options[static_cast<size_t>(option)] = checked; }

void MemoryView::ClearList(ListSide side)
{
    lists[static_cast<size_t>(side)].clear();
    highlighted[static_cast<size_t>(side)] = -1;
}

void MemoryView::AddRow(ListSide side, const ListRow& row)
{
    // As the window's list: a row of the wrong width is not added.
    if (row.size() == kColumnCount) {
        lists[static_cast<size_t>(side)].push_back(Row{row, false});
    }
}

int MemoryView::RowCount(ListSide side) const { return static_cast<int>(lists[static_cast<size_t>(side)].size()); }

ListRow MemoryView::GetRow(ListSide side, int index) const
{
    const auto& rows = lists[static_cast<size_t>(side)];
    return index >= 0 && index < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(index)].row : ListRow{};
}

std::vector<ListRow> MemoryView::GetTickedRows(ListSide side) const
{
    std::vector<ListRow> ticked;
    for (const Row& row : lists[static_cast<size_t>(side)]) {
        if (row.ticked) {
            ticked.push_back(row.row);
        }
    }
    return ticked;
}

std::optional<ListRow> MemoryView::GetHighlightedRow(ListSide side) const
{
    const int index = highlighted[static_cast<size_t>(side)];
    if (index < 0 || index >= RowCount(side)) {
        return std::nullopt;
    }
    return GetRow(side, index);
}

std::string MemoryView::PickFolder(const std::string&)
{
    if (folderAnswers.empty()) {
        return std::string();
    }
    std::string answer = folderAnswers.front();
    folderAnswers.erase(folderAnswers.begin());
    return answer;
}

std::vector<std::string> MemoryView::PickFilesToOpen(const std::string& filter)
{
    openFileFilter = filter;
    return openFileAnswer;
}

std::optional<int> MemoryView::ChooseFileType() { return fileTypeAnswer; }

void MemoryView::PresentIconFrame(const DeviceFrame&) { ++iconFrames; }

void MemoryView::SetCaption(ControlId id, const std::string& text) { captions[id] = text; }

void MemoryView::SetToolTip(ControlId id, const std::string& text) { toolTips[id] = text; }

bool MemoryView::Confirm(const std::string& title, const std::string& question)
{
    questions.push_back(title + "\n" + question);
    return confirmAnswer;
}

ControlView::Overwrite MemoryView::AskOverwrite(const std::string& question)
{
    questions.push_back(question);
    return overwriteAnswer;
}

void MemoryView::ShowFailure(const std::string& title, const std::string& text) { failures.push_back(title + "\n" + text); }

std::vector<std::string> MemoryView::StatusHistory() const
{
    const std::lock_guard guard(textMutex);
    return statusHistory;
}

void MemoryView::ClearStatusHistory()
{
    const std::lock_guard guard(textMutex);
    statusHistory.clear();
}

std::string MemoryView::Text(TextField field) const
{
    const std::lock_guard guard(textMutex);
    const auto found = texts.find(field);
    return found == texts.end() ? std::string() : found->second;
}

std::vector<ListRow> MemoryView::Rows(ListSide side) const
{
    std::vector<ListRow> rows;
    for (const Row& row : lists[static_cast<size_t>(side)]) {
        rows.push_back(row.row);
    }
    return rows;
}

std::vector<ListTexts> MemoryView::Texts(ListSide side) const
{
    std::vector<ListTexts> shown;
    for (const Row& row : lists[static_cast<size_t>(side)]) {
        shown.push_back(row.row.texts);
    }
    return shown;
}

void MemoryView::TickAll(ListSide side, bool ticked)
{
    for (Row& row : lists[static_cast<size_t>(side)]) {
        row.ticked = ticked;
    }
}
