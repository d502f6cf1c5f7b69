#include "app/ShowCommand.h"
#include "app/about.h"
#include "app/serfile.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/UiFonts.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Read before anything starts another program, which must not inherit it.
    const int showCmd = tavolix::app::TakeStartShowCommand();

    QApplication application(argc, argv);
    QApplication::setApplicationName(tavolix::ui::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVOLIX_APP_ID));
    tavolix::ui::InstallFontSubstitutes();
    QApplication::setStyle(new tavolix::ui::TTavolixStyle);
    application.installEventFilter(new tavolix::ui::TTooltipTimeFilter(&application));

    tavolix::app::TMDIForm frame;
    tavolix::app::TAboutBox aboutBox(&frame);
    frame.SetAboutBox(&aboutBox);

    switch (tavolix::app::StartStateFromShowCmd(showCmd)) {
    case tavolix::app::TStartState::Minimized:
        frame.showMinimized();
        break;
    case tavolix::app::TStartState::Maximized:
        frame.showMaximized();
        break;
    case tavolix::app::TStartState::Normal:
        frame.show();
        break;
    }
    return application.exec();
}
