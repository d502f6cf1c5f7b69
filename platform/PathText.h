#pragma once

#include "platform/Volumes.h"

#include <string>
#include <string_view>

// Paths as text: "/" separated byte strings, nothing asked of the disk
// (but the working folder, for AbsolutePath).
namespace tavolix::platform {

// Path, followed by "/" unless its last byte is one.
std::string AddBackSlash(std::string_view path);

// The text after the last "/" (the whole path when it has none).
std::string NamePart(std::string_view path);
// The text up to and including the last "/" (empty when it has none).
std::string DirectoryPart(std::string_view path);
// The extension of the name part: from its last ".", dot included; "" when
// the name has no dot.
std::string ExtensionOf(std::string_view path);

// The folder of a file without its trailing "/"; a file in the root gives "/",
// a bare name "".
std::string FileFolder(std::string_view fileName);

// A relative path made absolute against the working folder, and "." / ".."
// components and repeated "/" removed (as a browser reads a file URL). Empty
// for a relative path when the working folder is gone.
std::string AbsolutePath(std::string_view path);

// The network name of a path: the share name of the network volume that holds
// it ("//host/share") followed by the path below the volume's mount point. The
// share always comes from the path's own volume (the longest mount point that
// prefixes it); a path on a local volume, or on a network volume whose share
// name is unknown, is given back unchanged.
std::string NetFileName(std::string_view path, const TMountTable& volumes);

// The other way: a network name "//host/share/rest" as a path through the
// mount point of a mounted volume with that share; other text unchanged.
std::string LocalFileName(std::string_view path, const TMountTable& volumes);

} // namespace tavolix::platform
