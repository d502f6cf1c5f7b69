#include "ui/UiFonts.h"

#include <QStringList>

namespace tavolix::ui {

void InstallFontSubstitutes() {
    static bool done = false;
    if (done)
        return;
    done = true;
    // The IPA fonts under their Japanese names too.
    const QStringList proportional = {QStringLiteral("IPAPGothic"),
                                      QStringLiteral("IPA Pゴシック"), // not words: a font's name
                                      QStringLiteral("DejaVu Sans")};
    const QStringList fixed = {QStringLiteral("IPAGothic"),
                               QStringLiteral("IPAゴシック"), // not words: a font's name
                               QStringLiteral("DejaVu Sans Mono")};
    const struct {
        const char* Face;
        const QStringList& Substitutes;
    } table[] = {
        {kPGothic, proportional}, {"MS PGothic", proportional}, {kGothic, fixed},
        {"MS Gothic", fixed},     {kFixedSys, fixed},           {kSansSerif, proportional},
    };
    for (const auto& row : table) {
        QFont::insertSubstitutions(QString::fromUtf8(row.Face), row.Substitutes);
    }
}

QFont UiFont(const char* face, int pixelHeight) {
    QFont font(QString::fromUtf8(face));
    font.setPixelSize(pixelHeight);
    const QString name = font.family();
    if (name == QString::fromUtf8(kGothic) || name == QString::fromUtf8(kFixedSys)) {
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    return font;
}

} // namespace tavolix::ui
