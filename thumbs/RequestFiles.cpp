#include "thumbs/RequestFiles.h"

#include "platform/AtomicFile.h"
#include "platform/Directory.h"
#include "thumbs/FileKinds.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tavolix::thumbs {

namespace {

constexpr off_t kMaxFailRecord = 64 * 1024;
constexpr TThumbSize kSizes[] = {TThumbSize::Normal, TThumbSize::Large, TThumbSize::XLarge};

TThumbReply ReplyOf(std::uint64_t id, TReplyStatus status, TReplySource source) {
    TThumbReply reply;
    reply.Id = id;
    reply.Status = status;
    reply.Source = source;
    return reply;
}

// A cache file of ours at most `maxBytes` long, or -1. A file of another
// user is not trusted: anyone could have put it there.
int OpenCacheFile(const std::string& path, off_t maxBytes) {
    struct stat st;
    const int fd = OpenRegularFile(path, st);
    if (fd >= 0 && (st.st_uid != ::geteuid() || st.st_size > maxBytes)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The extension as a reader's format name: "tga" for "x.TGA".
std::string FormatOf(const std::string& path) {
    std::string ext = UpperExt(path);
    if (ext.size() < 2 || ext.size() > kMaxFormatBytes + 1)
        return {};
    std::string format;
    for (char c : ext.substr(1)) {
        if (c >= 'A' && c <= 'Z')
            format += static_cast<char>(c - 'A' + 'a');
        else if (c >= '0' && c <= '9')
            format += c;
        else
            return {};
    }
    return format;
}

bool StartsWith(const std::string& bytes, std::string_view signature) {
    return std::string_view(bytes).starts_with(signature);
}

bool IsOfFormat(const std::string& bytes, TPageFormat format) {
    return format == TPageFormat::Png ? StartsWith(bytes, "\x89PNG\r\n\x1a\n")
                                      : StartsWith(bytes, "\xFF\xD8\xFF");
}

// Writes a page's file; 0 or the system's error. A file left by a write of
// the same request that was cut short is replaced.
int WritePageFile(const std::string& path, const std::string& bytes) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == EEXIST) {
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0666);
    }
    if (fd < 0)
        return errno;
    int error = platform::WriteAllBytes(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(path.c_str());
    return error;
}

// The file at `to` made the same as the open file `from`: linked, or copied
// where the file system has no links. The descriptor, not a name, says which
// file: the one the helper looked at. 0 or the system's error.
int TakeOver(int from, const std::string& to) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", from);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::linkat(AT_FDCWD, self, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != EEXIST)
            break;
        ::unlink(to.c_str());
    }
    if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != EOPNOTSUPP && errno != ENOSYS &&
        errno != ENOENT && errno != EACCES)
        return errno;
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return errno;
    char buf[64 * 1024];
    int error = 0;
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        if (!platform::WriteAllBytes(fd, std::string_view(buf, static_cast<std::size_t>(n)))) {
            error = errno;
            break;
        }
        at += n;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(to.c_str());
    return error;
}

} // namespace

int OpenRegularFile(const std::string& path, struct stat& st) {
    // Looked at before it is opened: opening some devices does something.
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // Looked at once open, so that no link changed since can slip one through.
    if (platform::IsKernelFile(fd)) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void TightenCacheFolders(const std::string& root) {
    if (root.empty())
        return;
    std::vector<std::string> folders = {root, root + "/fail",
                                        root + "/fail/" + std::string(FailFolderName())};
    for (TThumbSize size : kSizes)
        folders.push_back(root + "/" + std::string(ThumbFolderName(size)));
    for (const std::string& folder : folders) {
        // The root may be a link (a cache on another disk); its folders are its own.
        const int fd =
            ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder == root ? 0 : O_NOFOLLOW));
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
            ::fchmod(fd, 0700);
        ::close(fd);
    }
}

TRequestFiles::TRequestFiles(TThumbRequest request, std::string root)
    : FRequest(std::move(request)), FRoot(std::move(root)) {
    FAnswer = ReplyOf(FRequest.Id, TReplyStatus::Failed, TReplySource::Direct);
}

TRequestFiles::~TRequestFiles() {
    for (int fd : FFds)
        ::close(fd);
}

void TRequestFiles::Add(TFileRole role, int fd) {
    if (fd < 0)
        return;
    FHelper.Files.push_back(role);
    FFds.push_back(fd);
}

int TRequestFiles::FdOf(TFileRole role) const {
    for (std::size_t i = 0; i < FHelper.Files.size(); ++i) {
        if (FHelper.Files[i] == role)
            return FFds[i];
    }
    return -1;
}

