#pragma once

#include <string>
#include <vector>

#include <QObject>

class QAction;
class QComboBox;
class QEvent;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;
class QWidget;

namespace tavolix::app {

// The bar above the tree: the key box and its history, the search and save
// buttons, the label of the folder searched, and the quick keys' menu that
// fills the key box.
class TSearchBar : public QObject {
    Q_OBJECT
public:
    explicit TSearchBar(QObject* owner) : QObject(owner) {}
    QFrame* BuildPanel(QWidget* parent);
    QMenu* BuildQuickKeysMenu(QWidget* parent);

    std::string KeyText() const;
    // The key box's list; the typed text stays.
    void SetHistory(const std::vector<std::string>& history);
    // `history` followed by the list's other keys and `key`, the oldest
    // dropped past the history's length: what a run remembers when the file
    // can't.
    std::vector<std::string> HistoryWith(std::vector<std::string> history, const std::string& key) const;

    QFrame* Panel = nullptr;
    QComboBox* KeyBox = nullptr;
    QToolButton* FindButton = nullptr;
    QToolButton* SaveButton = nullptr;
    QLabel* DirLabel = nullptr;
    QMenu* QuickKeysMenu = nullptr;
    std::vector<QAction*> QuickKeys;

signals:
    // The search button, or Return or Enter in the key box.
    void FindAsked();
    void SaveAsked();
    void QuickKeyChosen(QAction* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QObject* FKeyLine = nullptr;
};

} // namespace tavolix::app
