#include "app/DriveComboBox.h"

#include "ui/NameText.h"

#include <cstdlib>

#include <QFile>
#include <QSignalBlocker>
#include <QWheelEvent>

namespace tavolix::app {

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    // Not WheelFocus: a wheel turned over the closed selector on its way
    // elsewhere would focus it and so choose a volume.
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, [this](int) { emit DriveChanged(ui::ToText(Drive())); });
}

namespace {

// How much of `path` the folder `dir` holds: its length, or -1 when it
// doesn't hold it.
int Holds(std::string_view dir, std::string_view path) {
    while (dir.size() > 1 && dir.back() == '/')
        dir.remove_suffix(1);
    if (dir == "/")
        return path.starts_with('/') ? 1 : -1;
    if (!path.starts_with(dir) || (path.size() > dir.size() && path[dir.size()] != '/'))
        return -1;
    return static_cast<int>(dir.size());
}

} // namespace

void TDriveComboBox::SetVolumes(const platform::TMountTable& volumes, const std::string& currentDir,
                                std::optional<std::string> home) {
    const QSignalBlocker block(this);
    if (!home) {
        const char* env = std::getenv("HOME");
        home = env ? env : "";
    }
    FHome = *home;
    while (FHome.size() > 1 && FHome.back() == '/')
        FHome.pop_back();
    FVolumes = volumes;
    FShown.clear();
    clear();
    FHomeEntry = !FHome.empty() && FHome != "/" && FHome.front() == '/';
    if (FHomeEntry)
        addItem(tr("ホーム （ %1 ）").arg(ui::ToVisibleText(FHome)));
    const platform::TVolume* current = FVolumes.VolumeOf(currentDir);
    const auto& all = FVolumes.Volumes();
    int index = -1;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (&all[i] != current && !platform::IsShownAsDrive(all[i], FHome))
            continue;
        if (&all[i] == current)
            index = count();
        FShown.push_back(i);
        addItem(ui::ToText(platform::VolumeEntryText(all[i])));
    }
    // The home folder when it holds the folder more closely than its volume.
    if (FHomeEntry && Holds(FHome, currentDir) > (current ? Holds(current->MountPoint, currentDir) : -1))
        index = 0;
    setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
}

const platform::TVolume* TDriveComboBox::EntryVolume(int index) const {
    if (FHomeEntry)
        --index;
    if (index < 0 || index >= static_cast<int>(FShown.size()))
        return nullptr;
    return &FVolumes.Volumes()[FShown[static_cast<std::size_t>(index)]];
}

std::string TDriveComboBox::Drive() const {
    if (HomeChosen())
        return FHome;
    const platform::TVolume* volume = EntryVolume(currentIndex());
    return volume ? volume->MountPoint : std::string();
}

std::string TDriveComboBox::EntryText() const {
    if (HomeChosen())
        return ui::ToBytes(currentText());
    const platform::TVolume* volume = EntryVolume(currentIndex());
    return volume ? platform::VolumeEntryText(*volume) : std::string();
}

bool TDriveComboBox::SelectDrive(const std::string& mountPoint) {
    for (int i = 0; i < count(); ++i) {
        const platform::TVolume* volume = EntryVolume(i);
        if (volume ? volume->MountPoint == mountPoint : mountPoint == FHome) {
            setCurrentIndex(i);
            emit DriveChanged(ui::ToText(mountPoint));
            return true;
        }
    }
    return false;
}

void TDriveComboBox::SetTableSource(std::function<platform::TMountTable()> source) {
    FTableSource = std::move(source);
}

void TDriveComboBox::showPopup() {
    // A volume mounted since the list was filled shows; the chosen one stays
    // chosen while it is mounted, else the tree follows to what holds its path.
    const std::string chosen = Drive();
    SetVolumes(FTableSource ? FTableSource() : platform::TMountTable::System(), chosen, FHome);
    if (!chosen.empty() && Drive() != chosen)
        emit DriveChanged(ui::ToText(Drive()));
    QComboBox::showPopup();
}

void TDriveComboBox::wheelEvent(QWheelEvent* event) {
    if (hasFocus())
        QComboBox::wheelEvent(event);
    else
        event->ignore();
}

} // namespace tavolix::app
