#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tavolix::thumbs {

// Other programs' thumbnailers, as the desktop registers them
// (/usr/share/thumbnailers/*.thumbnailer), for files the table of file kinds
// has no decoder of ours for: fonts, office files, books. Each runs in
// bubblewrap, seeing /usr, the one file (read-only) and a folder for its
// PNG, with no network; the picture helper then reads the PNG.

// One "[Thumbnailer Entry]": the program and the MIME types it takes.
struct TThumbnailerEntry {
    std::string TryExec;
    std::vector<std::string> Exec; // words, field codes (%i %u %o %s) still in
    std::vector<std::string> MimeTypes;
};

// nullopt without the group, an Exec or a MIME type.
std::optional<TThumbnailerEntry> ParseThumbnailerEntry(std::string_view text);

// The "*.ext" patterns of a shared-mime-info globs2 file: lower-case
// extension (dot included) and MIME type, heaviest first.
std::vector<std::pair<std::string, std::string>> ParseMimeGlobs(std::string_view text);

// Where the registrations are read from.
struct TThumbnailerPlaces {
    std::vector<std::string> EntryDirs = {"/usr/share/thumbnailers", "/usr/local/share/thumbnailers"};
    std::vector<std::string> GlobFiles = {"/usr/share/mime/globs2", "/usr/local/share/mime/globs2"};
};

class TExternalThumbnailers {
public:
    explicit TExternalThumbnailers(TThumbnailerPlaces places = {}) : FPlaces(std::move(places)) {}
    // The command of the thumbnailer for the file, by its extension's MIME
    // type; nullptr for none. Programs outside /usr are never run: the
    // sandbox has nothing else. Reads the registrations on first use.
    const std::vector<std::string>* CommandFor(std::string_view path);

private:
    void Load();
    TThumbnailerPlaces FPlaces;
    bool FLoaded = false;
    std::vector<std::pair<std::string, std::string>> FGlobs;
    std::vector<TThumbnailerEntry> FEntries;
};

// The words of the command that runs `exec` on `input` in bubblewrap,
// writing a PNG of at most `size` pixels to `outputDir`/thumbnail.png. The
// program sees the file at a fixed name with its extension.
std::vector<std::string> SandboxedCommand(const std::vector<std::string>& exec, const std::string& input,
                                          const std::string& outputDir, int size);

// One thumbnailer at work: started off the window's thread, never waited
// for (Poll), killed with everything it started when it is over its time.
class TExternalRun {
public:
    using TClock = std::chrono::steady_clock;
    // Makes the output folder under `tempDir` and starts the command.
    TExternalRun(const std::vector<std::string>& exec, const std::string& input, int size,
                 const std::string& tempDir, std::chrono::milliseconds limit);
    ~TExternalRun();
    TExternalRun(const TExternalRun&) = delete;
    TExternalRun& operator=(const TExternalRun&) = delete;

    enum class TState { Running, Made, Failed };
    // Done without waiting: Made when the program ended well and left a PNG.
    TState Poll(TClock::time_point now);
    // The PNG it made (Made only); removed with the object.
    std::string Output() const { return FOutputDir + "/thumbnail.png"; }

private:
    std::string FOutputDir;
    pid_t FPid = -1;
    TClock::time_point FDeadline;
    TState FState = TState::Failed;
};

} // namespace tavolix::thumbs
