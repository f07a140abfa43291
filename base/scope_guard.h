#ifndef ULVERANE_BASE_SCOPE_GUARD_H_
#define ULVERANE_BASE_SCOPE_GUARD_H_

#include <utility>

namespace ulverane {

// Runs a rollback action when the scope ends, unless Dismiss was called on
// the way out of a successful commit.
template <typename Action>
class ScopeGuard {
 public:
  explicit ScopeGuard(Action action) : action_(std::move(action)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (armed_)
      action_();
  }

  void Dismiss() noexcept { armed_ = false; }

 private:
  Action action_;
  bool armed_ = true;
};

}  // namespace ulverane

#endif  // ULVERANE_BASE_SCOPE_GUARD_H_
