#pragma once

namespace tavolix::cli {

// The process a caller of tavolix-page waits for does not do the work: a
// thread stuck in the kernel on a share that stopped answering holds its
// process beyond any signal, SIGKILL included, and whoever waits for it.
//
// Forks the worker, before any thread is started, and returns in it (true);
// when no child can be made, returns in this process (false), which then
// does the work itself. The other process, the one the caller started,
// never returns: it hands SIGINT, SIGTERM and SIGHUP sent to it on to the
// worker (those of the terminal reach the worker themselves) and ends as
// soon as the worker gives its exit code, or as the worker ended.
bool BecomeWorker();

// How the worker ends with `code`. While threads may be left in the kernel
// (`leftBehind`), the standard streams are flushed and closed, the code is
// handed over, and the process leaves at once: its exit handlers would run
// under those threads, and the caller need not wait for the kernel to let
// them go. Otherwise it returns `code`, for main to return.
int EndWorker(int code, bool leftBehind);

} // namespace tavolix::cli
