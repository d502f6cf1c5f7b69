#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tavolix::app {

// The version box: program icon, name, version and a description above one
// OK button. Fixed size, centred on the screen each time it is shown.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QPushButton* OKButton() const { return FOKButton; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CenterOnScreen();

    QFrame* FPanel1;
    QLabel* FProgramIcon;
    QLabel* FProductName;
    QLabel* FVersion;
    QLabel* FComments;
    QPushButton* FOKButton;
};

} // namespace tavolix::app
