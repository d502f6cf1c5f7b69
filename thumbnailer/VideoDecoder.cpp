#include "thumbnailer/VideoDecoder.h"

#include "thumbnailer/FdInput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <QPainter>
#include <QPainterPath>
#include <QTransform>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

namespace tavolix::thumbnailer {

namespace {

// The containers of the table's video kinds: no other demuxer (playlists,
// concatenations, image sequences) ever reads the file.
constexpr const char* kFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi";
// Packets read for one frame before giving up.
constexpr int kMaxPackets = 2000;
constexpr int kIoBufferBytes = 64 * 1024;

int ReadPacket(void* opaque, std::uint8_t* buf, int size) {
    const long n = static_cast<TFdInput*>(opaque)->Read(buf, static_cast<std::size_t>(size));
    return n > 0 ? static_cast<int>(n) : n == 0 ? AVERROR_EOF : AVERROR(EIO);
}

std::int64_t SeekPacket(void* opaque, std::int64_t offset, int whence) {
    auto* input = static_cast<TFdInput*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return input->Size();
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += input->Position();
        break;
    case SEEK_END:
        offset += input->Size();
        break;
    default:
        return AVERROR(EINVAL);
    }
    return input->Seek(offset) ? offset : AVERROR(EINVAL);
}

// Nothing but the file itself is opened: a reference to another file or
// address in a hostile container is refused.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

struct TFormatCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct TIoFreer {
    void operator()(AVIOContext* p) const {
        av_freep(&p->buffer);
        avio_context_free(&p);
    }
};
struct TCodecFreer {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct TFrameFreer {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct TPacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TScaleFreer {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

// Degrees clockwise, a multiple of 90, as players turn the picture.
int RotationOf(const AVStream* stream) {
    std::size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(std::int32_t))
        return 0;
    const double angle = -av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (!std::isfinite(angle))
        return 0;
    const int quarters = static_cast<int>(std::lround(angle / 90.0));
    return ((quarters % 4) + 4) % 4 * 90;
}

// The first frame the decoder gives from where the file stands.
bool FirstFrame(AVFormatContext* format, AVCodecContext* codec, int streamIndex, AVFrame* frame) {
    const std::unique_ptr<AVPacket, TPacketFreer> packet(av_packet_alloc());
    if (!packet)
        return false;
    for (int read = 0; read < kMaxPackets; ++read) {
        const int r = av_read_frame(format, packet.get());
        if (r < 0)
            break;
        if (packet->stream_index == streamIndex) {
            const int sent = avcodec_send_packet(codec, packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
                return false;
            if (avcodec_receive_frame(codec, frame) == 0)
                return true;
        } else {
            av_packet_unref(packet.get());
        }
    }
    // The end of the file: what the decoder still holds.
    avcodec_send_packet(codec, nullptr);
    return avcodec_receive_frame(codec, frame) == 0;
}

} // namespace

void DrawFilmMark(QImage& image) {
    if (image.isNull())
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // A frame of film: a dark card with a row of holes above and below and
    // a play triangle, small beside the picture.
    const int shortSide = std::min(image.width(), image.height());
    const double w = std::clamp(shortSide / 4.0, 10.0, 40.0);
    const double h = w * 0.75;
    const double margin = std::max(1.0, shortSide / 32.0);
    const QRectF card(margin, image.height() - margin - h, w, h);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 190));
    painter.drawRoundedRect(card, w / 10, w / 10);
    painter.setBrush(QColor(255, 255, 255, 230));
    const double hole = w / 10;
    for (int i = 0; i < 4; ++i) {
        const double x = card.left() + w * (0.14 + 0.22 * i);
        painter.drawRect(QRectF(x, card.top() + hole * 0.6, hole, hole * 0.8));
        painter.drawRect(QRectF(x, card.bottom() - hole * 1.4, hole, hole * 0.8));
    }
    QPainterPath play;
    const QPointF c = card.center();
    play.moveTo(c.x() - w * 0.12, c.y() - h * 0.2);
    play.lineTo(c.x() + w * 0.16, c.y());
    play.lineTo(c.x() - w * 0.12, c.y() + h * 0.2);
    play.closeSubpath();
    painter.drawPath(play);
}

std::optional<TDecoded> DecodeVideo(int fd, int side) {
    TFdInput input(fd);
    if (input.Size() <= 0)
        return std::nullopt;
    av_log_set_level(AV_LOG_QUIET);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return std::nullopt;
    const std::unique_ptr<AVIOContext, TIoFreer> io(
        avio_alloc_context(buffer, kIoBufferBytes, 0, &input, ReadPacket, nullptr, SeekPacket));
    if (!io) {
        av_free(buffer);
        return std::nullopt;
    }
    AVFormatContext* opened = avformat_alloc_context();
    if (!opened)
        return std::nullopt;
    opened->pb = io.get();
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    opened->format_whitelist = av_strdup(kFormats);
    opened->protocol_whitelist = av_strdup("none");
    opened->io_open = RefuseOpen;
    // On failure the context is freed by avformat_open_input itself.
    if (avformat_open_input(&opened, nullptr, nullptr, nullptr) < 0)
        return std::nullopt;
    const std::unique_ptr<AVFormatContext, TFormatCloser> format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return std::nullopt;
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder)
        return std::nullopt;
    AVStream* stream = format->streams[index];
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVCodecParameters* parameters = stream->codecpar;
    if (parameters->width <= 0 || parameters->height <= 0 ||
        qint64(parameters->width) * parameters->height > kMaxWholePixels)
        return std::nullopt;

