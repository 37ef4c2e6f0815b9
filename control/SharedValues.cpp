#include "control/SharedValues.h"

namespace cartulane::control {

namespace {

// Deliberately a raw pointer: a thread_local object would be destroyed at thread or library
// detach, under the loader lock.
thread_local SharedValues* tShared = nullptr;

}  // namespace

SharedValues& Shared() {
    if (!tShared) tShared = new SharedValues();
    return *tShared;
}

void LetGoOfShared() { delete std::exchange(tShared, nullptr); }

}  // namespace cartulane::control
