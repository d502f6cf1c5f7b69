#pragma once

#include <algorithm>

namespace tavolix::hitview {

// Where the items of a grid of equal cells go, worked out rather than laid
// out, so that ten million items cost nothing more than ten: items fill a
// line (a column from the top, or a row from the left), then the next.
// Coordinates are the contents', before scrolling; lines scroll whole.
struct TGridGeometry {
    int Count = 0;
    int CellWidth = 1;
    int CellHeight = 1;
    // The room the lines are laid out in.
    int Width = 0;
    int Height = 0;
    bool RowsFirst = false;

    int CellAlong() const { return std::max(1, RowsFirst ? CellWidth : CellHeight); }
    int CellAcross() const { return std::max(1, RowsFirst ? CellHeight : CellWidth); }
    // Items a line holds; one at least, as a line too short still holds one.
    int PerLine() const { return std::max(1, (RowsFirst ? Width : Height) / CellAlong()); }
    int Lines() const { return Count <= 0 ? 0 : (Count - 1) / PerLine() + 1; }
    int LineOf(int index) const { return index / PerLine(); }
    int PlaceOf(int index) const { return index % PerLine(); }
    // Lines a page shows whole, one at least.
    int LinesShown(int viewAcross) const { return std::max(1, viewAcross / CellAcross()); }
    // The scroll bar's last value: the first line shown when the last shows.
    int LastFirstLine(int viewAcross) const {
        const int across = Lines() * CellAcross();
        return across <= viewAcross ? 0 : std::max(0, Lines() - LinesShown(viewAcross));
    }

    struct TCell {
        int X, Y;
    };
    TCell CellOf(int index) const {
        const int line = LineOf(index), place = PlaceOf(index);
        return RowsFirst ? TCell{place * CellWidth, line * CellHeight}
                         : TCell{line * CellWidth, place * CellHeight};
    }
    // The item at a point of the contents, or -1.
    int ItemAt(int x, int y) const {
        if (x < 0 || y < 0 || Count <= 0)
            return -1;
        const int along = RowsFirst ? x / CellAlong() : y / CellAlong();
        const int line = RowsFirst ? y / CellAcross() : x / CellAcross();
        if (along >= PerLine())
            return -1;
        const long long index = static_cast<long long>(line) * PerLine() + along;
        return index < Count ? static_cast<int>(index) : -1;
    }

    // The moves of the keys, as a list of such cells makes them: along a
    // line to the item before or after (into the next line at its end),
    // across to the nearest item of the next line.
    enum class TMove { Back, Forth, PreviousLine, NextLine, PageBack, PageForth, First, Last };
    int Moved(int index, TMove move, int viewAcross) const {
        if (Count <= 0)
            return -1;
        index = std::clamp(index, 0, Count - 1);
        const int per = PerLine();
        switch (move) {
        case TMove::Back:
            return std::max(0, index - 1);
        case TMove::Forth:
            return std::min(Count - 1, index + 1);
        case TMove::PreviousLine:
            return index >= per ? index - per : index;
        case TMove::NextLine:
            return LineOf(index) < Lines() - 1 ? std::min(index + per, Count - 1) : index;
        case TMove::PageBack:
            return std::max(PlaceOf(index), index - per * (LinesShown(viewAcross) - 1));
        case TMove::PageForth: {
            const long long to =
                static_cast<long long>(index) + per * std::max(1, LinesShown(viewAcross) - 1);
            return static_cast<int>(std::min<long long>(to, Count - 1));
        }
        case TMove::First:
            return 0;
        case TMove::Last:
            return Count - 1;
        }
        return index;
    }
};

} // namespace tavolix::hitview
