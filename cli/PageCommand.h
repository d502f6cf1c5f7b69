#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tavolix::cli {

// tavolix-page: the search (and later the page writer) without windows.
// Returns the exit code: 0 with hits, 1 with none, 2 on bad usage or a base
// directory that can't be read, 3 when the page could not be written, 4 when
// folders below the base could not be read in full (named on `err`).
int RunPageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace tavolix::cli
