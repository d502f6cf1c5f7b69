#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>

class QPainter;

namespace tavolix::results {

// How an item is drawn, by the upper-cased extension of its name.
enum class TItemGroup { IconFile, Bitmap, Metafile, ShellIcon, NameOnly };

// The extension from the last dot of the name part (after the last "/"),
// dot included, with a-z upper-cased and every other byte kept.
std::string UpperExt(std::string_view path);
TItemGroup GroupOf(std::string_view path);

// Everything one item's painting depends on; the painter reads no widget.
struct TItemPaintInput {
    std::string FullPath; // bytes, as the file system has them
    QRect ItemRect;       // left and top place the item; drawing is clipped to it
    int ItemHeight = 40;  // IH
    int Columns = 2;
    int ListWidth = 0; // outer width of the list
    QFont Font;        // the list's font
    bool Selected = false;
    QColor TextColor = Qt::black, BackColor = Qt::white;                  // the list's
    QColor HighlightTextColor = Qt::white, HighlightColor = Qt::darkBlue; // for a selected item
    QSize IconSize{32, 32};                                               // the system's standard icon size
    int ScreenDpi = 96;                                                   // for metafile sizes
    // The program-wide wait cursor while a metafile is read and played.
    bool WaitCursor = false;
};

// Paints one result item: the picture, icon or nothing for its type, the
// name and, for pictures, the pixel size. Every file is read afresh and
// everything is released before returning.
void PaintResultItem(QPainter& painter, const TItemPaintInput& in);

// The size text of a picture: width, "×", height.
QString PictureSizeText(int width, int height);

} // namespace tavolix::results
