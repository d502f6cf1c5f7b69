#pragma once

#include "thumbs/Protocol.h"

#include <string>

namespace tavolix::thumbnailer {

// The picture helper's work: answers one request at a time, reading the
// file, the thumbnail cache under `root` ("" for none) and writing to it.
class TThumbnailer {
public:
    explicit TThumbnailer(std::string root, bool testDecoders = false)
        : FRoot(std::move(root)), FTestDecoders(testDecoders) {}
    thumbs::TThumbReply Handle(const thumbs::TThumbRequest& request);

private:
    thumbs::TThumbReply Picture(const thumbs::TThumbRequest& request);
    thumbs::TThumbReply PartPicture(const thumbs::TThumbRequest& request);
    thumbs::TThumbReply PageThumbnail(const thumbs::TThumbRequest& request);
    // Takes over the files of a page's last folder (`from` and `to` without
    // the suffixes); false when there are none to take.
    bool Reuse(const std::string& from, const std::string& to, thumbs::TThumbReply& reply);
    thumbs::TThumbReply RecordFailure(const thumbs::TThumbRequest& request);
    thumbs::TThumbReply TakeMade(const thumbs::TThumbRequest& request);

    std::string FRoot;
    bool FTestDecoders;
};

// Speaks the protocol on `in` and `out` until `in` ends: a hello, then one
// reply a request. Returns 0 at the end of the input, 2 on a broken request.
int Serve(int in, int out, TThumbnailer& thumbnailer);

} // namespace tavolix::thumbnailer
