// What the picture helper sends back (and the requests it reads): the frame
// reader over the whole stream, each payload through the decoders.
#include "thumbs/Protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::thumbs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFrameReader reader(kMaxReplyPayload);
    // In two pieces, as a socket may hand them over.
    const std::size_t half = size / 2;
    reader.Feed(reinterpret_cast<const char*>(data), half);
    reader.Feed(reinterpret_cast<const char*>(data) + half, size - half);
    std::uint32_t type = 0;
    std::string payload;
    while (reader.Next(type, payload) == TFrameReader::TResult::Frame) {
        IsHello(payload);
        if (const auto reply = DecodeReply(payload)) {
            const std::uint64_t pixels = std::uint64_t(reply->Width) * std::uint64_t(reply->Height);
            if (reply->Width < 0 || reply->Height < 0 || reply->Pixels.size() != pixels * 4)
                std::abort();
            // A page thumbnail's name becomes a file name and a link.
            if (reply->PageName.find_first_not_of("0123456789abcdef") != std::string::npos ||
                reply->PageWidth > kPageSide || reply->PageHeight > kPageSide)
                std::abort();
        }
        if (const auto request = DecodeRequest(payload)) {
            if (request->Path.empty() || request->Path.size() > kMaxPathBytes)
                std::abort();
            if (request->Kind == TRequestKind::PageThumbnail && request->Output.empty())
                std::abort();
        }
    }
    return 0;
}
