#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tavolix::platform {

// What a request to open a file carries.
struct TOpenRequest {
    std::string FileName; // a path (any bytes) or a URL
    std::string Params;
    std::string Folder; // working folder of the started program, or empty
    int ShowCmd = 1;
};

// Opens FileName with the program the desktop associates with it, through
// xdg-open, without waiting for it. The launch has no length limit. Params
// are not passed: xdg-open takes one argument and no arguments for the
// program it starts. ShowCmd has no meaning for xdg-open and is kept for the
// callers. A relative FileName is read from Folder when one is given.
// Returns false when nothing could be started (empty name, missing opener,
// unusable folder); callers may ignore it. A launch not through within
// kLaunchWaitMs (its Folder on a share that doesn't answer) goes on by
// itself and counts as started.
bool ExecuteFile(const std::string& FileName, const std::string& Params, const std::string& Folder,
                 int ShowCmd);

// Opens each file as ExecuteFile does, waiting at most kLaunchWaitMs for
// them all together: files whose folders don't answer don't add up. Returns
// how many were started.
int ExecuteFiles(const std::vector<TOpenRequest>& requests);

// The opener used instead of the real launch, for tests; an empty function
// restores the real launch. The replaced opener's requests always succeed.
using TFileOpener = std::function<void(const TOpenRequest&)>;
void SetFileOpener(TFileOpener opener);

// The program run by the real launch: "xdg-open" (looked up on PATH) unless
// set; an empty path restores it. It gets the file as its only argument.
void SetOpenerProgram(std::string path);
const std::string& OpenerProgram();

// The real launch: runs the opener program detached (double fork, no zombie,
// a session of its own, no inherited descriptors beyond 0-2) in the folder.
// Returns once the program has been executed or has failed to start, or,
// with a `waitMs` of 0 or more, at the latest after that long, true then.
bool LaunchOpener(const TOpenRequest& request, int waitMs = -1);

inline constexpr int kLaunchWaitMs = 500;

// What each real launch adds to the opener's environment ("NAME=value"
// entries, such as the desktop's activation token for the started program),
// asked on the launching thread just before the start; an empty function adds
// nothing. The program's own XDG_ACTIVATION_TOKEN, spent on its own start, is
// never passed on.
using TLaunchEnvironment = std::function<std::vector<std::string>()>;
void SetLaunchEnvironment(TLaunchEnvironment source);

// The environment a launch gets: `base` without XDG_ACTIVATION_TOKEN and
// without the names `added` sets, then `added`.
std::vector<std::string> LaunchEnvironment(char* const* base, const std::vector<std::string>& added);

} // namespace tavolix::platform
