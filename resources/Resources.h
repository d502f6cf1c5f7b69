#pragma once

namespace tavolix::resources {

// Registers the compiled-in resources (":/dirimgs.bmp", ...). Cheap to repeat.
void InitResources();

} // namespace tavolix::resources
