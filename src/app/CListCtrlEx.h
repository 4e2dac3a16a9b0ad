#pragma once
// A save list of the window: report view with full-row select, grid lines and
// a check box on every row. Ticked rows are what the transfer, delete and
// export commands act on; the highlighted row is what a click shows.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QTreeWidget>

#include "control/ListRow.h"

class CListCtrlEx : public QTreeWidget {
    Q_OBJECT

public:
    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Removes every item and column, then makes one left-aligned column per name.
    void SetColumns(const std::vector<std::string>& names);
    // New header captions (another language); the rows stay.
    void SetHeaderTexts(const std::vector<std::string>& names);
    // Appends the row; ignored unless it has exactly one text per column.
    void AddRow(const ListRow& row);
    // The texts of the item at index, empty when there is no such item.
    ListRow GetRow(int index) const;
    int RowCount() const;
    // Sorts by the column's text, byte by byte; every call on a column flips its
    // direction, starting with descending. False when there is no such column.
    bool SortByColumn(int column);

    void SetAllTicked(bool ticked);
    std::vector<ListRow> TickedRows() const;
    std::optional<ListRow> HighlightedRow() const;
    bool IsTicked(int index) const;
    // The first highlighted row's index, -1 when none is.
    int HighlightedIndex() const;

    std::vector<std::string> columnNames;
    std::vector<int32_t> sortDirections;

private:
    ListRow RowOf(const QTreeWidgetItem& item) const;
};
