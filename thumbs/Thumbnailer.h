#pragma once

#include "thumbs/Protocol.h"

#include <string>

namespace tavolix::thumbs {

// The picture helper's work: answers one request at a time, reading the
// file, the thumbnail cache under `root` ("" for none) and writing to it.
class TThumbnailer {
public:
    explicit TThumbnailer(std::string root, bool testDecoders = false)
        : FRoot(std::move(root)), FTestDecoders(testDecoders) {}
    TThumbReply Handle(const TThumbRequest& request);

private:
    TThumbReply Picture(const TThumbRequest& request);
    TThumbReply PartPicture(const TThumbRequest& request);
    TThumbReply PageThumbnail(const TThumbRequest& request);
    // Takes over the files of a page's last folder (`from` and `to` without
    // the suffixes); false when there are none to take.
    bool Reuse(const std::string& from, const std::string& to, TThumbReply& reply);
    TThumbReply RecordFailure(const TThumbRequest& request);

    std::string FRoot;
    bool FTestDecoders;
};

// Speaks the protocol on `in` and `out` until `in` ends: a hello, then one
// reply a request. Returns 0 at the end of the input, 2 on a broken request.
int Serve(int in, int out, TThumbnailer& thumbnailer);

} // namespace tavolix::thumbs
