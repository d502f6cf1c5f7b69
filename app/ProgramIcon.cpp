#include "app/ProgramIcon.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace; a static library drops
// the resource object unless it is referenced.
static void InitProgramIconQrc() {
    Q_INIT_RESOURCE(programicon);
}

namespace tavolix::app {

QIcon ProgramIcon() {
    static const bool registered = (InitProgramIconQrc(), true);
    (void)registered;
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/tavolix-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace tavolix::app
