#pragma once

#include "platform/PathText.h"
#include "platform/Volumes.h"

#include <string>
#include <string_view>

namespace tavolix::pages {

// The path functions the page shares with the saved-pages list live below
// both, in platform; the page reaches them under its own name too.
using platform::AbsolutePath;
using platform::AddBackSlash;
using platform::DirectoryPart;
using platform::ExtensionOf;
using platform::FileFolder;
using platform::LocalFileName;
using platform::NamePart;
using platform::NetFileName;

// The link from a page in `pageFolder` (ending in "/") to the file `filePath`:
// compared byte by byte, case-sensitive; the part below the last common "/"
// of the file, preceded by one "../" for every "/" of the page folder below
// it. A file whose whole path is a prefix of the page folder (a file "/web/pa"
// for the folder "/web/pages/") still climbs out of the folder.
std::string RelativeLink(std::string_view pageFolder, std::string_view filePath);

// NetFileName of AddBackSlash(folder).
std::string NetFolderName(std::string_view folder, const platform::TMountTable& volumes);

} // namespace tavolix::pages
