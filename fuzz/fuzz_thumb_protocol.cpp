// What the picture helper sends back (and the requests it reads): the frame
// reader over the whole stream, each payload through the decoders.
#include "FuzzOneInput.h"
#include "thumbs/Protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::thumbs;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    TFrameReader reader(kMaxReplyPayload);
    // In two pieces, as a socket may hand them over.
    const std::size_t half = size / 2;
    reader.Feed(reinterpret_cast<const char*>(data), half);
    reader.Feed(reinterpret_cast<const char*>(data) + half, size - half);
    std::uint32_t type = 0;
    std::string payload;
    while (reader.Next(type, payload) == TFrameReader::TResult::Frame) {
        if (const auto hello = DecodeHello(payload); hello && hello->Detail.size() > kMaxSandboxDetail)
            std::abort();
        if (const auto made = DecodeReply(payload)) {
            const TThumbReply& reply = made->Reply;
            const std::uint64_t pixels = std::uint64_t(reply.Width) * std::uint64_t(reply.Height);
            if (reply.Width < 0 || reply.Height < 0 || reply.Pixels.size() != pixels * 4)
                std::abort();
            // What the pool writes: a page's files of a known format and size.
            if (reply.PageWidth > kPageSide || reply.PageHeight > kPageSide ||
                (!made->PageFile.empty() && reply.PageFormat == TPageFormat::None) ||
                made->PageFile.size() > kMaxThumbnailFile || made->CacheFiles.size() > 3)
                std::abort();
        }
        if (const auto request = DecodeRequest(payload)) {
            if (request->Original.Uri.empty() || request->Original.Uri.size() > kMaxUriBytes ||
                request->Files.empty() || request->Files.size() > kMaxRequestFiles)
                std::abort();
        }
    }
    return 0;
}
