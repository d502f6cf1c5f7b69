// The PE/NE resource reader behind a program's first icon.
#include "FuzzOneInput.h"
#include "pictures/IconFile.h"
#include "pictures/ProgramIcons.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::pictures;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const TMemorySource source(TByteView(data, size));
    const TProgramIcon icon = ExtractFirstIcon(source, 32, 32);
    if ((icon.Handle == TProgramIcon::kIcon) != !icon.IcoBytes.empty())
        std::abort();
    if (!icon.IcoBytes.empty() &&
        !IsSaneIconImage(TByteView(icon.IcoBytes.data() + 22, icon.IcoBytes.size() - 22)))
        std::abort();
    return 0;
}
