#include "tests/support/GuiObjects.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace cartulane::test {

namespace {

DWORD Count(DWORD kind) { return ::GetGuiResources(::GetCurrentProcess(), kind); }

// A count of the GDI objects alive in the process, up to a constant, read from the handle
// table's slots (Wine counts no GDI objects for GetGuiResources): objects left behind push
// it up, whatever order freed slots are handed out in.
int NextGdiSlot() {
    // Enough probes to use up the freed slots first, whatever order they are handed out in:
    // the highest slot then counts the objects alive besides the probes.
    constexpr int kProbes = 2048;
    std::vector<HBRUSH> probes(kProbes);
    int highest = 0;
    for (HBRUSH& brush : probes) {
        brush = ::CreateSolidBrush(0);
        highest = std::max(highest, static_cast<int>(LOWORD(reinterpret_cast<ULONG_PTR>(brush))));
    }
    for (HBRUSH brush : probes) ::DeleteObject(brush);
    return highest - kProbes + 1;
}

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

::testing::AssertionResult GuiObjects::NoneLeft(int slots) const {
    constexpr DWORD more = 2;
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
