#include "app/WindowLayout.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

bool SharesRows(const QRect& a, int top, int bottom) { return a.top() < bottom && top < a.top() + a.height(); }

}  // namespace

WindowLayout::WindowLayout(std::vector<Item> laidOut, QSize described) : items(std::move(laidOut))
{
    std::vector<int> extra(items.size(), 0);
    std::set<int> rows;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].group) {
            extra[i] = std::max(0, items[i].need - items[i].place.width());
        }
        rows.insert(items[i].place.top());
    }
    // The widest push over the rows an item spans: what is beside it in one row
    // says nothing about another row.
    const auto widestPush = [&](const QRect& span, auto counts) {
        int widest = 0;
        for (const int row : rows) {
            if (row < span.top() || row >= span.top() + std::max(1, span.height())) {
                continue;
            }
            int sum = 0;
            for (size_t i = 0; i < items.size(); ++i) {
                if (extra[i] > 0 && counts(items[i].place) && SharesRows(items[i].place, row, row + 1)) {
                    sum += extra[i];
                }
            }
            widest = std::max(widest, sum);
        }
        return widest;
    };
    widened.resize(items.size());
    std::map<int, int> columnShift;
    for (size_t j = 0; j < items.size(); ++j) {
        const QRect& place = items[j].place;
        widened[j].shift = widestPush(place, [&](const QRect& other) { return other.right() < place.left(); });
        if (items[j].group) {
            const int inside = widestPush(place, [&](const QRect& other) { return place.contains(other); });
            widened[j].grow = std::max({0, inside, items[j].need - place.width()});
        } else {
            widened[j].grow = extra[j];
        }
        if (items[j].column != 0) {
            columnShift[items[j].column] = std::max(columnShift[items[j].column], widened[j].shift);
        }
    }
    int right = 0;
    int describedRight = 0;
    for (size_t j = 0; j < items.size(); ++j) {
        if (items[j].column != 0) {
            widened[j].shift = columnShift[items[j].column];
        }
        right = std::max(right, items[j].place.right() + 1 + widened[j].shift + widened[j].grow);
        describedRight = std::max(describedRight, items[j].place.right() + 1);
    }
    minimum = QSize(described.width() + std::max(0, right - describedRight), described.height());
}

std::map<int, QRect> WindowLayout::Place(QSize window) const
{
    const double dx = std::max(0, window.width() - minimum.width());
    const double dy = std::max(0, window.height() - minimum.height());
    std::map<int, QRect> placed;
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const Stretch& s = item.stretch;
        placed[item.id] = QRect(item.place.left() + widened[i].shift + static_cast<int>(s.x * dx),
                                item.place.top() + static_cast<int>(s.y * dy),
                                item.place.width() + widened[i].grow + static_cast<int>(s.width * dx),
                                item.place.height() + static_cast<int>(s.height * dy));
    }
    return placed;
}
