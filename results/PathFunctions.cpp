#include "results/PathFunctions.h"

#include <algorithm>

namespace tavolix::results {

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

std::string RelativeLink(std::string_view pageFolder, std::string_view filePath) {
    const std::size_t n = std::min(pageFolder.size(), filePath.size());
    if (n == 0)
        return std::string(filePath);
    std::size_t last = 0; // bytes up to and including the last common "/"
    std::size_t k = 0;
    while (k < n && pageFolder[k] == filePath[k]) {
        if (pageFolder[k] == '/')
            last = k + 1;
        ++k;
    }
    if (k == n && filePath.size() >= pageFolder.size())
        return std::string(filePath.substr(last));
    std::string_view restPage = pageFolder.substr(last);
    std::string link;
    for (std::size_t i = 0, ups = std::count(restPage.begin(), restPage.end(), '/'); i < ups; ++i)
        link += "../";
    link += filePath.substr(last);
    return link;
}

std::string NetFileName(std::string_view path, const platform::TMountTable& volumes) {
    const platform::TVolume* v = volumes.VolumeOf(path);
    if (!v || !v->Network || v->Share.empty())
        return std::string(path);
    std::string_view below = v->MountPoint == "/" ? path : path.substr(v->MountPoint.size());
    return v->Share + std::string(below);
}

std::string NetFolderName(std::string_view folder, const platform::TMountTable& volumes) {
    return NetFileName(AddBackSlash(folder), volumes);
}

std::string LocalFileName(std::string_view path, const platform::TMountTable& volumes) {
    if (!path.starts_with("//"))
        return std::string(path);
    const platform::TVolume* best = nullptr;
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

} // namespace tavolix::results
