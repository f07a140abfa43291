#ifndef ULVERANE_BASE_CANCELLED_H_
#define ULVERANE_BASE_CANCELLED_H_

namespace ulverane {

// Raised when the user stops the run. What was made so far is removed on
// the way out by its owners, exactly as after a failure; but it is no
// failure, so it is no runtime error either: the entry point ends the run
// with exit code 0 and no error box.
struct Cancelled {};

}  // namespace ulverane

#endif  // ULVERANE_BASE_CANCELLED_H_
