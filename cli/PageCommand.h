#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tavolix::cli {

// tavolix-page: the search (and later the page writer) without windows.
// Returns the exit code: 0 with hits, 1 with none, 2 on bad usage or a base
// directory (--saved: a settings file) that can't be read, 3 when the page
// could not be written, 4 when folders below the base could not be read in
// full (named on `err`). `outIsTerminal`: `out` is read by a person, so the
// lines of hits and saved pages show control characters in names as escapes
// (--null, --csv, --json stay exact).
int RunPageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool outIsTerminal = false);

// Threads of the command left behind (a walk, a look at the base directory,
// a picture's file) that have not ended: some may be stuck in the kernel on
// a share that stopped answering.
bool ThreadsLeftBehind();

} // namespace tavolix::cli
