#include "tests/support/GuiObjects.h"

#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <sstream>

namespace cartulane::test {

namespace {

DWORD Count(DWORD kind) { return ::GetGuiResources(::GetCurrentProcess(), kind); }

::testing::AssertionResult Result(const std::ostringstream& failures) {
    if (failures.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << failures.str();
}

}  // namespace

GuiObjects::GuiObjects() : slot_(NextGdiSlot()), gdi_(Count(GR_GDIOBJECTS)), user_(Count(GR_USEROBJECTS)) {}

void GuiObjects::CompareSlots(int slots, std::ostream& failures) const {
    const int now = NextGdiSlot();
    if (std::abs(now - slot_) >= slots)
        failures << "GDI slots " << slot_ << " before, " << now << " after (" << slots << " apart or more); ";
}

::testing::AssertionResult GuiObjects::NoneLeft(int slots, DWORD more) const {
    std::ostringstream failures;
    CompareSlots(slots, failures);
    const DWORD gdi = Count(GR_GDIOBJECTS), user = Count(GR_USEROBJECTS);
    if (gdi > gdi_ + more) failures << "GDI objects " << gdi_ << " before, " << gdi << " after; ";
    if (user > user_ + more) failures << "USER objects " << user_ << " before, " << user << " after; ";
    return Result(failures);
}

::testing::AssertionResult GuiObjects::NoGdiLeft(int slots) const {
    std::ostringstream failures;
    CompareSlots(slots, failures);
    const DWORD gdi = Count(GR_GDIOBJECTS);
    if (gdi != gdi_) failures << "GDI objects " << gdi_ << " before, " << gdi << " after; ";
    return Result(failures);
}

}  // namespace cartulane::test
