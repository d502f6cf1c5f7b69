#include "TestPictures.h"

#include <cstdint>
#include <cstdlib>
#include <vector>
#include <zlib.h>

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

namespace {

void U32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

void Chunk(std::string& png, const char* type, const std::string& data) {
    U32(png, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    U32(png, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

std::string Deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 6);
    out.resize(size);
    return out;
}

int Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

} // namespace

std::string PngOf(const QImage& image, bool interlaced) {
    const bool alpha = image.hasAlphaChannel();
    const QImage rgb = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int bpp = alpha ? 4 : 3;
    struct TPass {
        int X0, Y0, Dx, Dy;
    };
    const std::vector<TPass> passes =
        interlaced ? std::vector<TPass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                   : std::vector<TPass>{{0, 0, 1, 1}};
    static const int kFilters[] = {4, 4, 1, 2, 3, 0, 4};
    std::string data;
    int rows = 0;
    for (const TPass& p : passes) {
        const int pw = image.width() > p.X0 ? (image.width() - p.X0 + p.Dx - 1) / p.Dx : 0;
        const int ph = image.height() > p.Y0 ? (image.height() - p.Y0 + p.Dy - 1) / p.Dy : 0;
        if (pw == 0 || ph == 0)
            continue;
        std::vector<int> up(std::size_t(pw) * bpp, 0);
        for (int j = 0; j < ph; ++j) {
            std::vector<int> cur(up.size());
            const uchar* line = rgb.constScanLine(p.Y0 + j * p.Dy);
            for (int i = 0; i < pw; ++i)
                for (int k = 0; k < bpp; ++k)
                    cur[std::size_t(i) * bpp + k] = line[std::size_t(p.X0 + i * p.Dx) * bpp + k];
            const int filter = kFilters[rows++ % 7];
            data += static_cast<char>(filter);
            for (std::size_t i = 0; i < cur.size(); ++i) {
                const int a = i >= std::size_t(bpp) ? cur[i - bpp] : 0, b = up[i],
                          c = i >= std::size_t(bpp) ? up[i - bpp] : 0;
                const int predicted = filter == 1   ? a
                                      : filter == 2 ? b
                                      : filter == 3 ? (a + b) / 2
                                      : filter == 4 ? Paeth(a, b, c)
                                                    : 0;
                data += static_cast<char>((cur[i] - predicted) & 0xFF);
            }
            up = cur;
        }
    }
    std::string png("\x89PNG\r\n\x1a\n", 8), header;
    U32(header, static_cast<std::uint32_t>(image.width()));
    U32(header, static_cast<std::uint32_t>(image.height()));
    header += static_cast<char>(8);
    header += static_cast<char>(alpha ? 6 : 2);
    header += std::string(2, '\0');
    header += static_cast<char>(interlaced ? 1 : 0);
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", Deflate(data));
    Chunk(png, "IEND", {});
    return png;
}

std::string PictureBytes(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return bytes.toStdString();
}

QImage HalvesImage(int width, int height, QColor right) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(right);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::black);
    return image;
}

std::string JpegWithOrientation(const QImage& image, int orientation) {
    const std::string jpeg = PictureBytes(image, "jpg", 95);
    // APP1 "Exif": a big-endian TIFF header and one IFD entry, 0x0112 SHORT.
    std::string exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 24);
    exif += static_cast<char>(0);
    exif += static_cast<char>(orientation);
    exif += std::string(6, '\0'); // value padding, no next IFD
    std::string app1 = "\xFF\xE1";
    app1 += static_cast<char>((exif.size() + 2) >> 8);
    app1 += static_cast<char>((exif.size() + 2) & 0xFF);
    return jpeg.substr(0, 2) + app1 + exif + jpeg.substr(2);
}

std::string PdfPage(int width, int height) {
    const std::string content =
        "0 0 1 rg 0 0 " + std::to_string(width) + " " + std::to_string(height) + " re f\n";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) + " " +
            std::to_string(height) + "] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[21];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string SvgPicture(int width, int height) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
           std::to_string(height) + "\"><rect width=\"100%\" height=\"100%\" fill=\"#0a0\"/></svg>\n";
}

std::string PngOfZeros(int width, int height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    U32(header, static_cast<std::uint32_t>(width));
    U32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\0\0\0\0", 5); // 8-bit grey
    Chunk(png, "IHDR", header);
    z_stream z{};
    deflateInit(&z, 1);
    const std::string row(static_cast<std::size_t>(width) + 1, '\0');
    std::string idat;
    std::vector<unsigned char> out(1 << 16);
    for (int y = 0; y <= height; ++y) {
        const bool last = y == height;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
        z.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            idat.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", {});
    return png;
}
