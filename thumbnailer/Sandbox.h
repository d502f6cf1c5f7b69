#pragma once

#include "thumbs/Protocol.h"

#include <string>
#include <vector>

namespace tavolix::thumbnailer {

// What the picture helper's decoders may still read once it has given up the
// rest: hierarchies opened read-only (the toolkit's plugins, fonts).
struct TSandboxOptions {
    std::vector<std::string> ReadOnly;
};

// Closes this process (and every thread and child it makes from now on) to
// the file system but for system files read-only, to the network, to other
// processes and to programs. Irreversible. Call it before the first thread
// and the first hostile byte; what could not be set up is in the state.
thumbs::TSandboxState EnterSandbox(const TSandboxOptions& options);

// What EnterSandbox would set up in this kernel, changing nothing.
thumbs::TSandboxState ProbeSandbox();

} // namespace tavolix::thumbnailer
