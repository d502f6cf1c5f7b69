#include "hitview/SearchProgressForm.h"

#include "ui/NameText.h"
#include "ui/ScreenMetrics.h"
#include "ui/UiFonts.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>

namespace tavolix::hitview {

namespace {

QFont ProgressFont(const QString& family, int pixels, bool fixedPitch) {
    QFont f(family);
    f.setPixelSize(pixels);
    f.setFixedPitch(fixedPitch);
    f.setStyleHint(fixedPitch ? QFont::TypeWriter : QFont::AnyStyle);
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}

// Labels size themselves to their text, on one line.
void SetAutoSizedText(QLabel* label, const QString& text) {
    label->setText(text);
    label->resize(label->sizeHint());
}

QLabel* MakeLabel(QWidget* parent, const QRect& geometry, const QFont& font, const QColor& color) {
    auto* label = new QLabel(parent);
    label->setGeometry(geometry);
    label->setFont(font);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    label->setTextFormat(Qt::PlainText); // file names may hold "<"
    label->setWordWrap(false);
    SetAutoSizedText(label, QStringLiteral("Select"));
    return label;
}

} // namespace

TSearchProgressForm::TSearchProgressForm(QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    ui::InstallFontSubstitutes();
    setWindowTitle(tr("一生懸命検索しています。しばらくお待ち下さい。"));
    const QRect screen = ui::ScreenGeometry();
    const int w = screen.width() / 2;
    const int h = screen.height() / 4;
    setFixedSize(w, h);
    move(screen.x() + (screen.width() - w) / 2, screen.y() + (screen.height() - h) / 2);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0, 255, 255));
    setPalette(p);
    setAutoFillBackground(true);

    kkk = MakeLabel(this, QRect(12, h / 3, 200, 16), ProgressFont(QString::fromUtf8(ui::kPGothic), 14, false),
                    QColor(0, 0, 255));
    nnn = MakeLabel(this, QRect(30, h * 2 / 3, 43, 16),
                    ProgressFont(QString::fromUtf8(ui::kGothic), 16, true), QColor(255, 0, 0));
}

void TSearchProgressForm::closeEvent(QCloseEvent* e) {
    FStopRequested = true;
    QWidget::closeEvent(e);
}

void TSearchProgressForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TSearchProgressForm::ShowEntry(std::string_view path, std::int64_t fileCount) {
    SetAutoSizedText(kkk, ui::ToVisibleText(path));
    SetAutoSizedText(nnn, tr("集計数 ： %1").arg(fileCount));
    ++FEntriesShown;
}

TProgressRelay::TProgressRelay(std::function<bool()> over, search::TFileInfoList& files,
                               search::TSearchJob& job, TSearchProgressForm* form, int intervalMs,
                               std::function<std::int64_t()> clockMs, std::function<void()> step)
    : FOver(std::move(over)), FFiles(files), FJob(job), FForm(form), FIntervalMs(intervalMs),
      FClock(std::move(clockMs)), FStep(std::move(step)) {
    if (!FClock) {
        FTimer.start();
        FClock = [this] { return FTimer.elapsed(); };
    }
    FLastShown = FClock();
}

bool TProgressRelay::Tick() {
    if (FOver() || (FForm && FForm->StopRequested()))
        return false;
    FJob.TakeRecords(FFiles);
    if (FJob.Ended())
        return false;
    if (FForm) {
        const std::int64_t now = FClock();
        if (now - FLastShown >= FIntervalMs) {
            const search::TSearchJob::TProgress p = FJob.Progress();
            FForm->ShowEntry(p.Path, p.FileCount);
            FLastShown = now;
        }
    }
    FStep();
    // The step may have taken the window away.
    return !FOver();
}

} // namespace tavolix::hitview
