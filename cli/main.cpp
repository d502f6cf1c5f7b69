#include "cli/PageCommand.h"
#include "cli/Worker.h"
#include "words/Language.h"

#include <clocale>
#include <ctime>
#include <iostream>
#include <unistd.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    // Before any thread: the caller waits for a process that none can hold.
    tavolix::cli::BecomeWorker();
    std::setlocale(LC_ALL, "");
    tzset();
    std::ios::sync_with_stdio(false);
    // Taken before the application could read any of them as its own.
    std::vector<std::string> args(argv + 1, argv + argc);
    // The catalogue of the user's language hangs on the application.
    QCoreApplication application(argc, argv);
    tavolix::words::InstallLanguage(tavolix::words::UserLanguage());
    const int code = tavolix::cli::RunPageCommand(args, std::cout, std::cerr, isatty(STDOUT_FILENO) == 1);
    return tavolix::cli::EndWorker(code, tavolix::cli::ThreadsLeftBehind());
}
