#pragma once

#include "thumbs/Protocol.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace tavolix::thumbs {

// The files of one request on the pool's side, so that the helper never
// names one: before it decodes, the file itself (through the guarded open),
// the cache's thumbnails of it, its failure record and a page's last files
// are opened for it; after, what it made is written (the cache's files, the
// page's files, a failure record). Each step may wait on a file system that
// stopped answering: the pool runs them on threads of their own.
class TRequestFiles {
public:
    // `root`: the thumbnail cache ("" for none).
    TRequestFiles(TThumbRequest request, std::string root);
    ~TRequestFiles();
    TRequestFiles(const TRequestFiles&) = delete;
    TRequestFiles& operator=(const TRequestFiles&) = delete;

    // Opens what the helper needs; false when the request is answered
    // without a helper (Answer).
    bool Open();
    const TThumbRequest& Request() const { return FRequest; }
    // What the helper is asked, and its descriptors in the order of its roles.
    const THelperRequest& HelperRequest() const { return FHelper; }
    const std::vector<int>& Descriptors() const { return FFds; }
    // The caller's reply when Open was false.
    const TThumbReply& Answer() const { return FAnswer; }

    // Writes what the helper made and gives the caller's reply; a reply
    // that names files the helper was not given, or bytes that are no
    // picture of the format, fails.
    TThumbReply Complete(THelperReply&& made);
    // The helper died on the file: it is recorded as failed.
    TThumbReply Fail();

private:
    void Add(TFileRole role, int fd);
    int FdOf(TFileRole role) const;
    void RecordFailure();
    TThumbReply CompletePage(THelperReply& made);

    TThumbRequest FRequest;
    std::string FRoot;
    THelperRequest FHelper;
    std::vector<int> FFds;
    TThumbReply FAnswer;
    bool FOpened = false;
};

// An open regular file for reading, or -1 with errno set. Looked at before
// it is opened: a FIFO or a device named like a picture is never opened
// (that could wait for ever, or do something). A file of the kernel's own
// file systems (/proc/self/mem...) is refused with EACCES: no descriptor
// onto it leaves this process.
int OpenRegularFile(const std::string& path, struct stat& st);

// Folders of the cache found with wider modes than 0700 are set back.
void TightenCacheFolders(const std::string& root);

} // namespace tavolix::thumbs
