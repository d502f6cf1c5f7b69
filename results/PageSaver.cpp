#include "results/PageSaver.h"

#include "hitview/FLBoxS.h"
#include "pages/PageInput.h"
#include "pages/PageThumbnails.h"
#include "pages/PathFunctions.h"
#include "platform/DateTimeText.h"
#include "platform/ExecuteFile.h"
#include "platform/LeftBehind.h"
#include "platform/Volumes.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "ui/WaitCursor.h"
#include "words/CoreWords.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <utility>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QTimer>

namespace tavolix::results {

namespace {
platform::TLeftBehindCount gWritersRunning;
} // namespace

using ui::ShowMessageBox;
using ui::TMessageKind;

namespace {

TPageSaver::TSaveFileNameProvider& SaveFileNameProvider() {
    static TPageSaver::TSaveFileNameProvider provider;
    return provider;
}

QString AskSaveFileName(QWidget* parent, const QString& lastName) {
    if (SaveFileNameProvider())
        return SaveFileNameProvider()(parent, lastName);
    // The dialog asks before an existing file is replaced.
    return QFileDialog::getSaveFileName(parent, QString(), lastName,
                                        QStringLiteral("HTML (*.html *.htm);;*.* (*)"));
}

} // namespace

struct TPageSaver::TRun {
    pages::TPageProgress Progress;
    std::unique_ptr<pages::TThumbnailPageWriter> Writer;
    platform::TIoResult Result; // set before Finished
    std::atomic<bool> Finished{false};
};

TPageSaver::TPageSaver(TResultWindowHost& host, QWidget* window)
    : QObject(window), FHost(host), FWindow(window) {
}

TPageSaver::~TPageSaver() = default;

void TPageSaver::SetSaveFileNameProvider(TSaveFileNameProvider provider) {
    SaveFileNameProvider() = std::move(provider);
}

bool TPageSaver::Save(const TPageSource& source) {
    // One page at a time: the frame's save button may ask while one is written.
    if (FRun || !source.Items)
        return false;
    const QString chosen = AskSaveFileName(FWindow, FLastSaveName);
    if (chosen.isEmpty())
        return false;
    FLastSaveName = chosen;
    const std::string page = pages::PageFileName(ui::ToBytes(chosen));

    ui::TWaitCursor wait;
    const std::string creation = platform::LocalDateTimeText(std::time(nullptr));
    pages::TPageInput input = pages::MakePageInput(
        *source.Items, page, source.BaseDir, source.Key, source.TotalSize, FHost.IsNetworkDriveSelected(),
        platform::TMountTable::System(), creation, words::PageTexts());
    const auto record = pages::PageRecord(input);
    QPointer<TPageSaver> self(this);
    const platform::TIoResult error = WriteOffThread(std::move(input), source.Thumbnails);
    if (!self)
        return false;
    // Stopped: the old page stays, and the user knows.
    if (error && error->Errno == ECANCELED)
        return FStopRequested;
    if (error) {
        wait.Release();
        ShowMessageBox(
            FWindow, TMessageKind::Error,
            QCoreApplication::translate("tavolix::results::TMDIChild", "%1 に書き込めません\r\n\r\n%2")
                .arg(ui::ToText(error->Path), ui::ToText(error->SystemText())),
            ui::mbOK);
        return false;
    }
    const QString registerError = FHost.RegisterSavedPage(record);
    wait.Release();
    // Written as the window was closed: no questions asked.
    if (FStopRequested)
        return true;
    if (!registerError.isEmpty()) {
        ShowMessageBox(FWindow, TMessageKind::Error, registerError, ui::mbOK);
        return false;
    }
    OfferToOpen(page);
    return false;
}

void TPageSaver::OfferToOpen(const std::string& page) {
    const QString name = ui::ToText(pages::NamePart(page));
    const ui::TMessageResult answer = ShowMessageBox(
        FWindow, TMessageKind::Confirmation,
        QCoreApplication::translate("tavolix::results::TMDIChild",
                                    "作成した %1 ファイルを、\r\n\r\n直ちにブラウザで閲覧しますか ? ")
            .arg(name),
        ui::mbYes | ui::mbNo);
    if (answer == ui::TMessageResult::mrYes)
        platform::ExecuteFile(page, "", pages::FileFolder(page), 1);
    else
        ShowMessageBox(FWindow, TMessageKind::Information,
                       QCoreApplication::translate(
                           "tavolix::results::TMDIChild",
                           "後で、閲覧する場合は、\r\nメニューバーの「 作成データ（Ｄ）」から、\r\n"
                           "%1 ファイルを選択して下さい。\r\n\r\nまた、エクスプローラから、作成ファイルを\r\n"
                           "ダブルクリックしての閲覧も可能です。")
                           .arg(name),
                       ui::mbOK);
}

int TPageSaver::WritersRunning() {
    return gWritersRunning.Value();
}

platform::TIoResult TPageSaver::WriteOffThread(pages::TPageInput input, bool thumbnails) {
    const std::string pageFile = input.PageFileName;
    auto run = std::make_shared<TRun>();
    if (thumbnails) {
        thumbs::TThumbnailPool* pool = FHost.ThumbnailPool();
        if (!pool || !pool->Available())
            return platform::TIoError{pageFile, ENOENT,
                                      "the picture helper tavolix-thumbnailer is not installed"};
        run->Writer = std::make_unique<pages::TThumbnailPageWriter>(*pool);
    }
    // The thread holds all it needs: a writer stuck on a share that stopped
    // answering is left behind.
    auto held = std::make_shared<pages::TPageInput>(std::move(input));
    const bool started = platform::StartLeftBehind(
        [run, held] {
            pages::TPageInput page = std::move(*held);
            run->Result =
                run->Writer ? run->Writer->Write(std::move(page), run->Progress) : pages::WritePage(page);
            run->Finished = true;
        },
        &gWritersRunning);
    if (!started)
        return platform::TIoError{pageFile, EAGAIN};

    FRun = run;
    QPointer<TPageSaver> self(this);
    QPointer<hitview::TSearchProgressForm> form;
    QElapsedTimer clock;
    clock.start();
    qint64 stopAt = -1;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(30);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (run->Finished) {
            loop.quit();
            return;
        }
        // A page without thumbnails shows the window only when its disk is slow.
        if (self && !form && (thumbnails || clock.elapsed() > 300)) {
            form = new hitview::TSearchProgressForm(FWindow);
            form->setWindowTitle(QCoreApplication::translate(
                "tavolix::results::TMDIChild", "ＨＴＭＬを作成しています。しばらくお待ち下さい。"));
            form->show();
        }
        if (form) {
            // The picture being made and the count; else the page itself.
            form->ShowEntry(thumbnails ? run->Progress.Current() : pageFile, run->Progress.Done());
            form->nnn->setText(QCoreApplication::translate("tavolix::results::TMDIChild", "作成数 ： %1 / %2")
                                   .arg(run->Progress.Done())
                                   .arg(run->Progress.Total()));
            form->nnn->resize(form->nnn->sizeHint());
            form->nnn->setVisible(thumbnails);
        }
        if (stopAt < 0 && (!self || FStopRequested || (form && form->StopRequested()))) {
            run->Progress.Stop();
            stopAt = clock.elapsed();
        }
        if (stopAt >= 0 && clock.elapsed() - stopAt > 500)
            loop.quit();
    });
    tick.start();
    loop.exec();
    if (form) {
        form->hide();
        delete form.data();
    }
    if (!self)
        return platform::TIoError{pageFile, ECANCELED, "stopped"};
    FRun.reset();
    if (!run->Finished)
        return platform::TIoError{pageFile, ECANCELED, "stopped"};
    return run->Result;
}

} // namespace tavolix::results
