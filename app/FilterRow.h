#pragma once

#include "settings/FilterChoice.h"

#include <QFrame>

class QAction;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QSpinBox;
class QPushButton;

namespace tavolix::app {

// The filters under the key box: the kinds (a menu of check marks), the
// sizes at least and at most (in the grammar of tavolix-page's --size
// without its sign: "100k", "10M"), and the time of the last change: within
// the last N hours or days, more than N days ago, or since or before a date.
class TFilterRow : public QFrame {
    Q_OBJECT
public:
    explicit TFilterRow(QWidget* parent = nullptr);

    // What the row shows, as the settings file keeps it.
    settings::TFilterChoice Choice() const;
    // Shows a choice; a time it has no form for (a duration of other units
    // before, a date and time) shows as the nearest form it has.
    void SetChoice(const settings::TFilterChoice& choice);

    // The ways of giving the time of the last change, in the list's order.
    enum TChanged { AnyTime, WithinHours, WithinDays, OlderThanDays, SinceDate, BeforeDate };

    QPushButton* KindButton;
    std::vector<QAction*> KindItems; // in thumbs::kKindGroups' order
    QLineEdit* MinSizeEdit;
    QLineEdit* MaxSizeEdit;
    QComboBox* ChangedCombo;
    QSpinBox* ChangedCount;
    QDateEdit* ChangedDate;

signals:
    // The user changed something (not sent by SetChoice).
    void Changed();

private:
    void ShowKinds();
    void ShowChangedFields();

    bool FSetting = false;
};

} // namespace tavolix::app
