// tavolix-thumbnailer: the picture helper. Started by the program with
// --serve, it answers requests on its standard input and output (see
// thumbs/Protocol.h) inside its sandbox (thumbnailer/Sandbox.cpp); decoders
// that crash, hang or run out of memory take only this process down.
#include "thumbnailer/Sandbox.h"
#include "thumbnailer/Thumbnailer.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>

#if defined(__SANITIZE_ADDRESS__)
#define TAVOLIX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVOLIX_ASAN 1
#endif
#endif

#ifdef TAVOLIX_ASAN
// AddressSanitizer reserves terabytes of address space, which any data or
// address-space limit would refuse; its own limit on mapped memory stands in
// for them (its limit on resident memory would start a thread before the
// sandbox, which the sandbox could not hold).
extern "C" const char* __asan_default_options() {
    return "mmap_limit_mb=1024:allocator_may_return_null=1:quarantine_size_mb=32";
}
#endif

namespace {

constexpr rlim_t kDataLimit = rlim_t(256) << 20;
constexpr rlim_t kCpuLimit = 300;
constexpr rlim_t kFileSizeLimit = rlim_t(64) << 20;

// Lowers a limit, never raises one: what the user set (ulimit -f) holds here too.
void SetLimit(int resource, rlim_t value) {
    rlimit limit{value, value};
    rlimit current{};
    if (getrlimit(resource, &current) == 0) {
        limit.rlim_cur = std::min(value, current.rlim_cur);
        limit.rlim_max = std::min(value, current.rlim_max);
    }
    setrlimit(resource, &limit);
}

void SetLimits() {
#ifndef TAVOLIX_ASAN
    // Heap and every private mapping: what a decoder can allocate.
    SetLimit(RLIMIT_DATA, kDataLimit);
#endif
    SetLimit(RLIMIT_CPU, kCpuLimit);
    SetLimit(RLIMIT_FSIZE, kFileSizeLimit);
    // A crash over a hostile file leaves no core behind.
    SetLimit(RLIMIT_CORE, 0);
    // Ends with the program that started it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Pictures wait; the window doesn't.
    (void)!nice(5);
}

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {
}

// Where the toolkit looks for its plugins besides /usr.
std::vector<std::string> PluginFolders() {
    std::vector<std::string> folders = {QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()};
    for (const char* variable : {"QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH"}) {
        for (const QString& folder :
             qEnvironmentVariable(variable).split(QDir::listSeparator(), Qt::SkipEmptyParts))
            folders.push_back(folder.toStdString());
    }
    return folders;
}

} // namespace

int main(int argc, char* argv[]) {
    bool serve = false, testDecoders = false, sandboxed = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--serve") == 0)
            serve = true;
        else if (std::strcmp(argv[i], "--test-decoders") == 0)
            testDecoders = true;
        else if (std::strcmp(argv[i], "--no-sandbox") == 0)
            sandboxed = false; // for the benchmark of what the sandbox costs
    }
    if (!serve) {
        static const char kUsage[] = "tavolix-thumbnailer: started by tavolix, not by hand\n";
        (void)!write(2, kUsage, sizeof kUsage - 1);
        return 2;
    }
    SetLimits();
    // Nothing is found relative to where the program was started.
    if (::chdir("/") != 0)
        return 2;
    // Decoders' warnings about broken files are no news to anyone.
    qInstallMessageHandler(Quiet);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The desktop's platform theme and plugins are nothing to a helper
    // without windows, and GTK's theme (QT_QPA_PLATFORMTHEME=gtk3) ends the
    // process when it cannot reach the display, which the sandbox closes.
    qunsetenv("QT_QPA_PLATFORMTHEME");
    qunsetenv("QT_QPA_GENERIC_PLUGINS");
    // Given up before anything is read: no thread of the toolkit's runs yet.
    tavolix::thumbs::TSandboxState sandbox;
    if (sandboxed)
        sandbox = tavolix::thumbnailer::EnterSandbox({PluginFolders()});
    else
        sandbox.Detail = "started with --no-sandbox";
    if (!sandbox.Complete()) {
        const std::string note = "tavolix-thumbnailer: no full sandbox: " + sandbox.Detail + "\n";
        (void)!write(2, note.data(), note.size());
    }
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    // Ended before the hello: the program then takes the helper for one that
    // cannot run, and records no file as failed.
    if (!tavolix::thumbnailer::CanDecode()) {
        static const char kBroken[] = "tavolix-thumbnailer: cannot decode pictures here\n";
        (void)!write(2, kBroken, sizeof kBroken - 1);
        return 3;
    }
    tavolix::thumbnailer::TThumbnailer thumbnailer(testDecoders);
    return tavolix::thumbnailer::Serve(0, 1, thumbnailer, sandbox);
}
