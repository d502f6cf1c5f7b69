#pragma once

#include "thumbs/Protocol.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tavolix::app {

// The version box: program icon, name, version and a description above one
// OK button, and a line when the picture helper runs without its full
// sandbox. Fixed size, centred on the screen each time it is shown.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QPushButton* OKButton() const { return FOKButton; }
    // Says what the helper's sandbox lacks, if anything.
    void ShowSandbox(const thumbs::TSandboxState& sandbox);
    // That line ("" when the sandbox is whole).
    QString SandboxText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CenterOnScreen();
    void LayOut();

    QFrame* FPanel1;
    QLabel* FProgramIcon;
    QLabel* FProductName;
    QLabel* FVersion;
    QLabel* FComments;
    QLabel* FSandbox;
    QPushButton* FOKButton;
};

} // namespace tavolix::app
