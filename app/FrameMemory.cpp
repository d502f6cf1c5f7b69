#include "app/FrameMemory.h"

#include "app/DriveComboBox.h"
#include "app/FilterRow.h"
#include "app/FramePlacement.h"
#include "app/SearchBar.h"
#include "app/WalkChoices.h"
#include "dirtree/DirTVS.h"
#include "platform/Profile.h"
#include "platform/Volumes.h"
#include "settings/FilterChoice.h"
#include "settings/SearchMemory.h"
#include "settings/ViewSettings.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "words/CoreWords.h"

#include <algorithm>
#include <cstdlib>

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QSplitter>
#include <QTimer>

namespace tavolix::app {

TFrameMemory::TFrameMemory(std::string settingsFile, bool readable, TControls controls, QWidget* frame)
    : QObject(frame), FSettingsFile(std::move(settingsFile)), FReadable(readable), FControls(controls),
      FFrame(frame) {
    FTimer = new QTimer(this);
    FTimer->setSingleShot(true);
    FTimer->setInterval(500);
    connect(FTimer, &QTimer::timeout, this, &TFrameMemory::WriteNow);
}

TFrameMemory::~TFrameMemory() {
    if (Pending()) {
        FErrorTold = true;
        WriteNow();
    }
}

void TFrameMemory::Load() {
    platform::TProfileText profile;
    if (FReadable)
        platform::ReadProfileFile(FSettingsFile, profile);
    const settings::TSearchMemory memory = settings::SearchMemoryOf(profile);
    FControls.SearchBar->SetHistory(memory.History);
    FControls.SearchBar->KeyBox->setEditText(memory.LastKey ? QString::fromStdString(*memory.LastKey)
                                                            : QStringLiteral("*.gif"));
    FControls.FilterRow->SetChoice(settings::FilterChoiceOf(profile));
    FControls.WalkChoices->SetRowShown(settings::FilterRowShownIn(profile));
    FControls.FilterRow->setVisible(FControls.WalkChoices->RowShown());
    // A width kept from a wider screen leaves the result windows room.
    const int width = FFrame->width();
    if (const std::optional<int> kept = settings::TreeWidthIn(profile)) {
        const int treeWidth = std::min(*kept, std::max(FControls.TreePane->minimumWidth(), width - 200));
        FControls.Splitter->setSizes({treeWidth, std::max(1, width - treeWidth)});
    }

    // The folder searched last; the home folder at the very first start.
    std::string start;
    if (memory.LastFolder) {
        start = *memory.LastFolder;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        start = home;
    } else {
        start = QDir::currentPath().toStdString();
    }
    TDriveComboBox& drives = *FControls.Drives;
    drives.SetVolumes(platform::TMountTable::System(), start);
    const std::string root = drives.Drive();
    // The tree reads the volume off this thread.
    if (!root.empty())
        FControls.Tree->SetDrive(root);
    if (!start.empty() && start != root && start != root + "/")
        FControls.Tree->SelectDir(start);
}

void TFrameMemory::RememberLater() {
    FTimer->start();
}

bool TFrameMemory::Pending() const {
    return FTimer->isActive();
}

void TFrameMemory::WriteNow() {
    FTimer->stop();
    if (!FReadable)
        return;
    Tell(settings::WriteFilterChoice(FSettingsFile, FControls.FilterRow->Choice(),
                                     FControls.WalkChoices->RowShown()));
    if (!FControls.TreePane->isHidden())
        Tell(settings::WriteTreeWidth(FSettingsFile, FControls.TreePane->width()));
    if (const std::optional<settings::TFrameSize> changed = FControls.Placement->TakeChange())
        Tell(settings::WriteFrameSize(FSettingsFile, *changed));
}

void TFrameMemory::AddKey(const std::string& key) {
    std::vector<std::string> history;
    if (FReadable) {
        const platform::TIoResult error = settings::RememberKey(FSettingsFile, key, history);
        Tell(error);
        if (!error && std::find(history.begin(), history.end(), key) != history.end()) {
            FControls.SearchBar->SetHistory(history);
            return;
        }
    }
    // Not in the file (it can't hold this key, or can't be written): this run remembers it.
    FControls.SearchBar->SetHistory(FControls.SearchBar->HistoryWith(std::move(history), key));
}

void TFrameMemory::RememberSearch(const std::string& dir, const std::string& key) {
    if (FReadable)
        Tell(settings::RememberSearch(FSettingsFile, dir, key));
    WriteNow();
}

void TFrameMemory::Tell(const platform::TIoResult& error) {
    if (!error || FErrorTold)
        return;
    FErrorTold = true;
    ui::ShowMessageBox(FFrame, ui::TMessageKind::Warning,
                       ui::ToText(words::CannotWriteWhyText(*error)) + QStringLiteral("\r\n\r\n") +
                           tr("最後の検索ディレクトリ・指定キー・絞り込みなどは、次の起動まで残りません。"),
                       ui::mbOK);
}

} // namespace tavolix::app
