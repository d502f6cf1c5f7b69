#include "thumbnailer/FdInput.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::thumbnailer {

TFdInput::TFdInput(int fd) : FFd(fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        FSize = st.st_size;
}

bool TFdInput::Seek(std::int64_t position) {
    if (position < 0 || position > FSize)
        return false;
    FPosition = position;
    return true;
}

long TFdInput::Read(void* data, std::size_t size) {
    if (FPosition >= FSize)
        return 0;
    if (static_cast<std::int64_t>(size) > FSize - FPosition)
        size = static_cast<std::size_t>(FSize - FPosition);
    for (;;) {
        const ssize_t n = ::pread(FFd, data, size, FPosition);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        FPosition += n;
        return static_cast<long>(n);
    }
}

bool TFdInput::ReadExactly(void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const long n = Read(bytes, size);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace tavolix::thumbnailer
