#pragma once

#include "thumbs/Protocol.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavolix::thumbs {

// A regular file this process may run.
bool IsExecutable(const std::string& path);

// One picture helper process: its socket, its standard error (read and
// dropped) and the clock of the file it was last given.
class THelperProcess {
public:
    using TClock = std::chrono::steady_clock;
    enum class TStart : std::uint8_t {
        Started,
        NoChannel,  // no socket or pipe to be had: nothing was run
        SpawnFailed // the program could not be run
    };

    // Runs "<path> --serve <args...>" on a socket of its own, non-blocking.
    TStart Start(const std::string& path, const std::vector<std::string>& args);
    // The file's clock starts now.
    void StartClock();
    // A file is over its budget when it has used the budget's worth of CPU, or
    // the helper has not used any for that long (it waits on a file that never
    // comes, or hangs); a decoder that only shares a busy machine goes on.
    // A helper still starting has `startMs` more.
    bool Overdue(TClock::time_point now, int budgetMs, int startMs);
    // Sends what Out holds, with OutFiles; false when the socket broke.
    bool Flush();
    // Reads what waits on the socket into Reader; true when the socket ended.
    bool Receive();
    void DrainErrors();

    pid_t Pid = -1;
    int Fd = -1;
    int ErrFd = -1; // its standard error, read and dropped
    bool HelloSeen = false;
    // The file's clock: when it was sent, and when the helper last used CPU.
    TClock::time_point Sent, LastProgress;
    long CpuAtSend = 0, LastCpu = 0; // milliseconds of the helper's CPU time
    TFrameReader Reader{kMaxReplyPayload};
    std::string Out;
    std::vector<int> OutFiles; // go with Out's first byte; the flight's
};

// Helpers that were told to end, or killed, until they are reaped.
class THelperReaper {
public:
    // Closes the helper's descriptors; it is killed, or else given a grace
    // to end on the closed socket.
    void Retire(THelperProcess& h, bool kill);
    // Reaps what ended; kills those past their grace, or all when `all`.
    void Reap(bool all);
    bool Empty() const { return FRetired.empty(); }

private:
    struct TRetired {
        pid_t Pid;
        THelperProcess::TClock::time_point KillAt;
    };
    std::vector<TRetired> FRetired;
};

} // namespace tavolix::thumbs
