// The desktop's thumbnailer registrations and MIME globs, as read by the pool.
#include "FuzzOneInput.h"
#include "thumbs/ExternalThumbnailer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto entry = tavolix::thumbs::ParseThumbnailerEntry(text))
        (void)tavolix::thumbs::SandboxedCommand(entry->Exec, "/a/b.c", "/out", 128);
    (void)tavolix::thumbs::ParseMimeGlobs(text);
    return 0;
}
