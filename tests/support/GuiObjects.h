#pragma once
// The GUI objects this process holds, counted before a loop that makes and frees windows,
// images or drawing contexts, and compared after it: what the loop left behind. Three
// counts: the GDI handle table's slots (NextGdiSlot, which Wine keeps), and the GDI and
// USER objects of GetGuiResources (which Windows keeps).

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>

namespace cartulane::test {

class GuiObjects {
public:
    GuiObjects();  // counted now

    // Success when the slots moved by less than slots since, and there are at most two GDI
    // and two USER objects more than then.
    ::testing::AssertionResult NoneLeft(int slots) const;
    // Success when the slots moved by less than slots since, and there are exactly as many
    // GDI objects as then: what drawing that makes no window leaves.
    ::testing::AssertionResult NoGdiLeft(int slots) const;

private:
    void CompareSlots(int slots, std::ostream& failures) const;
    int slot_;
    DWORD gdi_;
    DWORD user_;
};

}  // namespace cartulane::test
