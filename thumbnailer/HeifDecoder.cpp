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

// YCbCr to RGB by the file's matrix; nullopt for one we don't know.
struct TMatrix {
    float Kr, Kb;
    bool Full;
};

std::optional<TMatrix> MatrixOf(const heif_image_handle* handle) {
    heif_color_profile_nclx* nclx = nullptr;
    TMatrix m{0.299f, 0.114f, true}; // none given: BT.601, full range
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
        const int coefficients = nclx->matrix_coefficients;
        m.Full = nclx->full_range_flag != 0;
        heif_nclx_color_profile_free(nclx);
        switch (coefficients) {
        case 1: // BT.709
            m.Kr = 0.2126f, m.Kb = 0.0722f;
            break;
        case 2: // unspecified
        case 5:
        case 6: // BT.601
            break;
        case 9: // BT.2020
        case 10:
            m.Kr = 0.2627f, m.Kb = 0.0593f;
            break;
        default:
            return std::nullopt;
        }
    }
    return m;
}

std::uint8_t Clamp(float v) {
    return static_cast<std::uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

// An 8-bit picture as the codec gives it (YCbCr, grey or planar RGB),
// averaged down by a whole factor in its own planes and only then turned
// into RGB: converting and scaling every pixel of a 12-megapixel photo
// costs nearly as much as decoding it.
QImage ReducedFromPlanes(const heif_image* image, const TMatrix& m, QSize target) {
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    // Planar RGB takes the same way, its planes standing for Y, Cb and Cr.
    const bool rgb = heif_image_get_colorspace(image) == heif_colorspace_RGB;
    if (rgb && chroma != heif_chroma_444)
        return {};
    const heif_channel c0 = rgb ? heif_channel_R : heif_channel_Y;
    const heif_channel c1 = rgb ? heif_channel_G : heif_channel_Cb;
    const heif_channel c2 = rgb ? heif_channel_B : heif_channel_Cr;
    const bool mono = chroma == heif_chroma_monochrome;
    const int sx = chroma == heif_chroma_420 || chroma == heif_chroma_422 ? 2 : 1;
    const int sy = chroma == heif_chroma_420 ? 2 : 1;
    if (!mono && chroma != heif_chroma_420 && chroma != heif_chroma_422 && chroma != heif_chroma_444)
        return {};
    for (const heif_channel c : {c0, c1, c2}) {
        if ((!mono || c == c0) && heif_image_get_bits_per_pixel_range(image, c) != 8)
            return {};
    }
    const int width = heif_image_get_width(image, c0);
    const int height = heif_image_get_height(image, c0);
    if (width <= 0 || height <= 0 || target.isEmpty())
        return {};
    const int factor = std::max(1, std::min(width / target.width(), height / target.height()));
    const int outW = width / factor, outH = height / factor;
    int yStride = 0, cbStride = 0, crStride = 0;
    const std::uint8_t* yPlane = heif_image_get_plane_readonly(image, c0, &yStride);
    const std::uint8_t* cbPlane = mono ? nullptr : heif_image_get_plane_readonly(image, c1, &cbStride);
    const std::uint8_t* crPlane = mono ? nullptr : heif_image_get_plane_readonly(image, c2, &crStride);
    if (!yPlane || yStride < width || (!mono && (!cbPlane || !crPlane)))
        return {};
    const int chromaW = (width + sx - 1) / sx, chromaH = (height + sy - 1) / sy;
    if (!mono && (heif_image_get_width(image, c1) < chromaW || heif_image_get_height(image, c1) < chromaH ||
                  heif_image_get_width(image, c2) < chromaW || heif_image_get_height(image, c2) < chromaH ||
                  cbStride < chromaW || crStride < chromaW))
        return {};
    QImage out(outW, outH, QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const float yScale = m.Full ? 1.0f : 255.0f / 219.0f, yOffset = m.Full ? 0.0f : 16.0f;
    const float cScale = m.Full ? 1.0f : 255.0f / 224.0f;
    const float kg = 1.0f - m.Kr - m.Kb;
    std::vector<std::uint32_t> ySum(static_cast<std::size_t>(outW));
    std::vector<std::uint32_t> cbSum(static_cast<std::size_t>(outW)), crSum(static_cast<std::size_t>(outW));
    // The chroma samples under each output pixel: their first and count.
    const int cw = std::max(1, factor / sx), ch = std::max(1, factor / sy);
    for (int oy = 0; oy < outH; ++oy) {
        std::fill(ySum.begin(), ySum.end(), 0u);
        for (int y = oy * factor; y < (oy + 1) * factor; ++y) {
            const std::uint8_t* row = yPlane + std::size_t(y) * yStride;
            for (int ox = 0; ox < outW; ++ox) {
                std::uint32_t sum = 0;
                for (int x = ox * factor; x < (ox + 1) * factor; ++x)
                    sum += row[x];
                ySum[ox] += sum;
            }
        }
        if (!mono) {
            std::fill(cbSum.begin(), cbSum.end(), 0u);
            std::fill(crSum.begin(), crSum.end(), 0u);
            const int cy0 = std::min(oy * factor / sy, chromaH - ch);
            for (int cy = cy0; cy < cy0 + ch; ++cy) {
                const std::uint8_t* cbRow = cbPlane + std::size_t(cy) * cbStride;
                const std::uint8_t* crRow = crPlane + std::size_t(cy) * crStride;
                for (int ox = 0; ox < outW; ++ox) {
                    const int cx0 = std::min(ox * factor / sx, chromaW - cw);
                    for (int cx = cx0; cx < cx0 + cw; ++cx) {
                        cbSum[ox] += cbRow[cx];
                        crSum[ox] += crRow[cx];
                    }
                }
            }
        }
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(oy));
        const float yDiv = float(factor) * factor, cDiv = float(cw) * ch;
        for (int ox = 0; ox < outW; ++ox) {
            if (rgb) {
                line[ox] = qRgb(Clamp(ySum[ox] / yDiv), Clamp(cbSum[ox] / cDiv), Clamp(crSum[ox] / cDiv));
                continue;
            }
            const float luma = (ySum[ox] / yDiv - yOffset) * yScale;
            if (mono) {
                const std::uint8_t v = Clamp(luma);
                line[ox] = qRgb(v, v, v);
                continue;
            }
            const float cb = (cbSum[ox] / cDiv - 128.0f) * cScale, cr = (crSum[ox] / cDiv - 128.0f) * cScale;
            const float r = luma + 2.0f * (1.0f - m.Kr) * cr;
            const float b = luma + 2.0f * (1.0f - m.Kb) * cb;
            const float g = (luma - m.Kr * r - m.Kb * b) / kg;
            line[ox] = qRgb(Clamp(r), Clamp(g), Clamp(b));
        }
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
    // An 8-bit picture without alpha in the codec's own planes, reduced there.
    const std::optional<TMatrix> matrix = MatrixOf(chosen);
    const bool planes = !alpha && matrix && heif_image_handle_get_luma_bits_per_pixel(chosen) == 8;
    heif_image* decoded = nullptr;
    if (heif_decode_image(chosen, &decoded, planes ? heif_colorspace_undefined : heif_colorspace_RGB,
                          planes  ? heif_chroma_undefined
                          : alpha ? heif_chroma_interleaved_RGBA
                                  : heif_chroma_interleaved_RGB,
                          options.get())
            .code != heif_error_Ok)
        return std::nullopt;
    THeifPtr<heif_image> image(decoded);
    if (planes) {
        out = ReducedFromPlanes(decoded, *matrix, target);
        // Planes of another kind: decoded again as RGB.
        if (out.isNull()) {
            image.reset();
            decoded = nullptr;
            if (heif_decode_image(chosen, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                                  options.get())
                    .code != heif_error_Ok)
                return std::nullopt;
            image.reset(decoded);
        }
    }
    if (out.isNull()) {
        int stride = 0;
        const std::uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(decoded, heif_channel_interleaved);
        const int height = heif_image_get_height(decoded, heif_channel_interleaved);
        if (!plane || width <= 0 || height <= 0 || stride < width * (alpha ? 4 : 3))
            return std::nullopt;
        // Scaled straight from libheif's buffer.
        out = QImage(plane, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888)
                  .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (out.size() != target) {
        out = out.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (out.isNull())
        return std::nullopt;
    return TDecoded{std::move(out), shown};
}

} // namespace tavolix::thumbnailer
