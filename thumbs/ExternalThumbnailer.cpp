#include "thumbs/ExternalThumbnailer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavolix::thumbs {

namespace {

constexpr std::size_t kMaxEntryBytes = 64 * 1024;
constexpr std::size_t kMaxGlobsBytes = 4u << 20;
constexpr std::size_t kMaxExecWords = 64;
constexpr const char* kBwrap = "/usr/bin/bwrap";

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string> SplitList(std::string_view value) {
    std::vector<std::string> out;
    while (!value.empty()) {
        const std::size_t semi = value.find(';');
        const std::string_view item = Trim(value.substr(0, semi));
        if (!item.empty())
            out.emplace_back(item);
        if (semi == std::string_view::npos)
            break;
        value.remove_prefix(semi + 1);
    }
    return out;
}

// The Exec key's words: blanks separate them, double quotes keep them
// together, and a backslash in quotes takes the next character as it is.
std::optional<std::vector<std::string>> SplitExec(std::string_view value) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < value.size()) {
                word += value[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '"') {
            quoted = inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.push_back(std::move(word));
    if (words.empty() || words.size() > kMaxExecWords)
        return std::nullopt;
    return words;
}

bool ReadSmallFile(const std::string& path, std::size_t limit, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.resize(limit + 1);
    in.read(out.data(), static_cast<std::streamsize>(limit + 1));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out.size() <= limit;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A program the sandbox can run: a path under /usr, or a name found in
// /usr's folders of programs. "" for anything else.
std::string ProgramInUsr(const std::string& name) {
    if (name.empty() || name.find("..") != std::string::npos)
        return {};
    if (name.front() == '/')
        return name.starts_with("/usr/") && IsExecutableFile(name) ? name : std::string();
    if (name.find('/') != std::string::npos)
        return {};
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/"}) {
        const std::string path = dir + name;
        if (IsExecutableFile(path))
            return path;
    }
    return {};
}

// Killed thumbnailers the kernel has not let go of yet (one stuck on a dead
// share): reaped later, never waited for.
std::mutex gOrphansMutex;
std::vector<pid_t> gOrphans;

void ReapOrphans() {
    std::lock_guard lock(gOrphansMutex);
    std::erase_if(gOrphans, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

} // namespace

std::optional<TThumbnailerEntry> ParseThumbnailerEntry(std::string_view text) {
    if (text.size() > kMaxEntryBytes)
        return std::nullopt;
    TThumbnailerEntry entry;
    bool inGroup = false, hasExec = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line = Trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inGroup = line == "[Thumbnailer Entry]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inGroup || eq == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == "TryExec") {
            entry.TryExec = std::string(value);
        } else if (key == "Exec") {
            const auto words = SplitExec(value);
            if (!words)
                return std::nullopt;
            entry.Exec = *words;
            hasExec = true;
        } else if (key == "MimeType") {
            entry.MimeTypes = SplitList(value);
        }
    }
    if (!hasExec || entry.MimeTypes.empty())
        return std::nullopt;
    return entry;
}

std::vector<std::pair<std::string, std::string>> ParseMimeGlobs(std::string_view text) {
    struct TGlob {
        int Weight;
        std::string Ext, Mime;
    };
    std::vector<TGlob> globs;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == '#')
            continue;
        // weight:type:pattern[:flags]
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string_view::npos ? a : line.find(':', a + 1);
        if (b == std::string_view::npos)
            continue;
        const std::string_view weight = line.substr(0, a), mime = line.substr(a + 1, b - a - 1);
        std::string_view pattern = line.substr(b + 1);
        pattern = pattern.substr(0, pattern.find(':'));
        if (weight.empty() || weight.size() > 3 || mime.empty() || pattern.size() < 3 ||
            !pattern.starts_with("*.") || pattern.substr(1).find_first_of("*?[\\") != std::string_view::npos)
            continue;
        if (!std::all_of(weight.begin(), weight.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        globs.push_back(
            {std::atoi(std::string(weight).c_str()), Lower(pattern.substr(1)), std::string(mime)});
    }
    // The heaviest, then the longest pattern wins, as shared-mime-info says.
    std::stable_sort(globs.begin(), globs.end(), [](const TGlob& x, const TGlob& y) {
        return x.Weight != y.Weight ? x.Weight > y.Weight : x.Ext.size() > y.Ext.size();
    });
    std::vector<std::pair<std::string, std::string>> out;
    out.reserve(globs.size());
    for (TGlob& g : globs)
        out.emplace_back(std::move(g.Ext), std::move(g.Mime));
    return out;
}

void TExternalThumbnailers::Load() {
    FLoaded = true;
    for (const std::string& file : FPlaces.GlobFiles) {
        std::string text;
        if (ReadSmallFile(file, kMaxGlobsBytes, text)) {
            auto globs = ParseMimeGlobs(text);
            FGlobs.insert(FGlobs.end(), globs.begin(), globs.end());
        }
    }
    for (const std::string& dir : FPlaces.EntryDirs) {
        std::error_code error;
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir, error)) {
            if (e.path().extension() == ".thumbnailer")
                names.push_back(e.path().string());
        }
        // In a fixed order: the first registration of a type wins.
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::string text;
            if (!ReadSmallFile(name, kMaxEntryBytes, text))
                continue;
            std::optional<TThumbnailerEntry> entry = ParseThumbnailerEntry(text);
            if (!entry || (!entry->TryExec.empty() && ProgramInUsr(entry->TryExec).empty()))
                continue;
            entry->Exec.front() = ProgramInUsr(entry->Exec.front());
            if (!entry->Exec.front().empty())
                FEntries.push_back(std::move(*entry));
        }
    }
}

