#include "app/ShowCommand.h"
#include "app/StateDump.h"
#include "app/about.h"
#include "app/serfile.h"
#include "platform/ExecuteFile.h"
#include "platform/LeftBehind.h"
#include "ui/ActivationToken.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/UiFonts.h"
#include "words/Language.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>

int main(int argc, char* argv[]) {
    // Read before anything starts another program, which must not inherit it.
    const int showCmd = tavolix::app::TakeStartShowCommand();

    int exitCode = 0;
    {
        QApplication application(argc, argv);
        // The user's language, with the toolkit's own dialogs in it too.
        tavolix::words::InstallLanguage(tavolix::words::UserLanguage(), true);
        QApplication::setApplicationName(tavolix::ui::ApplicationTitle());
        QGuiApplication::setDesktopFileName(QStringLiteral(TAVOLIX_APP_ID));
        // A program opened from here takes the focus where the compositor
        // decides it (Wayland) when it brings a token.
        tavolix::platform::SetLaunchEnvironment([]() -> std::vector<std::string> {
            const QString token = tavolix::ui::NewActivationToken();
            if (token.isEmpty())
                return {};
            return {"XDG_ACTIVATION_TOKEN=" + token.toStdString()};
        });
        tavolix::ui::InstallFontSubstitutes();
        QApplication::setStyle(new tavolix::ui::TTavolixStyle);
        application.installEventFilter(new tavolix::ui::TTooltipTimeFilter(&application));

        tavolix::app::TMDIForm frame;
        tavolix::app::TAboutBox aboutBox(&frame);
        frame.SetAboutBox(&aboutBox);
        // For scripts that drive the program with real input (tests/desktop).
        if (const char* file = std::getenv("TAVOLIX_STATE_FILE"); file && *file)
            new tavolix::app::TStateDump(frame, QString::fromLocal8Bit(file));

        switch (tavolix::app::StartStateFromShowCmd(showCmd)) {
        case tavolix::app::TStartState::Minimized:
            frame.showMinimized();
            break;
        case tavolix::app::TStartState::Maximized:
            frame.showMaximized();
            break;
        case tavolix::app::TStartState::Normal:
            if (frame.StartsMaximized())
                frame.showMaximized();
            else
                frame.show();
            break;
        }
        exitCode = application.exec();
    } // every window gone, the display's connection closed
    // A thread left behind (a walk, a picture's file, a page) on a share
    // that stopped answering is still in the kernel: the exit handlers would
    // run under it. Nothing is left to save (every change reached the
    // settings file when it was made), so the process leaves at once; it
    // ends when the kernel hands the thread back.
    if (tavolix::platform::ThreadsLeftBehind() > 0) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
