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

void TDriveComboBox::SetVolumes(const platform::TMountTable& volumes, const std::string& currentDir,
                                std::optional<std::string> home) {
    const QSignalBlocker block(this);
    if (!home) {
        const char* env = std::getenv("HOME");
        home = env ? env : "";
    }
    FHome = *home;
    FVolumes = volumes;
    FShown.clear();
    clear();
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
    setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
}

const platform::TVolume* TDriveComboBox::EntryVolume(int index) const {
    if (index < 0 || index >= static_cast<int>(FShown.size()))
        return nullptr;
    return &FVolumes.Volumes()[FShown[static_cast<std::size_t>(index)]];
}

std::string TDriveComboBox::Drive() const {
    const platform::TVolume* volume = EntryVolume(currentIndex());
    return volume ? volume->MountPoint : std::string();
}

std::string TDriveComboBox::EntryText() const {
    const platform::TVolume* volume = EntryVolume(currentIndex());
    return volume ? platform::VolumeEntryText(*volume) : std::string();
}

bool TDriveComboBox::SelectDrive(const std::string& mountPoint) {
    for (int i = 0; i < count(); ++i) {
        if (EntryVolume(i)->MountPoint == mountPoint) {
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
