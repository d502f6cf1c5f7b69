#include "TestPictures.h"

#include <cstdint>
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

} // namespace

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
