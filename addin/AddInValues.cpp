#include "addin/AddInValues.h"

#include "addin/ExcelApp.h"

namespace cartulane::addin {

constinit StaticComPtr<IDispatch> HostApp;
constinit StaticComPtr<ExcelApp> AppEventSink;
constinit StaticComPtr<_CustomTaskPane> FileTaskPane;
constinit StaticComPtr<_TestControl> PaneControl;

void ReleasePane() {
    PaneControl.Reset();
    FileTaskPane.Reset();
}

void ReleaseAddInValues() {
    AppEventSink.Reset();
    HostApp.Reset();
    ReleasePane();
}

}  // namespace cartulane::addin
