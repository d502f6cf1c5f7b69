#pragma once

#include "platform/AtomicFile.h"

#include <string>

#include <QObject>

class QFrame;
class QSplitter;
class QTimer;
class QWidget;

namespace tavolix::dirtree {
class TDirTreeViewS;
}

namespace tavolix::app {

class TDriveComboBox;
class TFilterRow;
class TFramePlacement;
class TSearchBar;
class TWalkChoices;

// What the frame remembers in the settings file from one run to the next:
// the key box and its history, the filter row, the tree pane's width, the
// frame's size and the folder searched last. Changes reach the file a
// moment after the last one; a failed write is told once a run. Nothing is
// written to a settings file that could not be read.
class TFrameMemory final : public QObject {
    Q_OBJECT

public:
    // The frame's controls it reads and sets.
    struct TControls {
        TSearchBar* SearchBar;
        TFilterRow* FilterRow;
        TWalkChoices* WalkChoices;
        QFrame* TreePane;
        QSplitter* Splitter;
        TDriveComboBox* Drives;
        dirtree::TDirTreeViewS* Tree;
        TFramePlacement* Placement;
    };

    TFrameMemory(std::string settingsFile, bool readable, TControls controls, QWidget* frame);
    // Written now when a change waits; the frame going, no box.
    ~TFrameMemory() override;

    // Sets the controls from the file: the selector's volumes and the tree
    // on the folder to start in (the home folder at the very first start).
    void Load();
    void RememberLater();
    void WriteNow();
    bool Pending() const;
    // A key searched: first in the history (kept for this run alone when
    // the file can't hold it).
    void AddKey(const std::string& key);
    // A search's folder and key, once its walk has ended.
    void RememberSearch(const std::string& dir, const std::string& key);

private:
    void Tell(const platform::TIoResult& error);

    std::string FSettingsFile;
    bool FReadable;
    TControls FControls;
    QWidget* FFrame;
    QTimer* FTimer;
    bool FErrorTold = false;
};

} // namespace tavolix::app
