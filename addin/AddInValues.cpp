#include "addin/AddInValues.h"

#include "addin/ExcelApp.h"

namespace cartulane::addin {

constinit StaticComPtr<IDispatch> HostApp;
constinit StaticComPtr<ExcelApp> AppEventSink;
constinit StaticComPtr<_CustomTaskPane> FileTaskPane;
constinit StaticComPtr<_TestControl> PaneControl;
constinit StaticComPtr<IDispatch> RibbonUI;
constinit bool PanePerWindow = false;
constinit StaticComPtr<ICTPFactory> PaneFactory;
constinit com::ModuleState<std::vector<WindowPane>> WindowPanes;
constinit bool PanesShown = true;

void ReleasePane() {
    PaneControl.Reset();
    FileTaskPane.Reset();
    WindowPanes.Reset();
    PaneFactory.Reset();
}

void ReleaseAddInValues() {
    RibbonUI.Reset();
    AppEventSink.Reset();
    HostApp.Reset();
    ReleasePane();
}

}  // namespace cartulane::addin