    const std::unique_ptr<AVCodecContext, TCodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0)
        return std::nullopt;
    codec->thread_count = 1;
    codec->max_pixels = kMaxWholePixels;
    // Only key frames are decoded: the one found by seeking is the frame.
    codec->skip_frame = AVDISCARD_NONKEY;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return std::nullopt;

    if (format->duration > 0 && format->duration != AV_NOPTS_VALUE) {
        const std::int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
        av_seek_frame(format.get(), -1, start + format->duration / 10, AVSEEK_FLAG_BACKWARD);
    }
    const std::unique_ptr<AVFrame, TFrameFreer> frame(av_frame_alloc());
    if (!frame)
        return std::nullopt;
    if (!FirstFrame(format.get(), codec.get(), index, frame.get())) {
        // No frame marked as a key: every frame from the start.
        avcodec_flush_buffers(codec.get());
        codec->skip_frame = AVDISCARD_DEFAULT;
        if (av_seek_frame(format.get(), index, stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0,
                          AVSEEK_FLAG_BACKWARD) < 0 ||
            !FirstFrame(format.get(), codec.get(), index, frame.get()))
            return std::nullopt;
    }
    if (frame->width <= 0 || frame->height <= 0 || qint64(frame->width) * frame->height > kMaxWholePixels)
        return std::nullopt;

    // The size shown: the pixels' aspect applied, then the turn.
    const AVRational aspect = av_guess_sample_aspect_ratio(format.get(), stream, frame.get());
    QSize display(frame->width, frame->height);
    if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den) {
        const double width = double(frame->width) * aspect.num / aspect.den;
        if (width >= 1 && width <= 65536)
            display.setWidth(static_cast<int>(std::lround(width)));
    }
    const QSize target = FitInto(display, side, false);
    const std::unique_ptr<SwsContext, TScaleFreer> scale(
        sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), target.width(),
                       target.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scale)
        return std::nullopt;
    QImage image(target, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    std::uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scale.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) !=
        target.height())
        return std::nullopt;

    const int rotation = RotationOf(stream);
    if (rotation != 0) {
        image = image.transformed(QTransform().rotate(rotation));
        if (rotation != 180)
            display.transpose();
    }
    DrawFilmMark(image);
    return TDecoded{std::move(image), display};
}

} // namespace tavolix::thumbnailer
