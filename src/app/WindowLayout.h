#pragma once
// Where the window's controls go at a given window size. The described layout
// is the smallest window; a caption that does not fit its control (another
// language, another font) widens that control and pushes what stands to its
// right in the same rows, and the window's smallest size grows with it. Beyond
// the smallest size the two save lists share the extra width equally and take
// the extra height; the controls below and beside them follow, and the panes
// on the right keep their width.
#include <map>
#include <vector>

#include <QRect>
#include <QSize>

class WindowLayout {
public:
    // How a control follows the window beyond its smallest size, as fractions
    // of the extra width (x, width) and height (y, height).
    struct Stretch {
        double x = 0, width = 0, y = 0, height = 0;
    };
    struct Item {
        int id = 0;
        QRect place;  // in pixels, in the described layout
        int need = 0;  // the width its caption needs; 0 when it has none
        bool group = false;  // frames the items laid inside it
        Stretch stretch;
        // Items of one column (the same number, not 0) move right together, as far as the farthest pushed.
        int column = 0;
    };

    WindowLayout(std::vector<Item> items, QSize described);

    QSize MinimumSize() const { return minimum; }
    // Every item's rectangle in a window of the given size (at least the smallest).
    std::map<int, QRect> Place(QSize window) const;

private:
    struct Widened {
        int shift = 0;  // pushed right by wider captions to its left
        int grow = 0;   // its own widening
    };
    std::vector<Item> items;
    std::vector<Widened> widened;
    QSize minimum;
};
