#include "ui/MessageBoxes.h"

#include <deque>
#include <memory>
#include <utility>

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>

namespace tavolix::ui {

namespace {

struct TButtonInfo {
    TMessageButton Button;
    QMessageBox::StandardButton Standard;
    const char* Caption;
    TMessageResult Result;
};

const TButtonInfo kButtons[] = {
    {mbYes, QMessageBox::Yes, QT_TRANSLATE_NOOP("MessageBoxes", "はい(&Y)"), TMessageResult::mrYes},
    {mbNo, QMessageBox::No, QT_TRANSLATE_NOOP("MessageBoxes", "いいえ(&N)"), TMessageResult::mrNo},
    {mbOK, QMessageBox::Ok, QT_TRANSLATE_NOOP("MessageBoxes", "OK"), TMessageResult::mrOK},
    {mbCancel, QMessageBox::Cancel, QT_TRANSLATE_NOOP("MessageBoxes", "ｷｬﾝｾﾙ"), TMessageResult::mrCancel},
};

TMessageResult ResultOfButton(TMessageButton button) {
    for (const TButtonInfo& info : kButtons) {
        if (info.Button == button) {
            return info.Result;
        }
    }
    return TMessageResult::mrNone;
}

QString Words(const char* source) {
    return QCoreApplication::translate("MessageBoxes", source);
}

TButtons EffectiveButtons(TButtons buttons) {
    return buttons ? buttons : TButtons(mbOK);
}

struct TSeamState {
    bool Active = false;
    TMessageBoxSeam::THandler Handler;
    std::deque<TMessageResult> Answers;
    std::vector<TShownMessage> Shown;
};

TSeamState& Seam() {
    static TSeamState state;
    return state;
}

} // namespace

QString ApplicationTitle() {
    return QCoreApplication::translate("MessageBoxes", "Tavolix ヌバロ");
}

QString MessageTitle(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Warning:
        return QCoreApplication::translate("MessageBoxes", "警告");
    case TMessageKind::Error:
        return QCoreApplication::translate("MessageBoxes", "ｴﾗｰ");
    case TMessageKind::Information:
        return QCoreApplication::translate("MessageBoxes", "情報");
    case TMessageKind::Confirmation:
        return QCoreApplication::translate("MessageBoxes", "確認");
    case TMessageKind::Plain:
        break;
    }
    return ApplicationTitle();
}

QString ButtonText(TMessageButton button) {
    for (const TButtonInfo& info : kButtons)
        if (info.Button == button)
            return Words(info.Caption);
    return {};
}

QMessageBox::Icon MessageIcon(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Warning:
        return QMessageBox::Warning;
    case TMessageKind::Error:
        return QMessageBox::Critical;
    case TMessageKind::Information:
        return QMessageBox::Information;
    case TMessageKind::Confirmation:
        return QMessageBox::Question;
    case TMessageKind::Plain:
        break;
    }
    return QMessageBox::NoIcon;
}

TMessageButton DefaultButton(TButtons buttons) {
    if (buttons & mbOK) {
        return mbOK;
    }
    return buttons & mbYes ? mbYes : mbNone;
}

TMessageButton EscapeButton(TButtons buttons) {
    for (TMessageButton b : {mbCancel, mbNo, mbOK}) {
        if (buttons & b) {
            return b;
        }
    }
    // A sole Yes answers Escape too, as a one-button box does.
    return buttons & mbYes ? mbYes : mbNone;
}

TMessageResult EscapeResult(TButtons buttons) {
    return ResultOfButton(EscapeButton(buttons));
}

QString DisplayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QMessageBox* BuildMessageBox(QWidget* parent, TMessageKind kind, const QString& text, TButtons buttons) {
    buttons = EffectiveButtons(buttons);
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(MessageTitle(kind));
    box->setIcon(MessageIcon(kind));
    box->setTextFormat(Qt::PlainText);
    box->setText(DisplayText(text));
    TMessageButton def = DefaultButton(buttons);
    TMessageButton esc = EscapeButton(buttons);
    for (const TButtonInfo& info : kButtons) {
        if (!(buttons & info.Button)) {
            continue;
        }
        QPushButton* button = box->addButton(info.Standard);
        button->setText(ButtonText(info.Button));
        if (info.Button == def) {
            box->setDefaultButton(button);
        }
        if (info.Button == esc) {
            box->setEscapeButton(button);
        }
    }
    return box;
}

TMessageResult ResultOf(const QMessageBox& box, const QAbstractButton* clicked) {
    if (!clicked) {
        return TMessageResult::mrNone;
    }
    QMessageBox::StandardButton standard = box.standardButton(const_cast<QAbstractButton*>(clicked));
    for (const TButtonInfo& info : kButtons) {
        if (info.Standard == standard) {
            return info.Result;
        }
    }
    return TMessageResult::mrNone;
}

namespace {

class TCloseWatch : public QObject {
public:
    bool Closed = false;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Close)
            Closed = true;
        return false;
    }
};

} // namespace

TMessageResult ShowMessageBox(QWidget* parent, TMessageKind kind, const QString& text, TButtons buttons) {
    buttons = EffectiveButtons(buttons);
    if (TMessageBoxSeam::Active()) {
        return TMessageBoxSeam::Answer({kind, MessageTitle(kind), text, buttons});
    }
    std::unique_ptr<QMessageBox> box(BuildMessageBox(parent, kind, text, buttons));
    // A box closed by its title bar (or by the system) answers none of its
    // buttons; QMessageBox would report its escape button.
    TCloseWatch watch;
    box->installEventFilter(&watch);
    box->exec();
    if (watch.Closed)
        return TMessageResult::mrNone;
    return ResultOf(*box, box->clickedButton());
}

void TMessageBoxSeam::SetHandler(THandler handler) {
    Seam().Active = true;
    Seam().Handler = std::move(handler);
}

void TMessageBoxSeam::SetNextAnswers(std::vector<TMessageResult> answers) {
    Seam().Active = true;
    Seam().Answers.assign(answers.begin(), answers.end());
}

const std::vector<TShownMessage>& TMessageBoxSeam::Shown() {
    return Seam().Shown;
}

bool TMessageBoxSeam::Active() {
    return Seam().Active;
}

void TMessageBoxSeam::Reset() {
    Seam() = TSeamState();
}

TMessageResult TMessageBoxSeam::Answer(const TShownMessage& shown) {
    TSeamState& seam = Seam();
    seam.Shown.push_back(shown);
    if (seam.Handler) {
        return seam.Handler(shown);
    }
    if (!seam.Answers.empty()) {
        TMessageResult answer = seam.Answers.front();
        seam.Answers.pop_front();
        return answer;
    }
    return ResultOfButton(DefaultButton(shown.Buttons));
}

} // namespace tavolix::ui
