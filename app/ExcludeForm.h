#pragma once

#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tavolix::app {

// The folders a search leaves out: one pattern a line, in the key's wildcard
// rule. OK is refused, with a box that says why, for patterns the settings
// file can't hold.
class TExcludeForm : public QDialog {
    Q_OBJECT
public:
    explicit TExcludeForm(const std::vector<std::string>& patterns, QWidget* parent = nullptr);

    // The patterns as edited: blanks around each and empty lines dropped.
    std::vector<std::string> Patterns() const;

    QLabel* Label1;
    QPlainTextEdit* Memo1;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButtonClick();
};

} // namespace tavolix::app
