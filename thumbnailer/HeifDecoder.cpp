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

// Planar 8-bit RGB averaged down by a whole factor: scaling every pixel of
// a 12-megapixel photo in the toolkit costs nearly as much as decoding it.
QImage ReducedFromPlanes(const heif_image* image, QSize target) {
    if (heif_image_get_colorspace(image) != heif_colorspace_RGB ||
        heif_image_get_chroma_format(image) != heif_chroma_444)
        return {};
    const heif_channel channels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
    const int width = heif_image_get_width(image, heif_channel_R);
    const int height = heif_image_get_height(image, heif_channel_R);
    if (width <= 0 || height <= 0 || target.isEmpty())
        return {};
    const std::uint8_t* planes[3];
    int strides[3];
    for (int i = 0; i < 3; ++i) {
        planes[i] = heif_image_get_plane_readonly(image, channels[i], &strides[i]);
        if (!planes[i] || heif_image_get_bits_per_pixel_range(image, channels[i]) != 8 ||
            heif_image_get_width(image, channels[i]) != width ||
            heif_image_get_height(image, channels[i]) != height || strides[i] < width)
            return {};
    }
    const int factor = std::max(1, std::min(width / target.width(), height / target.height()));
    const int outW = width / factor, outH = height / factor;
    QImage out(outW, outH, QImage::Format_RGB32);
    if (out.isNull())
        return {};
    std::vector<std::uint32_t> sums(std::size_t(outW) * 3);
    const std::uint32_t area = std::uint32_t(factor) * factor;
    for (int oy = 0; oy < outH; ++oy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int i = 0; i < 3; ++i) {
            std::uint32_t* sum = sums.data() + std::size_t(outW) * i;
            for (int y = oy * factor; y < (oy + 1) * factor; ++y) {
                const std::uint8_t* row = planes[i] + std::size_t(y) * strides[i];
                for (int ox = 0; ox < outW; ++ox) {
                    std::uint32_t s = 0;
                    for (int x = ox * factor; x < (ox + 1) * factor; ++x)
                        s += row[x];
                    sum[ox] += s;
                }
            }
        }
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(oy));
        for (int ox = 0; ox < outW; ++ox)
            line[ox] = qRgb(int((sums[ox] + area / 2) / area), int((sums[outW + ox] + area / 2) / area),
                            int((sums[2 * outW + ox] + area / 2) / area));
    }
    return out;
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
    const QSize target = FitInto(
        QSize(heif_image_handle_get_width(chosen), heif_image_handle_get_height(chosen)), side, false);
    if (target.isEmpty())
        return std::nullopt;
    QImage out;
    // An 8-bit picture without alpha in planes, reduced there.
    const bool planes = !alpha && heif_image_handle_get_luma_bits_per_pixel(chosen) == 8;
    heif_image* decoded = nullptr;
    if (heif_decode_image(chosen, &decoded, heif_colorspace_RGB,
                          planes  ? heif_chroma_444
                          : alpha ? heif_chroma_interleaved_RGBA
                                  : heif_chroma_interleaved_RGB,
                          options.get())
            .code != heif_error_Ok)
        return std::nullopt;
    const THeifPtr<heif_image> image(decoded);
    if (planes) {
        out = ReducedFromPlanes(decoded, target);
        if (out.isNull())
            return std::nullopt;
    }
    if (out.isNull()) {
        int stride = 0;
        const std::uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(decoded, heif_channel_interleaved);
        const int height = heif_image_get_height(decoded, heif_channel_interleaved);
        if (!plane || width <= 0 || height <= 0 || stride < width * (alpha ? 4 : 3) ||
            heif_image_get_chroma_format(decoded) !=
                (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB) ||
            heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8)
            return std::nullopt;
        const QImage::Format format = !alpha ? QImage::Format_RGB888
                                      : heif_image_is_premultiplied_alpha(decoded)
                                          ? QImage::Format_RGBA8888_Premultiplied
                                          : QImage::Format_RGBA8888;
        // libheif's pixels, freed with `image`: what is returned has its own,
        // also when the size is already the target's (scaled() would share them).
        const QImage shared(plane, width, height, stride, format);
        out = shared.size() == target
                  ? shared.copy()
                  : shared.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (out.size() != target) {
        out = out.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (out.isNull())
        return std::nullopt;
    return TDecoded{std::move(out), shown};
}

} // namespace tavolix::thumbnailer
