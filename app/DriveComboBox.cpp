#include "app/DriveComboBox.h"

#include "ui/NameText.h"

#include <cstdlib>

#include <QFile>
#include <QSignalBlocker>

namespace tavolix::app {

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int) { emit DriveChanged(ui::ToText(Drive())); });
}

void TDriveComboBox::SetVolumes(const platform::TMountTable& volumes, const std::string& currentDir,
                                std::optional<std::string> home) {
    const QSignalBlocker block(this);
    if (!home) {
        const char* env = std::getenv("HOME");
        home = env ? env : "";
    }
    FVolumes = volumes;
    FShown.clear();
    clear();
    const platform::TVolume* current = FVolumes.VolumeOf(currentDir);
    const auto& all = FVolumes.Volumes();
    int index = -1;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (&all[i] != current && !platform::IsShownAsDrive(all[i], *home))
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

} // namespace tavolix::app
