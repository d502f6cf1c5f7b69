#pragma once

#include "platform/Volumes.h"
#include "search/SearchQuery.h"
#include "settings/FilterChoice.h"
#include "settings/ViewState.h"

#include <array>
#include <string>
#include <vector>

#include <QString>

class QWidget;

namespace tavolix::thumbs {
class TThumbnailPool;
}

namespace tavolix::results {

// What a result window needs of the main frame. The frame implements it;
// tests give a small fake, so the result window is tested without a frame.
class TResultWindowHost {
public:
    virtual ~TResultWindowHost() = default;

    // The search a new window shows: the directory tree's selected path, the
    // key box's text, the walk's choices and the filters as they are at the
    // moment the window is made (the frame reads the choices afresh: another
    // program may have changed them).
    virtual search::TSearchQuery SearchQuery() const = 0;
    // Appends a key to the key box's drop-down history (duplicates stay).
    virtual void AddKeyToHistory(const std::string& key) = 0;
    // Sizes a new window with hits takes from the frame.
    virtual int FrameWidth() const = 0;
    virtual int DirectoryPanelWidth() const = 0;
    virtual int DirectoryPanelHeight() const = 0;

    // Makes the directory panel and the key panel visible.
    virtual void ShowPanels() = 0;
    virtual void SetQuickKeysEnabled(bool enabled) = 0;
    virtual void SetWindowMenuEnabled(bool enabled) = 0;
    // Panel 0 of the frame's status bar.
    virtual void SetStatusText(const QString& text) = 0;
    virtual int ResultWindowCount() const = 0;
    virtual void FocusDirectoryTree() = 0;

    // The frame's handlers the window delegates to.
    virtual void SearchFind1Click() = 0;
    // Quits the program, as the frame's own command does.
    virtual void QuitClick() {}
    virtual void Help1Click() = 0;
    // Opens one topic of the help (1000, 1200, 1300).
    virtual void ShowHelpTopic(int topic) = 0;
    virtual void About1Click() = 0;
    // True when the drive selector's current entry shows a network share.
    virtual bool IsNetworkDriveSelected() const = 0;
    // The frame registers a written page in its saved-pages list and
    // refreshes the menu; an empty result means success, otherwise the
    // text of the error box to show.
    virtual QString RegisterSavedPage(const std::array<std::string, 6>& record) = 0;
    // The window the frame's boxes and dialogs belong to.
    virtual QWidget* DialogParent() = 0;

    // How new windows show their hits (the settings file's choices); a
    // window's choice changed: new windows follow, and the file keeps it.
    virtual settings::TViewChoices ViewChoices() const { return {}; }
    virtual void SetViewChoices(const settings::TViewChoices& choices) { (void)choices; }
    // The helper processes that make pictures, shared by the windows;
    // nullptr when there are none (pictures then show as unreadable).
    virtual thumbs::TThumbnailPool* ThumbnailPool() { return nullptr; }
    // The volumes mounted when the window is made (a file on a network or
    // FUSE volume is never read on the window's thread).
    virtual platform::TMountTable Volumes() const { return platform::TMountTable::System(); }
};

} // namespace tavolix::results