const std::vector<std::string>* TExternalThumbnailers::CommandFor(std::string_view path) {
    if (!FLoaded)
        Load();
    const std::size_t slash = path.rfind('/');
    const std::string name = Lower(slash == std::string_view::npos ? path : path.substr(slash + 1));
    for (const auto& [ext, mime] : FGlobs) {
        if (name.size() <= ext.size() || !name.ends_with(ext))
            continue;
        for (const TThumbnailerEntry& entry : FEntries) {
            for (const std::string& type : entry.MimeTypes) {
                if (Lower(type) == Lower(mime))
                    return &entry.Exec;
            }
        }
        return nullptr;
    }
    return nullptr;
}

std::vector<std::string> SandboxedCommand(const std::vector<std::string>& exec, const std::string& input,
                                          const std::string& outputDir, int size) {
    // The file under a fixed name that keeps its extension (letters and
    // digits only), for thumbnailers that go by the name.
    std::string ext;
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        for (char c : input.substr(dot + 1)) {
            if (ext.size() < 16 &&
                ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                ext += c;
        }
    }
    const std::string inside = "/input/file" + (ext.empty() ? std::string() : "." + ext);
    const std::string output = "/output/thumbnail.png";
    std::vector<std::string> words = {kBwrap,
                                      "--unshare-all",
                                      "--die-with-parent",
                                      "--new-session",
                                      "--cap-drop",
                                      "ALL",
                                      "--ro-bind",
                                      "/usr",
                                      "/usr",
                                      "--symlink",
                                      "usr/bin",
                                      "/bin",
                                      "--symlink",
                                      "usr/sbin",
                                      "/sbin",
                                      "--symlink",
                                      "usr/lib",
                                      "/lib",
                                      "--symlink",
                                      "usr/lib64",
                                      "/lib64",
                                      "--proc",
                                      "/proc",
                                      "--dev",
                                      "/dev",
                                      "--tmpfs",
                                      "/tmp",
                                      "--ro-bind",
                                      input,
                                      inside,
                                      "--bind",
                                      outputDir,
                                      "/output",
                                      "--clearenv",
                                      "--setenv",
                                      "PATH",
                                      "/usr/bin:/bin",
                                      "--setenv",
                                      "HOME",
                                      "/tmp",
                                      "--setenv",
                                      "LANG",
                                      "C.UTF-8",
                                      "--chdir",
                                      "/tmp",
                                      "--"};
    for (const std::string& word : exec) {
        std::string out;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%' || i + 1 == word.size()) {
                out += word[i];
                continue;
            }
            switch (word[++i]) {
            case 'i':
                out += inside;
                break;
            case 'u':
                out += "file://" + inside;
                break;
            case 'o':
                out += output;
                break;
            case 's':
                out += std::to_string(size);
                break;
            case '%':
                out += '%';
                break;
            default:
                break; // other field codes stand for nothing here
            }
        }
        words.push_back(std::move(out));
    }
    return words;
}

TExternalRun::TExternalRun(const std::vector<std::string>& exec, const std::string& input, int size,
                           const std::string& tempDir, std::chrono::milliseconds limit)
    : FDeadline(TClock::now() + limit) {
    ReapOrphans();
    std::string pattern = tempDir + "/tavolix-thumbnailer-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return;
    FOutputDir = pattern;
    const std::vector<std::string> words = SandboxedCommand(exec, input, FOutputDir, size);
    std::vector<char*> argv;
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0)
        return;
    // Only async-signal-safe calls in the child: the caller has threads.
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit cpu{30, 30}, data{rlim_t(1) << 30, rlim_t(1) << 30},
            file{rlim_t(64) << 20, rlim_t(64) << 20}, core{0, 0};
        ::setrlimit(RLIMIT_CPU, &cpu);
        ::setrlimit(RLIMIT_DATA, &data);
        ::setrlimit(RLIMIT_FSIZE, &file);
        ::setrlimit(RLIMIT_CORE, &core);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::closefrom(3);
        ::execv(kBwrap, argv.data());
        ::_exit(127);
    }
    ::close(devNull);
    if (pid < 0)
        return;
    FPid = pid;
    FState = TState::Running;
}

TExternalRun::~TExternalRun() {
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        if (::waitpid(FPid, nullptr, WNOHANG) == 0) {
            std::lock_guard lock(gOrphansMutex);
            gOrphans.push_back(FPid);
        }
    }
    if (!FOutputDir.empty()) {
        std::error_code error;
        std::filesystem::remove_all(FOutputDir, error);
    }
}

TExternalRun::TState TExternalRun::Poll(TClock::time_point now) {
    if (FState != TState::Running)
        return FState;
    int status = 0;
    const pid_t r = ::waitpid(FPid, &status, WNOHANG);
    if (r == 0) {
        if (now < FDeadline)
            return FState;
        // Over its time: bubblewrap takes what it started with it.
        ::kill(FPid, SIGKILL);
        FState = TState::Failed;
        return FState;
    }
    FPid = -1;
    struct stat st {};
    FState = r > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ::lstat(Output().c_str(), &st) == 0 &&
                     S_ISREG(st.st_mode) && st.st_size > 0
                 ? TState::Made
                 : TState::Failed;
    return FState;
}

} // namespace tavolix::thumbs
