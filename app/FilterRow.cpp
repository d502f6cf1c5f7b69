#include "app/FilterRow.h"

#include "platform/FileFilter.h"
#include "thumbs/FileKinds.h"
#include "ui/NameText.h"
#include "ui/ReadableColours.h"
#include "words/CoreWords.h"

#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

namespace tavolix::app {

namespace {

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A size field shows a value it can't read in red as it is typed.
void MarkUnreadable(QLineEdit* edit) {
    const std::string text = ui::ToBytes(edit->text().trimmed());
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, text.empty() || platform::ParseSize(text)
                                         ? edit->parentWidget()->palette().color(QPalette::Text)
                                         : QColor(Qt::red));
    edit->setPalette(palette);
}

// A duration in seconds, or nothing for a date or a text it can't read.
std::optional<std::int64_t> DurationOf(const std::string& text) {
    if (text.empty() || platform::NamesADate(text))
        return std::nullopt;
    const std::optional<std::int64_t> point = platform::ParseTimePoint(text, 0);
    return point ? std::optional<std::int64_t>(-*point) : std::nullopt;
}

int WholeUnits(std::int64_t seconds, std::int64_t unit) {
    return static_cast<int>(std::clamp<std::int64_t>((seconds + unit - 1) / unit, 1, 99999));
}

} // namespace

TFilterRow::TFilterRow(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("FilterRow"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);

    KindButton = new QPushButton(this);
    KindButton->setObjectName(QStringLiteral("KindButton"));
    auto* kinds = new QMenu(KindButton);
    for (const thumbs::TKindGroup group : thumbs::kKindGroups) {
        QAction* item = kinds->addAction(ui::ToText(words::KindWord(thumbs::KindGroupName(group))));
        item->setCheckable(true);
        item->setData(ui::ToText(thumbs::KindGroupName(group)));
        connect(item, &QAction::toggled, this, [this] {
            ShowKinds();
            if (!FSetting)
                emit Changed();
        });
        KindItems.push_back(item);
    }
    KindButton->setMenu(kinds);
    KindButton->setToolTip(tr("ファイルの種類（ 拡張子で判断 ）を選びます。何も選ばない時は、全ての種類。"));
    row->addWidget(KindButton);

    row->addSpacing(8);
    row->addWidget(Caption(tr("サイズ"), this));
    const QString sizeTip =
        tr("バイト数。k、M、G （ 1000 倍ずつ ）や Ki、Mi、Gi （ 1024 倍ずつ ）を付けられます。"
           "例 ＝ 500k、10M、1Gi");
    for (QLineEdit** edit : {&MinSizeEdit, &MaxSizeEdit}) {
        *edit = new QLineEdit(this);
        (*edit)->setMaximumWidth(80);
        (*edit)->setPlaceholderText(tr("例 10M"));
        (*edit)->setToolTip(sizeTip);
        QLineEdit* e = *edit;
        connect(e, &QLineEdit::textChanged, this, [e] { MarkUnreadable(e); });
        connect(e, &QLineEdit::editingFinished, this, [this] { emit Changed(); });
        row->addWidget(e);
        row->addWidget(Caption(edit == &MinSizeEdit ? tr("以上") : tr("以下"), this));
    }
    MinSizeEdit->setObjectName(QStringLiteral("MinSizeEdit"));
    MaxSizeEdit->setObjectName(QStringLiteral("MaxSizeEdit"));

    row->addSpacing(8);
    row->addWidget(Caption(tr("更新日時"), this));
    ChangedCombo = new QComboBox(this);
    ChangedCombo->setObjectName(QStringLiteral("ChangedCombo"));
    ChangedCombo->addItems({tr("指定なし"), tr("最近 n 時間以内"), tr("最近 n 日以内"), tr("n 日以上前"),
                            tr("この日以降"), tr("この日より前")});
    row->addWidget(ChangedCombo);
    ChangedCount = new QSpinBox(this);
    ChangedCount->setObjectName(QStringLiteral("ChangedCount"));
    ChangedCount->setRange(1, 99999);
    ChangedCount->setValue(7);
    row->addWidget(ChangedCount);
    ChangedDate = new QDateEdit(QDate::currentDate(), this);
    ChangedDate->setObjectName(QStringLiteral("ChangedDate"));
    ChangedDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    ChangedDate->setCalendarPopup(true);
    ChangedDate->setToolTip(tr("その日の 0 時 （ この機械の時刻 ） が境目です。"));
    row->addWidget(ChangedDate);
    row->addStretch(1);
    connect(ChangedCombo, &QComboBox::currentIndexChanged, this, [this] {
        ShowChangedFields();
        if (!FSetting)
            emit Changed();
    });
    const auto changed = [this] {
        if (!FSetting)
            emit Changed();
    };
    connect(ChangedCount, &QSpinBox::valueChanged, this, changed);
    connect(ChangedDate, &QDateEdit::dateChanged, this, changed);
    ShowKinds();
    ShowChangedFields();
}

