#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QString>

class QMimeData;
class QObject;

namespace tavolix::hitview {
class TFileListBoxS;
}

namespace tavolix::results {

// A hit on its way to another program: as a dragged or copied item, or shown
// in the desktop's file manager.

// "file://" followed by the path's bytes percent-encoded as the page's links
// are (all but A-Z a-z 0-9 - . _ ~ and "/"), so any name survives.
std::string FileUri(std::string_view path);

// What a drag or a copy of files carries: "text/uri-list" (a file: URI a
// line, each CR LF ended), the same as "x-special/gnome-copied-files" (the
// files to paste, for the file managers that read only that), and plain text
// (the paths, one a line; bytes that aren't UTF-8 show as U+FFFD).
QMimeData* HitsMimeData(const std::vector<std::string>& paths);
// The same for the list's selected hits, in the list's order.
QMimeData* SelectedHitsMimeData(const hitview::TFileListBoxS& list);
// The paths of the list's selected hits, in the list's order.
std::vector<std::string> SelectedPaths(const hitview::TFileListBoxS& list);
QMimeData* HitMimeData(const std::string& path);

// Puts the text, or the data (taken over), on the clipboard and, where the
// system has one (X11), in the primary selection.
void CopyToClipboard(const QString& text);
void CopyToClipboard(QMimeData* data);

// Opens the folder that holds `path` in the file manager with the file
// selected: org.freedesktop.FileManager1.ShowItems on the session bus. Where
// no file manager answers that call (no session bus, no such service, an
// error), the folder is opened with ExecuteFile instead. The answer is waited
// for without blocking; `context` owns the wait (gone with it, nothing
// happens).
void ShowInFolder(const std::string& path, QObject* context);

// How long ShowInFolder waits for the file manager before opening the folder.
inline constexpr int kShowItemsTimeoutMs = 10000;

} // namespace tavolix::results
