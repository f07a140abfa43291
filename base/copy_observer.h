#ifndef ULVERANE_BASE_COPY_OBSERVER_H_
#define ULVERANE_BASE_COPY_OBSERVER_H_

#include <cstdint>

namespace ulverane {

// Told by a long copy how far it has got, on the copying thread, after each
// piece it wrote. It may end the copy by raising; the copy then undoes what
// it wrote, as after a failure of its own.
class CopyObserver {
 public:
  // `bytes` more were written since the last call.
  virtual void Copied(std::uint64_t bytes) = 0;

 protected:
  ~CopyObserver() = default;
};

}  // namespace ulverane

#endif  // ULVERANE_BASE_COPY_OBSERVER_H_
