#include "thumbnailer/SelfContainedSvg.h"

#include <zlib.h>

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace tavolix::thumbnailer {

namespace {

// Every gzip member, as the renderer reads them, within `maxBytes`.
std::optional<QByteArray> Gunzip(const QByteArray& packed, qint64 maxBytes) {
    z_stream z{};
    if (inflateInit2(&z, MAX_WBITS + 16) != Z_OK)
        return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    z.avail_in = static_cast<uInt>(packed.size());
    QByteArray out;
    char chunk[64 * 1024];
    bool ok = true;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        const int rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, static_cast<qsizetype>(sizeof chunk - z.avail_out));
        if (out.size() > maxBytes || (rc != Z_OK && rc != Z_STREAM_END)) {
            ok = false;
            break;
        }
        if (rc == Z_STREAM_END && !(z.avail_in > 0 && inflateReset(&z) == Z_OK))
            break;
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
            ok = false; // cut short
            break;
        }
    }
    inflateEnd(&z);
    return ok ? std::optional<QByteArray>(std::move(out)) : std::nullopt;
}

bool IsNamed(QStringView qualified, QStringView local) {
    return qualified == local || (qualified.endsWith(local) && qualified.size() > local.size() &&
                                  qualified[qualified.size() - local.size() - 1] == u':');
}

} // namespace

std::optional<QByteArray> SelfContainedSvg(const QByteArray& file, qint64 maxBytes) {
    QByteArray text = file;
    if (file.startsWith("\x1f\x8b")) {
        std::optional<QByteArray> unpacked = Gunzip(file, maxBytes);
        if (!unpacked)
            return std::nullopt;
        text = std::move(*unpacked);
    }
    // Read as the renderer reads it (names as written, up to the first
    // </svg>), and written again without what reaches outside.
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    QByteArray rewritten;
    QXmlStreamWriter writer(&rewritten);
    bool changed = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            writer.writeStartElement(reader.qualifiedName().toString());
            const bool image = IsNamed(reader.qualifiedName(), u"image");
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                if (image && IsNamed(attribute.qualifiedName(), u"href") &&
                    !attribute.value().trimmed().startsWith(u"data:", Qt::CaseInsensitive)) {
                    changed = true;
                    continue;
                }
                writer.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            writer.writeEndElement();
            if (reader.qualifiedName() == u"svg")
                return changed ? rewritten : text;
            break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::ProcessingInstruction:
            // A style sheet is fetched by name; nothing else here matters.
            changed = changed || reader.processingInstructionTarget() == u"xml-stylesheet";
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return std::nullopt;
    return changed ? rewritten : text;
}

} // namespace tavolix::thumbnailer
