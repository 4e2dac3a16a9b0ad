#include "app/CListCtrlEx.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

// Grid lines along the right and bottom edge of every cell, as a report view draws them.
class GridLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        const QRect& cell = option.rect;
        painter->drawLine(cell.topRight(), cell.bottomRight());
        painter->drawLine(cell.bottomLeft(), cell.bottomRight());
        painter->restore();
    }

    // Room below the baseline for descenders and underscores, which a row of the font's bare height cuts off.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), option.fontMetrics.height() + option.fontMetrics.descent() / 2 + 4));
        return size;
    }
};

int Sign(int value) { return (value > 0) - (value < 0); }

// A row's identity rides on its first cell; the name as bytes, never through a QString.
constexpr int kSideRole = Qt::UserRole;
constexpr int kSlotRole = Qt::UserRole + 1;
constexpr int kNameRole = Qt::UserRole + 2;

QByteArray Bytes(const std::string& text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }

std::string FromBytes(const QByteArray& bytes) { return std::string(bytes.constData(), static_cast<size_t>(bytes.size())); }

}  // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);  // sorting is ours: byte order, not the locale's
    setItemDelegate(new GridLineDelegate(this));
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    // A long title keeps its start and its end (which often tells two saves apart).
    setTextElideMode(Qt::ElideMiddle);
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (!settingWidths) {
            widthsChosen = true;
        }
    });
    // Rows dragged onto the other list are copied there; a list never takes its own rows.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
}