void TFilterRow::ShowKinds() {
    QStringList chosen;
    for (const QAction* item : KindItems)
        if (item->isChecked())
            chosen << item->text();
    KindButton->setText(tr("種類 ： %1").arg(chosen.isEmpty() ? tr("すべて") : chosen.join(tr("・"))));
}

void TFilterRow::ShowChangedFields() {
    const int mode = ChangedCombo->currentIndex();
    ChangedCount->setVisible(mode == WithinHours || mode == WithinDays || mode == OlderThanDays);
    ChangedDate->setVisible(mode == SinceDate || mode == BeforeDate);
}

settings::TFilterChoice TFilterRow::Choice() const {
    settings::TFilterChoice choice;
    for (const QAction* item : KindItems)
        if (item->isChecked())
            choice.Kinds.push_back(ui::ToBytes(item->data().toString()));
    choice.MinSize = ui::ToBytes(MinSizeEdit->text().trimmed());
    choice.MaxSize = ui::ToBytes(MaxSizeEdit->text().trimmed());
    const std::string count = std::to_string(ChangedCount->value());
    const std::string date = ui::ToBytes(ChangedDate->date().toString(QStringLiteral("yyyy-MM-dd")));
    switch (ChangedCombo->currentIndex()) {
    case WithinHours:
        choice.ChangedWithin = count + "h";
        break;
    case WithinDays:
        choice.ChangedWithin = count + "d";
        break;
    case OlderThanDays:
        choice.ChangedBefore = count + "d";
        break;
    case SinceDate:
        choice.ChangedWithin = date;
        break;
    case BeforeDate:
        choice.ChangedBefore = date;
        break;
    default:
        break;
    }
    return choice;
}

void TFilterRow::SetChoice(const settings::TFilterChoice& choice) {
    FSetting = true;
    for (QAction* item : KindItems)
        item->setChecked(std::find(choice.Kinds.begin(), choice.Kinds.end(),
                                   ui::ToBytes(item->data().toString())) != choice.Kinds.end());
    MinSizeEdit->setText(ui::ToText(choice.MinSize));
    MaxSizeEdit->setText(ui::ToText(choice.MaxSize));
    TChanged mode = AnyTime;
    const std::string& within = choice.ChangedWithin;
    const std::string& before = choice.ChangedBefore;
    const std::string& date = !within.empty() ? within : before;
    if (!date.empty() && platform::NamesADate(date)) {
        mode = !within.empty() ? SinceDate : BeforeDate;
        const QDate day = QDate::fromString(ui::ToText(date.substr(0, 10)), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            ChangedDate->setDate(day);
    } else if (const std::optional<std::int64_t> back = DurationOf(within)) {
        const bool hours = *back % kDay != 0;
        mode = hours ? WithinHours : WithinDays;
        ChangedCount->setValue(WholeUnits(*back, hours ? kHour : kDay));
    } else if (const std::optional<std::int64_t> ago = DurationOf(before)) {
        mode = OlderThanDays;
        ChangedCount->setValue(WholeUnits(*ago, kDay));
    }
    ChangedCombo->setCurrentIndex(mode);
    ShowChangedFields();
    FSetting = false;
}

} // namespace tavolix::app
