// A store file of kept listings, whole: the device and file system named
// in its header are taken as the live ones, so that the fuzzer gets past
// them to the counts, the records and the names.
#include "FuzzOneInput.h"
#include "search/ListingStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace tavolix;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::uint64_t device = 0, fileSystem = 0;
    if (size >= 32) {
        std::memcpy(&device, data + 16, sizeof device);
        std::memcpy(&fileSystem, data + 24, sizeof fileSystem);
    }
    search::TListingStore store("");
    if (!store.LoadBytes(static_cast<dev_t>(device), fileSystem, bytes))
        return 0;
    // What was taken is written back as it came, and read back again.
    if (store.FileBytes(static_cast<dev_t>(device)) != bytes)
        std::abort();
    // The store counts what it holds as the file does.
    if (store.Counts().Bytes + 64 != size)
        std::abort();
    return 0;
}