bool TRequestFiles::Open() {
    const TThumbRequest& q = FRequest;
    const TFileKind kind = FileKindOf(q.Path);
    const bool page = q.Kind == TRequestKind::PageThumbnail;
    if (page && !HasOwnPicture(kind))
        return false;
    struct stat st;
    const int fd = OpenRegularFile(q.Path, st);
    if (fd < 0) {
        FAnswer.Status = errno == ENOENT || errno == EACCES ? TReplyStatus::Unreadable : TReplyStatus::Failed;
        return false;
    }
    FHelper.Id = q.Id;
    FHelper.Kind = q.Kind;
    FHelper.Size = q.Size;
    FHelper.Decoder = kind.Decoder;
    FHelper.Part = kind.Part;
    FHelper.BoxWidth = q.BoxWidth;
    FHelper.BoxHeight = q.BoxHeight;
    FHelper.IconSize = q.IconSize;
    FHelper.Dpi = q.Dpi;
    FHelper.Format = FormatOf(q.Path);
    FHelper.Original = {ThumbnailUri(q.Path), st.st_mtime, st.st_size};
    // Thumbnails of thumbnails are not kept.
    FHelper.Cached = !FRoot.empty() && !IsInsideRoot(FRoot, q.Path);
    Add(TFileRole::Source, fd);
    if (q.Kind == TRequestKind::TakeMade) {
        struct stat made;
        Add(TFileRole::Made, OpenRegularFile(q.Output, made));
        FOpened = true;
        return true;
    }
    const std::string& uri = FHelper.Original.Uri;
    const bool onlyCached = q.Kind == TRequestKind::CachedOnly || !HasOwnPicture(kind);
    if (page && !q.Reuse.empty()) {
        const std::string old =
            q.Reuse + "/" + PageThumbnailName(uri, FHelper.Original.MTime, FHelper.Original.Size);
        for (TPageFormat format : {TPageFormat::Jpeg, TPageFormat::Png}) {
            for (bool doubled : {false, true}) {
                struct stat file;
                const int oldFd = OpenRegularFile(old + PageFileSuffix(format, doubled), file);
                if (oldFd >= 0 && file.st_size > off_t(kMaxThumbnailFile))
                    ::close(oldFd);
                else
                    Add(OldPageRole(format, doubled), oldFd);
            }
        }
    }
    if (FHelper.Cached && q.Kind != TRequestKind::PartPicture) {
        for (TThumbSize size : kSizes) {
            // A page takes large and x-large; a picture its size and bigger,
            // or any size when the cache is all there is.
            const bool wanted = page ? size != TThumbSize::Normal : size >= q.Size || onlyCached;
            if (wanted)
                Add(CacheRole(size),
                    OpenCacheFile(ThumbnailPath(FRoot, size, uri), off_t(kMaxThumbnailFile)));
        }
        if (!onlyCached)
            Add(TFileRole::FailRecord, OpenCacheFile(FailPath(FRoot, uri), kMaxFailRecord));
    }
    FOpened = true;
    return true;
}

void TRequestFiles::RecordFailure() {
    if (FOpened && FHelper.Cached)
        WriteCacheFile(FailPath(FRoot, FHelper.Original.Uri), FailureRecordPng(FHelper.Original));
}

TThumbReply TRequestFiles::Fail() {
    if (FRequest.Kind == TRequestKind::Picture || FRequest.Kind == TRequestKind::PageThumbnail)
        RecordFailure();
    return ReplyOf(FRequest.Id, TReplyStatus::Failed, TReplySource::Direct);
}

TThumbReply TRequestFiles::CompletePage(THelperReply& made) {
    TThumbReply& reply = made.Reply;
    const TPageFormat format = reply.PageFormat;
    const std::string name =
        PageThumbnailName(FHelper.Original.Uri, FHelper.Original.MTime, FHelper.Original.Size);
    const std::string base = FRequest.Output + "/" + name;
    const std::string first = base + PageFileSuffix(format, false);
    int error = 0;
    if (made.TakeOver) {
        const int from = FdOf(OldPageRole(format, false));
        const int from2x = reply.PageDouble ? FdOf(OldPageRole(format, true)) : -1;
        if (from < 0 || (reply.PageDouble && from2x < 0))
            return ReplyOf(FRequest.Id, TReplyStatus::Failed, TReplySource::Direct);
        error = TakeOver(from, first);
        if (error == 0 && from2x >= 0 && (error = TakeOver(from2x, base + PageFileSuffix(format, true))) != 0)
            ::unlink(first.c_str());
    } else {
        if (!IsOfFormat(made.PageFile, format) || (reply.PageDouble && !IsOfFormat(made.PageFile2x, format)))
            return ReplyOf(FRequest.Id, TReplyStatus::Failed, TReplySource::Direct);
        error = WritePageFile(first, made.PageFile);
        if (error == 0 && reply.PageDouble &&
            (error = WritePageFile(base + PageFileSuffix(format, true), made.PageFile2x)) != 0)
            ::unlink(first.c_str());
    }
    if (error != 0) {
        TThumbReply unwritten = ReplyOf(FRequest.Id, TReplyStatus::NotWritten, reply.Source);
        unwritten.WriteErrno = error;
        return unwritten;
    }
    reply.PageName = name;
    return std::move(reply);
}

TThumbReply TRequestFiles::Complete(THelperReply&& made) {
    TThumbReply& reply = made.Reply;
    reply.Id = FRequest.Id;
    if (FHelper.Cached) {
        for (const TCacheFile& file : made.CacheFiles) {
            if (StartsWith(file.Png, "\x89PNG\r\n\x1a\n"))
                WriteCacheFile(ThumbnailPath(FRoot, file.Size, FHelper.Original.Uri), file.Png);
        }
        if (made.RecordFailure)
            RecordFailure();
    }
    const bool page = FRequest.Kind == TRequestKind::PageThumbnail;
    if (page && reply.Status == TReplyStatus::Ok) {
        if (reply.PageFormat == TPageFormat::None)
            return ReplyOf(FRequest.Id, TReplyStatus::Failed, reply.Source);
        return CompletePage(made);
    }
    // Page files only come with a page's picture that was made.
    reply.PageFormat = TPageFormat::None;
    reply.PageDouble = false;
    reply.PageWidth = reply.PageHeight = 0;
    return std::move(reply);
}

} // namespace tavolix::thumbs
