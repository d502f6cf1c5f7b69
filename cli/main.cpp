#include "cli/PageCommand.h"

#include <clocale>
#include <ctime>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tzset();
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return tavolix::cli::RunPageCommand(args, std::cout, std::cerr, isatty(STDOUT_FILENO) == 1);
}
