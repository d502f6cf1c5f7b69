#pragma once

#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"
#include "thumbs/FileKinds.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;

namespace tavolix::results {

// How an item is drawn, by the upper-cased extension of its name (the table
// of file kinds).
using TItemGroup = thumbs::TPartGroup;
using thumbs::UpperExt;
TItemGroup GroupOf(std::string_view path);

// A picture made off the window's thread, as the window's cache holds it
// for one item: a thumbnail, a decoded bitmap or icon, a metafile's bytes.
struct TItemPicture {
    // Unavailable: no picture helper can run, so none was made (the file
    // may be a good picture).
    enum class TState : unsigned char { Pending, Ready, Failed, Unavailable };
    TState State = TState::Pending;
    QImage Image;
    QSize PictureSize; // the original's, in pixels; invalid when unknown
    int IconHandle = pictures::TProgramIcon::kNotAnIconFile;
    std::shared_ptr<const pictures::TLoadedMetafile> Metafile;
    // Some pixels are not opaque: the picture lies on a checkerboard.
    bool Transparent = false;
    // The image scaled for the box it was last drawn in (device pixels).
    mutable QImage Scaled;
};

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
    // The pictures view: a grid of pictures of PictureSide pixels, aspect
    // kept, each with its name (cut in the middle when too long) and its
    // pixel size below.
    bool PicturesView = false;
    int PictureSide = 96;
    // What the window read for this item off its thread. With it (and
    // always in the pictures view) the paint reads no file: a picture not
    // there yet, or not readable, draws as an unreadable one.
    const TItemPicture* Picture = nullptr;
    // Without Picture: for an icon the paint found to be a PNG (decoded
    // only in the picture helper's processes), what the helper made of it;
    // empty, or returning nullptr, when there is no helper.
    std::function<const TItemPicture*()> HelperPicture;
};

// Paints one result item: the picture, icon or nothing for its type, the
// name and, for pictures, the pixel size. Without a Picture every file is
// read afresh and everything is released before returning.
void PaintResultItem(QPainter& painter, const TItemPaintInput& in);

// The box a picture of `picture` pixels gets in the pictures view: within
// the default view's room for it, never enlarged, its aspect kept.
QSize PictureViewBox(QSize picture, int roomWidth, int roomHeight);

// The size text of a picture: width, "×", height.
QString PictureSizeText(int width, int height);

// True when some pixel of `image` is not fully opaque.
bool HasTransparentPixels(const QImage& image);

} // namespace tavolix::results
