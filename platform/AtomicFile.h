#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolix::platform {

// A failed file operation: the file it concerned and the system's reason.
struct TIoError {
    std::string Path;
    int Errno = 0;
    // strerror of Errno, in the process's locale.
    std::string SystemText() const;
};

using TIoResult = std::optional<TIoError>; // empty: success

// Replaces `path` with `bytes` so that readers see either the old file or the
// complete new one, never a part: a temporary file in the same folder is
// written, flushed to disk and renamed over the target. A symlink at `path` is
// followed (its target is replaced). An existing file keeps its permissions; a
// new one gets 0666 less the umask. On failure the temporary file is removed
// and the old file is left as it was.
TIoResult WriteFileAtomic(const std::string& path, std::string_view bytes);

// Reads a whole file. A missing file gives an error with ENOENT.
TIoResult ReadWholeFile(const std::string& path, std::string& out);

// Creates the parent folders of `path` that are missing (mode 0700).
TIoResult MakeParentDirectories(const std::string& path);

} // namespace tavolix::platform
