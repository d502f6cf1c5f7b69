#include "ui/NameText.h"

#include "platform/VisibleName.h"

namespace tavolix::ui {

QString ToText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    return text.toStdString();
}

QString ToVisibleText(std::string_view bytes) {
    return ToText(platform::VisibleName(bytes));
}

} // namespace tavolix::ui
