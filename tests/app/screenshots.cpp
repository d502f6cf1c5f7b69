// Puts the real frame through a short session over a folder and saves what
// it shows: the frame with two result windows, a result window of pictures,
// and the page it writes. For the README; run it under Xvfb with
// scripts/screenshots.sh.
#include "app/serfile.h"
#include "dirtree/DirTVS.h"
#include "platform/ExecuteFile.h"
#include "results/findf.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/UiFonts.h"

#include <cstdio>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

using namespace tavolix;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tavolix_screenshots OUTDIR TREE\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string tree = argv[2];
    QDir().mkpath(out + QStringLiteral("/page"));
    QApplication::setApplicationName(ui::ApplicationTitle());
    ui::InstallFontSubstitutes();
    QApplication::setStyle(new ui::TTavolixStyle);

    // Nobody is there to answer: every box takes No or OK, nothing is started.
    ui::TMessageBoxSeam::SetHandler([](const ui::TShownMessage& shown) {
        return shown.Buttons & ui::mbNo ? ui::TMessageResult::mrNo : ui::TMessageResult::mrOK;
    });
    platform::SetFileOpener([](const platform::TOpenRequest&) {});
    results::TMDIChild::SetSaveFileNameProvider(
        [out](QWidget*, const QString&) { return out + QStringLiteral("/page/index.html"); });

    app::TMDIForm frame((out + QStringLiteral("/TAVOLIX.INI")).toStdString());
    frame.resize(1100, 720);
    frame.DirectoryListBox2->SetDrive(tree);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        return 1;

    auto search = [&](const char* key) {
        frame.KeyWordEditCB->setEditText(QString::fromUtf8(key));
        frame.SearchFind1Click();
        (void)QTest::qWaitFor([&] {
            for (results::TMDIChild* child : frame.ResultWindows())
                if (child->Searching())
                    return false;
            return true;
        });
        QTest::qWait(300); // let the windows paint their items
    };
    search("*.*");
    search("*.bmp");
    frame.Tile1Click();
    QTest::qWait(500);
    frame.grab().save(out + QStringLiteral("/frame.png"));

    QMdiSubWindow* pictures = frame.MDIArea->activeSubWindow();
    pictures->showMaximized();
    QTest::qWait(500);
    frame.grab().save(out + QStringLiteral("/pictures.png"));

    // The page of the first search: every kind of file, GIF and JPEG inline.
    pictures->showNormal();
    frame.MDIArea->activateNextSubWindow();
    QTest::qWait(200);
    frame.SaveFileMSBClick();
    return 0;
}
