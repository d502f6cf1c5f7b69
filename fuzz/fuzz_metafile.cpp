// Metafile headers and the record walk.
#include "FuzzOneInput.h"
#include "pictures/Metafile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::pictures;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const TByteView bytes(data, size);
    for (int dpi : {96, 120}) {
        const auto info = ReadMetafileInfo(bytes, dpi);
        if (!info)
            continue;
        if (info->Width < 0 || info->Height < 0)
            std::abort();
        TMetaRecordReader reader(bytes, *info);
        TMetaRecord record;
        std::size_t total = 0;
        while (reader.Next(record)) {
            if (record.Bytes.Data() < data || record.Bytes.Data() + record.Bytes.Size() > data + size)
                std::abort();
            total += record.Bytes.Size();
        }
        if (total > size)
            std::abort();
    }
    return 0;
}
