#include "ui/ProgramIcon.h"

namespace tavolix::ui {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/tavolix-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace tavolix::ui
