#include "IoHooks.h"

#include <utility>

namespace corvane::detail {

namespace {
const IoHooks* g_hooks = nullptr;
}  // namespace

const IoHooks* ActiveIoHooks() { return g_hooks; }

ScopedIoHooks::ScopedIoHooks(IoHooks hooks) : hooks_(std::move(hooks)), previous_(g_hooks) {
  g_hooks = &hooks_;
}

ScopedIoHooks::~ScopedIoHooks() { g_hooks = previous_; }

}  // namespace corvane::detail
