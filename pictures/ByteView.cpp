#include "pictures/ByteView.h"

#include "platform/Directory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::pictures {

float TByteView::F32(std::size_t off) const {
    const std::uint32_t bits = U32(off);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool TByteView::Equals(std::size_t off, const char* text, std::size_t n) const {
    return Has(off, n) && std::memcmp(FData + off, text, n) == 0;
}

bool TByteSource::ReadBlock(std::uint64_t off, std::size_t n, std::vector<std::uint8_t>& out) const {
    if (off > Size() || n > Size() - off) {
        out.clear();
        return false;
    }
    out.resize(n);
    if (n == 0 || Read(off, out.data(), n))
        return true;
    out.clear();
    return false;
}

bool TMemorySource::Read(std::uint64_t off, void* dst, std::size_t n) const {
    if (off > FBytes.Size() || n > FBytes.Size() - off)
        return false;
    if (n)
        std::memcpy(dst, FBytes.Data() + off, n);
    return true;
}

TFileSource::TFileSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || platform::IsKernelFile(fd)) {
        ::close(fd);
        return;
    }
    FFd = fd;
    FSize = static_cast<std::uint64_t>(st.st_size);
}

TFileSource::TFileSource(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return;
    struct stat st;
    if (::fstat(copy, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(copy);
        return;
    }
    FFd = copy;
    FSize = static_cast<std::uint64_t>(st.st_size);
}

TFileSource::~TFileSource() {
    if (FFd >= 0)
        ::close(FFd);
}

bool TFileSource::Read(std::uint64_t off, void* dst, std::size_t n) const {
    if (FFd < 0 || off > FSize || n > FSize - off)
        return false;
    auto* p = static_cast<std::uint8_t*>(dst);
    while (n > 0) {
        const ssize_t got = ::pread(FFd, p, n, static_cast<off_t>(off));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false; // error, or the file shrank
        p += got;
        off += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
    out.clear();
    TFileSource file(path);
    if (!file.IsOpen() || file.Size() > maxBytes)
        return false;
    return file.ReadBlock(0, static_cast<std::size_t>(file.Size()), out);
}

} // namespace tavolix::pictures
