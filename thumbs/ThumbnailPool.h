#pragma once

#include "thumbs/ExternalThumbnailer.h"
#include "thumbs/Protocol.h"
#include "thumbs/ThumbnailCache.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavolix::thumbs {

// The picture helper installed with the program: "<dir>/tavolix-thumbnailer"
// beside the running program (a build tree, a portable install), else
// "<dir>/../libexec/tavolix/tavolix-thumbnailer"; "" when neither is there.
std::string FindThumbnailer(std::string_view programDir);
std::string FindThumbnailer();

struct TPoolOptions {
    std::string HelperPath;
    std::vector<std::string> HelperArgs;
    int Processes = 2;
    // What one file may take before its helper is killed: this much CPU
    // time, or this long without using any (ten times as long in all).
    int BudgetMs = 2000;
    // Added for the first file of a helper that is still starting.
    int StartMs = 5000;
    // An idle helper ends after this long.
    int IdleExitMs = 30000;
    // The thumbnail cache the pool reads and writes for the helpers ("": none).
    std::string CacheRoot = ThumbnailRoot();
    // Files the cache has no thumbnail of and the table no decoder for are
    // given to the desktop's thumbnailers (in a sandbox), at most this long each.
    bool ExternalThumbnailers = true;
    TThumbnailerPlaces ThumbnailerPlaces;
    int ExternalMs = 10000;
};

struct TPoolStats {
    int Started = 0;
    int Sent = 0;       // requests handed to a helper
    int Retried = 0;    // files whose helper died, tried once more in a new one
    int Crashed = 0;    // files failed because their helper died twice
    int TimedOut = 0;   // files failed because their helper ran out of time
    int FilesStuck = 0; // requests whose files didn't answer in time
    int Replies = 0;
};

// Helper processes that make pictures, started when there is work and kept
// for the next files, each given one file at a time with a time budget. The
// pool opens every file a request needs and hands the helper descriptors;
// the helper, in its sandbox, names no file. A helper that crashes, breaks
// the protocol or runs past its budget is killed and the work goes on in a
// new one; a file whose helper died is tried once more in a fresh helper
// (it may have been killed from outside), and failed and recorded as failed
// in the cache when that dies too or when the file ran out of time. The
// helpers' standard error is read and dropped. The pool's own thread waits
// on sockets only; files are opened and written on threads that a file
// system that stopped answering may keep: the callers never wait on a
// helper or a file.
class TThumbnailPool {
public:
    using TReplyHandler = std::function<void(TThumbReply&&)>;
    class TClient;

    explicit TThumbnailPool(TPoolOptions options);
    ~TThumbnailPool();
    TThumbnailPool(const TThumbnailPool&) = delete;
    TThumbnailPool& operator=(const TThumbnailPool&) = delete;

    // A queue of requests of one caller. `onReply` runs on the pool's thread.
    std::shared_ptr<TClient> Connect(TReplyHandler onReply);
    // False when there is no helper to run: every request fails at once.
    bool Available() const;
    TPoolStats Stats() const;
    // What the first helper's sandbox holds; nothing before a helper started.
    std::optional<TSandboxState> Sandbox() const;

    struct TState;

private:
    std::shared_ptr<TState> FState;
    std::thread FThread;
};

class TThumbnailPool::TClient {
public:
    struct TData;
    TClient(std::shared_ptr<TState> pool, std::shared_ptr<TData> data);
    ~TClient();

    // Replaces the requests still waiting with these, first first. Requests
    // a helper is already working on go on and are answered (once, also when
    // asked for again under the same id). The most recently updated client
    // is served first.
    void SetWanted(std::vector<TThumbRequest> requests);
    // No reply is handed over after this returns.
    void Close();

private:
    std::weak_ptr<TState> FPool;
    std::shared_ptr<TData> FData;
};

} // namespace tavolix::thumbs
