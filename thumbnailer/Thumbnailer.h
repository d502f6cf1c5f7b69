#pragma once

#include "thumbs/Protocol.h"

#include <string>
#include <vector>

namespace tavolix::thumbnailer {

// The picture helper's work: answers one request at a time from the
// descriptors that came with it, and names no file. What is to be kept (the
// cache's files, a page's files) goes back in the reply for the pool to write.
class TThumbnailer {
public:
    explicit TThumbnailer(bool testDecoders = false) : FTestDecoders(testDecoders) {}
    // `files`: one descriptor for each of the request's roles, in order;
    // they stay the caller's.
    thumbs::THelperReply Handle(const thumbs::THelperRequest& request, const std::vector<int>& files);

private:
    thumbs::THelperReply Picture(const thumbs::THelperRequest& request);
    thumbs::THelperReply PartPicture(const thumbs::THelperRequest& request);
    thumbs::THelperReply PageThumbnail(const thumbs::THelperRequest& request);
    thumbs::THelperReply TakeMade(const thumbs::THelperRequest& request);
    int FdOf(thumbs::TFileRole role) const;

    bool FTestDecoders;
    const thumbs::THelperRequest* FRequest = nullptr;
    const std::vector<int>* FFiles = nullptr;
};

// True when the decoders work here, in the sandbox: a small picture each of
// the toolkit's JPEG reader (a plugin) and our own PNG reader comes out as it
// went in. A helper that cannot decode serves nothing.
bool CanDecode();

// Speaks the protocol on `in` and `out` until `in` ends: a hello saying what
// `sandbox` holds, then one reply a request. Returns 0 at the end of the
// input, 2 on a broken request (or descriptors that don't match its roles).
int Serve(int in, int out, TThumbnailer& thumbnailer, const thumbs::TSandboxState& sandbox);

} // namespace tavolix::thumbnailer
