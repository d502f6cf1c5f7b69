#include "resources/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitTavolixQrc() {
    Q_INIT_RESOURCE(tavolix);
}

namespace tavolix::resources {

void InitResources() {
    static const bool done = (InitTavolixQrc(), true);
    (void)done;
}

} // namespace tavolix::resources
