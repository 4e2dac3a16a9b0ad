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
    // Every highlighted row, in list order.
    std::vector<ListRow> HighlightedRows() const;
    bool IsTicked(int index) const;
    // The first highlighted row's index, -1 when none is.
    int HighlightedIndex() const;

    // The column widths as "w0,w1,w2,w3", and back; the widths set are the user's from then on.
    // Empty while the widths are the layout's own, which follow the list's width.
    std::string ColumnWidths() const;
    void SetColumnWidths(const std::string& widths);
    // The still of the save slot/name (its whole name; slot empty on the PC side)
    // beside its title; a null image takes it away.
    void SetRowIcon(const std::string& slot, const std::string& name, const QImage& still);
    void ClearRowIcons();
    // The side of a row's still in the window's units, and in the screen's pixels.
    int RowIconSide() const;
    uint32_t RowIconPixels() const;
    // A width the window's layout gives a column; not the user's choice.
    void SetLayoutWidth(int column, int width);
    // How wide the list must be to show all its columns, a usual directory name whole.
    int WidthForEveryColumn() const;

    // What a drag of rows carries: the name of the list they come from.
    static constexpr const char* kRowsMimeType = "application/x-tansu-rows";
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;

    std::vector<std::string> columnNames;
    std::vector<int32_t> sortDirections;

signals:
    // The highlighted rows of the list named source dropped here: to be copied (moved with Shift held).
    void RowsDropped(const QString& source, bool move);
    // The Delete key: the ticked saves of this list are to be deleted.
    void DeleteRequested();

protected:
    // Space ticks (or unticks) the highlighted rows; Ctrl+A ticks every row.
    void keyPressEvent(QKeyEvent* event) override;
    // Only rows of the other save list are taken here; files from outside go on to the window.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Until the user sets a width, the title takes the room the other columns leave.
    void GiveTitleTheRoom();
    void SetWidth(int column, int width);
    int NameColumnWidthFor(const QString& name) const;

    // Until the user sets a width, the directory column widens to show every name
    // whole, and a wider list shows longer titles.
    bool widthsChosen = false;
    bool settingWidths = false;
    int layoutTitleWidth = 0;
    // The list the dragged rows come from, when it is another one; empty otherwise.
    QString OtherList(const QDropEvent& event) const;
    ListRow RowOf(const QTreeWidgetItem& item) const;
};
