// Icon and cursor directories, their images, and animated cursors.
#include "FuzzOneInput.h"
#include "pictures/IconFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::pictures;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const TByteView bytes(data, size);
    if (const auto entries = ReadIconDirectory(bytes)) {
        for (const TIconEntry& e : *entries) {
            if (!bytes.Has(e.Offset, e.Bytes))
                std::abort();
        }
    }
    for (int want : {16, 32, 48}) {
        const auto ico = ExtractIconImage(bytes, want, want);
        if (!ico.empty() &&
            (ico.size() < 22 || !IsSaneIconImage(TByteView(ico.data() + 22, ico.size() - 22))))
            std::abort();
    }
    const TByteView frame = FirstAniFrame(bytes);
    if (frame.Size() && (frame.Data() < data || frame.Data() + frame.Size() > data + size))
        std::abort();
    ExtractIconImage(frame, 32, 32);
    return 0;
}
