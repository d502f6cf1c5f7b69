#pragma once

#include <functional>
#include <vector>

#include <QFlags>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace tavolix::ui {

// The application title: the task bar's and the plain boxes' title.
QString ApplicationTitle();

enum class TMessageKind { Warning, Error, Information, Confirmation, Plain };

enum TMessageButton { mbNone = 0, mbYes = 0x1, mbNo = 0x2, mbOK = 0x4, mbCancel = 0x8 };
Q_DECLARE_FLAGS(TButtons, TMessageButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(TButtons)

// mrNone: the box went without any of its buttons being chosen.
enum class TMessageResult { mrNone, mrYes, mrNo, mrOK, mrCancel };

QString MessageTitle(TMessageKind kind);
// A button's caption, for the boxes and the program's other dialogs alike.
QString ButtonText(TMessageButton button);
QMessageBox::Icon MessageIcon(TMessageKind kind);
// OK if present, otherwise Yes, otherwise mbNone.
TMessageButton DefaultButton(TButtons buttons);
// Cancel if present, otherwise No, otherwise OK; a sole Yes (a box of one
// button) answers Escape itself.
TMessageButton EscapeButton(TButtons buttons);
// The answer Escape gives: the escape button's, or mrNone.
TMessageResult EscapeResult(TButtons buttons);
// Core texts break lines with CR LF; the box wants LF.
QString DisplayText(const QString& text);

// The box, ready to run, not shown; the caller owns it. Its text is plain
// (never read as HTML, whatever a file name in it looks like).
QMessageBox* BuildMessageBox(QWidget* parent, TMessageKind kind, const QString& text, TButtons buttons);
// Which answer a clicked button of a built box stands for.
TMessageResult ResultOf(const QMessageBox& box, const QAbstractButton* clicked);

// Shows the box modally and returns the answer. An empty button set gets OK.
TMessageResult ShowMessageBox(QWidget* parent, TMessageKind kind, const QString& text, TButtons buttons);

// One box as the program asked for it; Text as given (CR LF kept).
struct TShownMessage {
    TMessageKind Kind;
    QString Title;
    QString Text;
    TButtons Buttons;
};

// Answers boxes without a person, for tests. While active, ShowMessageBox
// shows nothing: it records the box, then answers with the handler's result,
// else the next queued answer, else the box's default button (as Enter).
class TMessageBoxSeam {
public:
    using THandler = std::function<TMessageResult(const TShownMessage&)>;
    static void SetHandler(THandler handler);
    static void SetNextAnswers(std::vector<TMessageResult> answers);
    static const std::vector<TShownMessage>& Shown();
    static bool Active();
    // Back to real boxes; forgets the record.
    static void Reset();
    // Used by ShowMessageBox.
    static TMessageResult Answer(const TShownMessage& shown);
};

} // namespace tavolix::ui
