#include "platform/PathText.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace tavolix::platform {

std::string AddBackSlash(std::string_view path) {
    std::string out(path);
    if (out.empty() || out.back() != '/')
        out += '/';
    return out;
}

std::string NamePart(std::string_view path) {
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string DirectoryPart(std::string_view path) {
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtensionOf(std::string_view path) {
    std::string name = NamePart(path);
    auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FileFolder(std::string_view fileName) {
    std::string dir = DirectoryPart(fileName);
    if (dir.size() > 1)
        dir.pop_back();
    return dir;
}

std::string NetFileName(std::string_view path, const TMountTable& volumes) {
    const TVolume* v = volumes.VolumeOf(path);
    if (!v || !v->Network || v->Share.empty())
        return std::string(path);
    std::string_view below = v->MountPoint == "/" ? path : path.substr(v->MountPoint.size());
    return v->Share + std::string(below);
}

std::string LocalFileName(std::string_view path, const TMountTable& volumes) {
    if (!path.starts_with("//"))
        return std::string(path);
    const TVolume* best = nullptr;
    for (const auto& v : volumes.Volumes()) {
        if (!v.Network || v.Share.empty() || !path.starts_with(v.Share))
            continue;
        if (path.size() != v.Share.size() && path[v.Share.size()] != '/')
            continue;
        if (!best || v.Share.size() > best->Share.size())
            best = &v;
    }
    if (!best)
        return std::string(path);
    std::string_view below = path.substr(best->Share.size());
    if (best->MountPoint == "/")
        return below.empty() ? std::string("/") : std::string(below);
    return best->MountPoint + std::string(below);
}

std::string AbsolutePath(std::string_view path) {
    std::string full;
    if (!path.starts_with("/")) {
        std::vector<char> buf(4096);
        char* cwd;
        while (!(cwd = getcwd(buf.data(), buf.size())) && errno == ERANGE)
            buf.resize(buf.size() * 2);
        // A deleted working folder: "/" would put the file somewhere else entirely.
        if (!cwd || cwd[0] != '/')
            return {};
        full = cwd;
        full += '/';
    }
    full += path;
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (auto p : parts) {
        out += '/';
        out += p;
    }
    if (out.empty() || full.ends_with("/"))
        out += '/';
    return out;
}

} // namespace tavolix::platform
