#include "control/SharedValues.h"

#include "runtime/ThreadValue.h"

namespace cartulane::control {

SharedValues& Shared() { return ThreadValue<SharedValues>::Get(); }

void LetGoOfShared() { ThreadValue<SharedValues>::LetGo(); }

}  // namespace cartulane::control
