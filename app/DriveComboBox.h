#pragma once

#include "platform/Volumes.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QComboBox>

namespace tavolix::app {

// The volume selector: the user's home folder first, then one entry per
// volume a person knows as a drive (IsShownAsDrive; the volume of the
// current directory always), in the mount table's order, as VolumeEntryText
// writes it. Emits DriveChanged with the mount point (the home folder's
// path for its entry) whenever the
// user picks another entry; the owner asks for the first one itself. The
// mount table is read again each time the list opens. The wheel chooses
// only while the selector has the focus, as the keys do.
class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);

    // Fills the list and selects the entry whose folder holds `currentDir`
    // most closely: the home folder or a volume (the first entry when none
    // does). Emits nothing. `home` is the user's home folder (default:
    // $HOME); it has no entry when empty or "/".
    void SetVolumes(const platform::TMountTable& volumes, const std::string& currentDir,
                    std::optional<std::string> home = std::nullopt);
    const platform::TMountTable& Volumes() const { return FVolumes; }

    // The chosen volume's mount point (or home folder), or empty with no entries.
    std::string Drive() const;
    // The chosen entry's text as bytes. The home folder's entry is no share:
    // a page then links its files relative to itself.
    std::string EntryText() const;
    bool HomeChosen() const { return FHomeEntry && currentIndex() == 0; }
    // Selects the entry of the volume mounted at `mountPoint`; false when absent.
    bool SelectDrive(const std::string& mountPoint);
    // Where the list's mount table comes from when it opens (the system's by
    // default; an empty function restores it).
    void SetTableSource(std::function<platform::TMountTable()> source);

    void showPopup() override;

signals:
    void DriveChanged(const QString& mountPoint);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    const platform::TVolume* EntryVolume(int index) const;

    platform::TMountTable FVolumes;
    std::vector<std::size_t> FShown; // entry -> index in FVolumes
    std::string FHome;
    bool FHomeEntry = false; // entry 0 is the home folder
    std::function<platform::TMountTable()> FTableSource;
};

} // namespace tavolix::app
