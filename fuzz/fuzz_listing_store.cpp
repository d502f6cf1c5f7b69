// A store file of kept listings, whole: the device and file system named
// in its header are taken as the live ones, so that the fuzzer gets past
// them to the counts, the records and the names; and once more with the
// checksum made to fit, which mutations would hardly ever hit.
#include "FuzzOneInput.h"
#include "search/ListingStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace tavolix;

namespace {

void Load(std::string_view bytes) {
    const std::size_t size = bytes.size();
    std::uint64_t device = 0, fileSystem = 0;
    if (size >= 32) {
        std::memcpy(&device, bytes.data() + 16, sizeof device);
        std::memcpy(&fileSystem, bytes.data() + 24, sizeof fileSystem);
    }
    search::TListingStore store("");
    if (!store.LoadBytes(static_cast<dev_t>(device), fileSystem, bytes))
        return;
    // What was taken is written back as it came.
    if (store.FileBytes(static_cast<dev_t>(device)) != bytes)
        std::abort();
    // The store counts what it holds as the file does.
    if (store.Counts().Bytes + 64 != size)
        std::abort();
}

} // namespace

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Load(bytes);
    if (size >= 64) {
        std::string fitted(bytes);
        const std::uint64_t sum = search::TListingStore::Checksum(bytes.substr(64));
        std::memcpy(fitted.data() + 56, &sum, sizeof sum);
        Load(fitted);
    }
    return 0;
}
