#include "app/DriveComboBox.h"

#include "ui/NameText.h"

#include <QFile>
#include <QSignalBlocker>

namespace tavolix::app {

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int) { emit DriveChanged(ui::ToText(Drive())); });
}

void TDriveComboBox::SetVolumes(const platform::TMountTable& volumes, const std::string& currentDir) {
    const QSignalBlocker block(this);
    FVolumes = volumes;
    clear();
    for (const platform::TVolume& volume : FVolumes.Volumes())
        addItem(ui::ToText(platform::VolumeEntryText(volume)));
    int index = count() > 0 ? 0 : -1;
    if (const platform::TVolume* current = FVolumes.VolumeOf(currentDir)) {
        const auto& all = FVolumes.Volumes();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].MountPoint == current->MountPoint)
                index = static_cast<int>(i);
    }
    setCurrentIndex(index);
}

std::string TDriveComboBox::Drive() const {
    const int index = currentIndex();
    if (index < 0 || index >= static_cast<int>(FVolumes.Volumes().size()))
        return {};
    return FVolumes.Volumes()[static_cast<std::size_t>(index)].MountPoint;
}

std::string TDriveComboBox::EntryText() const {
    const int index = currentIndex();
    if (index < 0 || index >= static_cast<int>(FVolumes.Volumes().size()))
        return {};
    return platform::VolumeEntryText(FVolumes.Volumes()[static_cast<std::size_t>(index)]);
}

bool TDriveComboBox::SelectDrive(const std::string& mountPoint) {
    const auto& all = FVolumes.Volumes();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].MountPoint == mountPoint) {
            setCurrentIndex(static_cast<int>(i));
            emit DriveChanged(ui::ToText(mountPoint));
            return true;
        }
    }
    return false;
}

} // namespace tavolix::app