std::vector<ListRow> CListCtrlEx::HighlightedRows() const
{
    std::vector<ListRow> rows;
    for (int index = 0; index < topLevelItemCount(); ++index) {
        if (topLevelItem(index)->isSelected()) {
            rows.push_back(RowOf(*topLevelItem(index)));
        }
    }
    return rows;
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        const QList<QTreeWidgetItem*> chosen = selectedItems();
        // One press gives every highlighted row the same state: ticked, unless all of them already are.
        const bool tick = std::any_of(chosen.begin(), chosen.end(),
                                      [](const QTreeWidgetItem* item) { return item->checkState(0) != Qt::Checked; });
        for (QTreeWidgetItem* item : chosen) {
            item->setCheckState(0, tick ? Qt::Checked : Qt::Unchecked);
        }
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SetAllTicked(true);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit DeleteRequested();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

QStringList CListCtrlEx::mimeTypes() const { return {QString::fromLatin1(kRowsMimeType)}; }

QMimeData* CListCtrlEx::mimeData(const QList<QTreeWidgetItem*>& /*items*/) const
{
    // The rows themselves stay here: the drop takes the highlighted ones by their identity.
    auto* carried = new QMimeData;
    carried->setData(QString::fromLatin1(kRowsMimeType), objectName().toUtf8());
    return carried;
}

QString CListCtrlEx::OtherList(const QDropEvent& event) const
{
    const QMimeData* carried = event.mimeData();
    if (carried == nullptr || !carried->hasFormat(QString::fromLatin1(kRowsMimeType))) {
        return {};
    }
    const QString source = QString::fromUtf8(carried->data(QString::fromLatin1(kRowsMimeType)));
    return source != objectName() ? source : QString();
}

void CListCtrlEx::dragEnterEvent(QDragEnterEvent* event)
{
    if (!OtherList(*event).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CListCtrlEx::dragMoveEvent(QDragMoveEvent* event)
{
    if (!OtherList(*event).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CListCtrlEx::dropEvent(QDropEvent* event)
{
    const QString source = OtherList(*event);
    if (source.isEmpty()) {
        event->ignore();
        return;
    }
    // The rows stay where they are in the source list: the command decides what becomes of them.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    emit RowsDropped(source, (event->modifiers() & Qt::ShiftModifier) != 0);
}

CListCtrlEx::~CListCtrlEx() = default;

void CListCtrlEx::SetHeaderTexts(const std::vector<std::string>& names)
{
    QStringList labels;
    for (const std::string& name : names) {
        labels.append(QString::fromStdString(name));
    }
    setHeaderLabels(labels);
}

void CListCtrlEx::SetColumns(const std::vector<std::string>& names)
{
    clear();
    setColumnCount(0);
    QStringList labels;
    for (const std::string& name : names) {
        labels.append(QString::fromStdString(name));
    }
    setColumnCount(static_cast<int>(names.size()));
    setHeaderLabels(labels);
    columnNames = names;
    sortDirections.assign(names.size(), 1);
}

void CListCtrlEx::AddRow(const ListRow& row)
{
    if (row.texts.empty() || row.size() != columnNames.size()) {
        return;
    }
    auto* item = new QTreeWidgetItem();
    for (size_t column = 0; column < row.size(); ++column) {
        item->setText(static_cast<int>(column), QString::fromStdString(row[column]));
    }
    item->setData(0, kSideRole, static_cast<int>(row.side));
    item->setData(0, kSlotRole, Bytes(row.slot));
    item->setData(0, kNameRole, Bytes(row.name));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setFlags(item->flags() & ~Qt::ItemIsAutoTristate);
    item->setCheckState(0, Qt::Unchecked);
    addTopLevelItem(item);
    if (!widthsChosen) {
        // A save and its backup (NAME and NAME.000) must never look alike.
        const int wanted = NameColumnWidthFor(item->text(kColumnName));
        if (wanted > columnWidth(kColumnName)) {
            SetWidth(kColumnName, wanted);
            GiveTitleTheRoom();
        }
    }
}

void CListCtrlEx::SetRowIcon(const std::string& slot, const std::string& name, const QImage& still)
{
    // Drawn in the screen's own pixels: a still of twice the icon's side is crisp at 200 %.
    QPixmap pixmap = QPixmap::fromImage(still);
    pixmap.setDevicePixelRatio(std::max(1.0, static_cast<double>(still.width()) / iconSize().width()));
    const QByteArray slotBytes = Bytes(slot);
    const QByteArray bytes = Bytes(name);
    for (int index = 0; index < topLevelItemCount(); ++index) {
        QTreeWidgetItem* item = topLevelItem(index);
        if (item->data(0, kNameRole).toByteArray() == bytes && item->data(0, kSlotRole).toByteArray() == slotBytes) {
            item->setIcon(kColumnTitle, still.isNull() ? QIcon() : QIcon(pixmap));
        }
    }
}

int CListCtrlEx::RowIconSide() const { return std::max(8, fontMetrics().height()); }

uint32_t CListCtrlEx::RowIconPixels() const
{
    return static_cast<uint32_t>(std::ceil(RowIconSide() * std::max(1.0, devicePixelRatioF())));
}

void CListCtrlEx::ClearRowIcons()
{
    for (int index = 0; index < topLevelItemCount(); ++index) {
        topLevelItem(index)->setIcon(kColumnTitle, QIcon());
    }
}

void CListCtrlEx::SetLayoutWidth(int column, int width)
{
    if (column == kColumnTitle) {
        layoutTitleWidth = width;
    }
    SetWidth(column, width);
    GiveTitleTheRoom();
}

int CListCtrlEx::NameColumnWidthFor(const QString& name) const
{
    return fontMetrics().horizontalAdvance(name) + 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
}

int CListCtrlEx::WidthForEveryColumn() const
{
    // A usual save's name with a backup's number: what the directory column should show whole.
    int columns = std::max(columnWidth(kColumnName), NameColumnWidthFor(QStringLiteral("BASLUS-21334SAVEDATA.000")));
    for (int column = 0; column < columnCount(); ++column) {
        if (column == kColumnTitle) {
            columns += widthsChosen ? columnWidth(column) : layoutTitleWidth;
        } else if (column != kColumnName) {
            columns += columnWidth(column);
        }
    }
    // From the style: before the window is first shown the viewport has no size of its own yet.
    return columns + 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void CListCtrlEx::SetWidth(int column, int width)
{
    settingWidths = true;
    setColumnWidth(column, width);
    settingWidths = false;
}

void CListCtrlEx::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    GiveTitleTheRoom();
}

void CListCtrlEx::GiveTitleTheRoom()
{
    if (widthsChosen || columnCount() <= kColumnTitle) {
        return;
    }
    int others = 0;
    for (int column = 0; column < columnCount(); ++column) {
        others += column == kColumnTitle ? 0 : columnWidth(column);
    }
    const int wanted = std::max(layoutTitleWidth, viewport()->width() - others);
    if (wanted != columnWidth(kColumnTitle)) {
        SetWidth(kColumnTitle, wanted);
    }
}

std::string CListCtrlEx::ColumnWidths() const
{
    if (!widthsChosen) {
        return {};
    }
    std::string text;
    for (int column = 0; column < columnCount(); ++column) {
        text += (column > 0 ? "," : "") + std::to_string(columnWidth(column));
    }
    return text;
}

void CListCtrlEx::SetColumnWidths(const std::string& widths)
{
    const QStringList parts = QString::fromStdString(widths).split(QLatin1Char(','));
    if (parts.size() != columnCount()) {
        return;
    }
    for (int column = 0; column < columnCount(); ++column) {
        bool number = false;
        const int width = parts[column].toInt(&number);
        if (!number || width < 8 || width > 4000) {
            return;  // not ours, or damaged: the widths of the layout stay
        }
    }
    for (int column = 0; column < columnCount(); ++column) {
        SetWidth(column, parts[column].toInt());
    }
    widthsChosen = true;
}

ListRow CListCtrlEx::RowOf(const QTreeWidgetItem& item) const
{
    ListRow row;
    row.texts.reserve(columnNames.size());
    for (size_t column = 0; column < columnNames.size(); ++column) {
        row.texts.push_back(item.text(static_cast<int>(column)).toStdString());
    }
    row.side = static_cast<ListSide>(item.data(0, kSideRole).toInt());
    row.slot = FromBytes(item.data(0, kSlotRole).toByteArray());
    row.name = FromBytes(item.data(0, kNameRole).toByteArray());
    return row;
}

ListRow CListCtrlEx::GetRow(int index) const
{
    const QTreeWidgetItem* item = (index >= 0 && index < topLevelItemCount()) ? topLevelItem(index) : nullptr;
    return item != nullptr ? RowOf(*item) : ListRow{};
}

int CListCtrlEx::RowCount() const { return topLevelItemCount(); }

bool CListCtrlEx::SortByColumn(int column)
{
    if (column < 0 || static_cast<size_t>(column) >= columnNames.size() ||
        static_cast<size_t>(column) >= sortDirections.size()) {
        return false;
    }
    int32_t& direction = sortDirections[static_cast<size_t>(column)];
    direction = -direction;
    const int d = direction;

    // Taking the items out drops the selection; it is put back afterwards.
    QTreeWidgetItem* current = currentItem();
    const QList<QTreeWidgetItem*> selected = selectedItems();
    const QList<QTreeWidgetItem*> items = invisibleRootItem()->takeChildren();
    std::vector<std::pair<std::string, QTreeWidgetItem*>> keyed;
    keyed.reserve(static_cast<size_t>(items.size()));
    for (QTreeWidgetItem* item : items) {
        keyed.emplace_back(item->text(column).toStdString(), item);
    }
    // std::string compares as unsigned bytes, which is the UTF-8 code-point order.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [d](const auto& a, const auto& b) { return Sign(a.first.compare(b.first)) * d < 0; });
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(static_cast<qsizetype>(keyed.size()));
    for (const auto& entry : keyed) {
        sorted.append(entry.second);
    }
    addTopLevelItems(sorted);
    if (current != nullptr) {
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    }
    for (QTreeWidgetItem* item : selected) {
        item->setSelected(true);
    }
    return true;
}

void CListCtrlEx::SetAllTicked(bool ticked)
{
    const Qt::CheckState state = ticked ? Qt::Checked : Qt::Unchecked;
    for (int index = 0; index < topLevelItemCount(); ++index) {
        topLevelItem(index)->setCheckState(0, state);
    }
}

std::vector<ListRow> CListCtrlEx::TickedRows() const
{
    std::vector<ListRow> rows;
    for (int index = 0; index < topLevelItemCount(); ++index) {
        const QTreeWidgetItem* item = topLevelItem(index);
        if (item->checkState(0) == Qt::Checked) {
            rows.push_back(RowOf(*item));
        }
    }
    return rows;
}

std::optional<ListRow> CListCtrlEx::HighlightedRow() const
{
    const int index = HighlightedIndex();
    return index >= 0 ? std::optional<ListRow>(RowOf(*topLevelItem(index))) : std::nullopt;
}

bool CListCtrlEx::IsTicked(int index) const
{
    const QTreeWidgetItem* item = (index >= 0 && index < topLevelItemCount()) ? topLevelItem(index) : nullptr;
    return item != nullptr && item->checkState(0) == Qt::Checked;
}

int CListCtrlEx::HighlightedIndex() const
{
    for (int index = 0; index < topLevelItemCount(); ++index) {
        if (topLevelItem(index)->isSelected()) {
            return index;
        }
    }
    return -1;
}
