#include "addin/AddInValues.h"

#include "addin/ExcelApp.h"

#include <type_traits>

namespace cartulane::addin {

namespace {

static_assert(std::is_trivially_destructible_v<AddInValues>, "nothing is released at unload");
constinit AddInValues g_values;

}  // namespace

AddInValues& AddIn() { return g_values; }

void AddInValues::ReleasePanes() {
    PaneControl.Reset();
    FileTaskPane.Reset();
    WindowPanes.Reset();
    PaneFactory.Reset();
}

void AddInValues::ReleaseAll() {
    RibbonUI.Reset();
    AppEventSink.Reset();
    HostApp.Reset();
    ReleasePanes();
}

}  // namespace cartulane::addin
