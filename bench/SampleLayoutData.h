// The saved bytes of a layout collection of a realistic size: the kind and
// text the run sequence reads (keys 1001 and 1002) and a hundred more values.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

std::vector<uint8_t> SampleLayoutData();

}  // namespace bench
