#include "thumbnailer/RawDecoder.h"

#include <algorithm>
#include <libraw/libraw.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QImageReader>
#include <QTransform>

// LibRaw's own threads: one, as every other decoder here; the helper's
// processes are the parallelism, and idle OpenMP threads spin on the CPU
// budget.
extern "C" void omp_set_num_threads(int);

namespace tavolix::thumbnailer {

namespace {

// Raw files of today's cameras are under 200 MB.
constexpr off_t kMaxRawFileBytes = off_t(1) << 30;
// What LibRaw may allocate for the raw data, within the helper's limit.
constexpr unsigned kMaxRawMemoryMiB = 192;

// The file mapped for reading: LibRaw reads from memory, and no page of it
// counts against the helper's data limit.
class TMappedFile {
public:
    explicit TMappedFile(int fd) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > kMaxRawFileBytes)
            return;
        void* data = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED)
            return;
        FData = data;
        FSize = static_cast<std::size_t>(st.st_size);
    }
    ~TMappedFile() {
        if (FData)
            ::munmap(FData, FSize);
    }
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;
    void* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

private:
    void* FData = nullptr;
    std::size_t FSize = 0;
};

// LibRaw's flip: 3 half a turn, 5 a quarter counter-clockwise, 6 a quarter
// clockwise.
QImage Turned(QImage image, int flip) {
    const int degrees = flip == 3 ? 180 : flip == 5 ? 270 : flip == 6 ? 90 : 0;
    if (degrees == 0 || image.isNull())
        return image;
    return image.transformed(QTransform().rotate(degrees));
}

// The preview as LibRaw hands it over: a JPEG read scaled (libjpeg's DCT
// scaling), or 8-bit RGB pixels.
QImage PreviewImage(LibRaw& raw, int side) {
    int error = 0;
    libraw_processed_image_t* made = raw.dcraw_make_mem_thumb(&error);
    if (!made)
        return {};
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> owned(
        made, LibRaw::dcraw_clear_mem);
    if (made->type == LIBRAW_IMAGE_JPEG) {
        QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(made->data),
                                                   static_cast<qsizetype>(made->data_size));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        reader.setAllocationLimit(kAllocationLimitMiB);
        // The camera's flag turns it, not the preview's own.
        reader.setAutoTransform(false);
        const QSize size = reader.size();
        if (!size.isValid() || qint64(size.width()) * size.height() > kMaxScaledPixels)
            return {};
        reader.setScaledSize(FitInto(size, side, false));
        return reader.read();
    }
    if (made->type == LIBRAW_IMAGE_BITMAP && made->colors == 3 && made->bits == 8 &&
        std::size_t(made->width) * made->height * 3 <= made->data_size)
        return QImage(made->data, made->width, made->height, made->width * 3, QImage::Format_RGB888).copy();
    return {};
}

// Half the size of the sensor, its 2x2 cells taken as pixels: no
// demosaicing, the camera's white balance.
QImage HalfSizeImage(LibRaw& raw) {
    raw.imgdata.params.half_size = 1;
    raw.imgdata.params.use_camera_wb = 1;
    raw.imgdata.params.output_bps = 8;
    if (raw.unpack() != LIBRAW_SUCCESS || raw.dcraw_process() != LIBRAW_SUCCESS)
        return {};
    int error = 0;
    libraw_processed_image_t* made = raw.dcraw_make_mem_image(&error);
    if (!made)
        return {};
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> owned(
        made, LibRaw::dcraw_clear_mem);
    if (made->type != LIBRAW_IMAGE_BITMAP || made->colors != 3 || made->bits != 8 ||
        std::size_t(made->width) * made->height * 3 > made->data_size)
        return {};
    // Already turned by LibRaw.
    return QImage(made->data, made->width, made->height, made->width * 3, QImage::Format_RGB888).copy();
}

} // namespace

std::optional<TDecoded> DecodeRaw(int fd, int side) {
    const TMappedFile file(fd);
    if (!file.Data())
        return std::nullopt;
    omp_set_num_threads(1);
    // LibRaw's object is large: on the heap, not on the stack.
    const auto raw =
        std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
    raw->imgdata.params.max_raw_memory_mb = kMaxRawMemoryMiB;
    if (raw->open_buffer(file.Data(), file.Size()) != LIBRAW_SUCCESS)
        return std::nullopt;
    const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
    const int flip = sizes.flip;
    QSize shown(sizes.width, sizes.height);
    if (flip & 4)
        shown.transpose();
    if (shown.isEmpty())
        return std::nullopt;

    QImage preview;
    if (raw->unpack_thumb() == LIBRAW_SUCCESS)
        preview = Turned(PreviewImage(*raw, side), flip);
    QImage image;
    if (!preview.isNull() && std::max(preview.width(), preview.height()) >= side)
        image = std::move(preview);
    else if (qint64(sizes.raw_width) * sizes.raw_height <= 4 * kMaxWholePixels)
        image = HalfSizeImage(*raw);
    if (image.isNull())
        image = std::move(preview);
    if (image.isNull())
        return std::nullopt;
    if (image.width() > side || image.height() > side)
        image =
            image.scaled(FitInto(image.size(), side, false), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return TDecoded{std::move(image), shown};
}

} // namespace tavolix::thumbnailer
