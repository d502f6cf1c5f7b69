#pragma once

#include <cstddef>
#include <cstdint>

namespace tavolix::thumbnailer {

// An open file read by position (pread), for libraries that take a reader
// rather than a name: nothing is opened by path, and the caller keeps the
// descriptor.
class TFdInput {
public:
    explicit TFdInput(int fd);
    std::int64_t Size() const { return FSize; }
    std::int64_t Position() const { return FPosition; }
    // False past the end of the file.
    bool Seek(std::int64_t position);
    // Up to `size` bytes; 0 at the end, -1 on an error.
    long Read(void* data, std::size_t size);
    // All `size` bytes or false.
    bool ReadExactly(void* data, std::size_t size);

private:
    int FFd;
    std::int64_t FSize = -1;
    std::int64_t FPosition = 0;
};

} // namespace tavolix::thumbnailer
