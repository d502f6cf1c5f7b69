#include "ui/NameText.h"

namespace tavolix::ui {

QString ToText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    return text.toStdString();
}

} // namespace tavolix::ui
