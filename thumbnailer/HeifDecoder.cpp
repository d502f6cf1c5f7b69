#include "thumbnailer/HeifDecoder.h"

#include "thumbnailer/FdInput.h"

#include <algorithm>
#include <libheif/heif.h>
#include <memory>
#include <vector>

namespace tavolix::thumbnailer {

namespace {

// No camera makes a side this long; a file that claims one is refused
// before anything is allocated for it.
constexpr int kMaxSide = 32768;

struct THeifDeleter {
    void operator()(heif_context* p) const { heif_context_free(p); }
    void operator()(heif_image_handle* p) const { heif_image_handle_release(p); }
    void operator()(heif_image* p) const { heif_image_release(p); }
    void operator()(heif_decoding_options* p) const { heif_decoding_options_free(p); }
};
template <typename T> using THeifPtr = std::unique_ptr<T, THeifDeleter>;

std::int64_t ReaderPosition(void* input) {
    return static_cast<TFdInput*>(input)->Position();
}

int ReaderRead(void* data, std::size_t size, void* input) {
    return static_cast<TFdInput*>(input)->ReadExactly(data, size) ? 0 : -1;
}

int ReaderSeek(std::int64_t position, void* input) {
    return static_cast<TFdInput*>(input)->Seek(position) ? 0 : -1;
}

heif_reader_grow_status ReaderWait(std::int64_t size, void* input) {
    return size > static_cast<TFdInput*>(input)->Size() ? heif_reader_grow_status_size_beyond_eof
                                                        : heif_reader_grow_status_size_reached;
}

constexpr heif_reader kReader = {1, ReaderPosition, ReaderRead, ReaderSeek, ReaderWait};

// The thumbnail that is big enough for `side`, the smallest of those.
THeifPtr<heif_image_handle> ThumbnailFor(heif_image_handle* primary, int side) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0 || count > 16)
        return nullptr;
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int got = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    THeifPtr<heif_image_handle> best;
    int bestSide = 0;
    for (int i = 0; i < got; ++i) {
        heif_image_handle* handle = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[i], &handle).code != heif_error_Ok)
            continue;
        THeifPtr<heif_image_handle> thumb(handle);
        const int longSide =
            std::max(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
        if (longSide >= side && longSide <= kMaxSide && (!best || longSide < bestSide)) {
            best = std::move(thumb);
            bestSide = longSide;
        }
    }
    return best;
}

} // namespace

std::optional<TDecoded> DecodeHeif(int fd, int side) {
    TFdInput input(fd);
    if (input.Size() <= 0)
        return std::nullopt;
    THeifPtr<heif_context> context(heif_context_alloc());
    if (!context)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
    // Tiles one after another: the helper's processes are the parallelism.
    heif_context_set_max_decoding_threads(context.get(), 0);
    if (heif_context_read_from_reader(context.get(), &kReader, &input, nullptr).code != heif_error_Ok)
        return std::nullopt;
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
        return std::nullopt;
    const THeifPtr<heif_image_handle> primary(handle);
    // Sizes after the file's own turns and crops.
    const QSize shown(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    if (shown.isEmpty())
        return std::nullopt;
    THeifPtr<heif_image_handle> thumbnail = ThumbnailFor(handle, side);
    heif_image_handle* chosen = thumbnail ? thumbnail.get() : handle;
    const qint64 pixels =
        qint64(heif_image_handle_get_ispe_width(chosen)) * heif_image_handle_get_ispe_height(chosen);
    if (pixels <= 0 || pixels > kMaxWholePixels)
        return std::nullopt;

    const bool alpha = heif_image_handle_has_alpha_channel(chosen);
    const THeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        return std::nullopt;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (heif_decode_image(chosen, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
            .code != heif_error_Ok)
        return std::nullopt;
    const THeifPtr<heif_image> image(decoded);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0 || stride < width * (alpha ? 4 : 3))
        return std::nullopt;
    const QImage view(plane, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const QSize target = FitInto(view.size(), side, false);
    // Scaled straight from libheif's buffer; a copy when it is small already.
    QImage out = target == view.size() ? view.copy()
                                       : view.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.isNull())
        return std::nullopt;
    return TDecoded{std::move(out), shown};
}

} // namespace tavolix::thumbnailer
