#pragma once

#include <utility>

namespace eks {

// Runs an action on every way out of a scope, an exception included:
//     busy = true;
//     ScopeExit notBusy{[&] { busy = false; }};
template <class F>
class ScopeExit {
  public:
    explicit ScopeExit(F action) : action_(std::move(action)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { action_(); }

  private:
    F action_;
};
template <class F>
ScopeExit(F) -> ScopeExit<F>;

}  // namespace eks
