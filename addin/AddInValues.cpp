#include "addin/AddInValues.h"

#include "addin/ExcelApp.h"

namespace cartulane::addin {

ComPtr<IDispatch> HostApp;
ComPtr<ExcelApp> AppEventSink;
ComPtr<_CustomTaskPane> FileTaskPane;
ComPtr<_TestControl> PaneControl;

void ReleaseAddInValues() {
    AppEventSink.Reset();
    HostApp.Reset();
    PaneControl.Reset();
    FileTaskPane.Reset();
}

void AbandonAddInValues() {
    AppEventSink.Detach();
    HostApp.Detach();
    PaneControl.Detach();
    FileTaskPane.Detach();
}

}  // namespace cartulane::addin
