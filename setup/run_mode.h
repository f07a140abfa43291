#ifndef ULVERANE_SETUP_RUN_MODE_H_
#define ULVERANE_SETUP_RUN_MODE_H_

#include <cstdint>

namespace ulverane {

// What a run does: the default setup, or one of the two package modes.
enum class RunMode : std::int32_t { Setup = 0, Extract = 1, Defaults = 2 };

}  // namespace ulverane

#endif  // ULVERANE_SETUP_RUN_MODE_H_
