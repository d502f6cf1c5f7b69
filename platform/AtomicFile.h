#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>

namespace tavolix::platform {

// A failed file operation: the file it concerned and the system's reason.
struct TIoError {
    TIoError() = default;
    TIoError(std::string path, int errnum, std::string reason = {})
        : Path(std::move(path)), Errno(errnum), Reason(std::move(reason)) {}

    std::string Path;
    int Errno = 0;
    std::string Reason; // when set, says more than Errno can ("not a regular file")
    // Reason, else strerror of Errno in the process's locale.
    std::string SystemText() const;
};

using TIoResult = std::optional<TIoError>; // empty: success

// Replaces `path` with `bytes` so that readers see either the old file or the
// complete new one, never a part: a temporary file in the same folder is
// written, flushed to disk and renamed over the target. A symlink at `path` is
// followed (its target is replaced). An existing file keeps its permissions; a
// new one gets 0666 less the umask. On failure the temporary file is removed
// and the old file is left as it was. Refused (nothing written): a target that
// is no regular file (EINVAL), and one whose owner lacks write permission, the
// read-only attribute here, whoever asks, root included (EACCES).
// Temporary files that writers killed before their rename left in the
// folder (".tavolix-PID-N.tmp" of a process that is gone) are removed first.
TIoResult WriteFileAtomic(const std::string& path, std::string_view bytes);

// The file WriteFileAtomic replaces for `path`: a symlink's target, else `path`.
std::string ReplacedFileOf(const std::string& path);

// Reads a whole file. A missing file gives an error with ENOENT.
TIoResult ReadWholeFile(const std::string& path, std::string& out);

// Reads a whole regular file of at most `limit` bytes without ever blocking:
// a FIFO, a device or a directory is refused (EINVAL), a bigger file too
// (EFBIG), each with its reason. A missing file gives ENOENT.
TIoResult ReadRegularFile(const std::string& path, std::string& out, std::size_t limit);

// Creates the parent folders of `path` that are missing (mode 0700).
TIoResult MakeParentDirectories(const std::string& path);

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes; false with errno set when the system refuses.
bool WriteAllBytes(int fd, std::string_view bytes);

// The folder that holds `path`: "." for a bare name, "/" for the root's files.
std::string FolderOf(const std::string& path);

// The process that named a temporary ".tavolix-PID-N<suffix>", or 0 when
// `name` is not of that form.
pid_t TemporaryOwner(std::string_view name, std::string_view suffix);

} // namespace tavolix::platform
