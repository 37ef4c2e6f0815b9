#include "control/SharedValues.h"

#include "runtime/ThreadValue.h"

namespace cartulane::control {

SharedValues& Shared() { return ThreadValue<SharedValues>(); }

}  // namespace cartulane::control
