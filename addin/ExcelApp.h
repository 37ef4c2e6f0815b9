#pragma once
// ExcelApp: the relay of the application's events to the controls in the task panes. A
// workbook opened, created, activated or deactivated rebuilds the workbook trees; so does
// a workbook's close, once it has completed. From 15.0 on, a window activated without a
// pane of ours gets one.

#include "addin/AddInValues.h"
#include "runtime/ComServer.h"

#include <memory>

namespace cartulane::addin {

class ExcelApp final : public com::ComObject<ExcelApp, com::TypeLibDispatch<_ExcelApp>> {
public:
    ExcelApp();
    ~ExcelApp();
    static const QITAB* Interfaces();

    // _ExcelApp
    STDMETHODIMP Attech(IDispatch** application) override;

private:
    class Events;
    class Later;
    friend class Events;
    void Unsubscribe();

    // The handlers that rebuild the trees; the workbook concerned is not used. A save
    // (14.0 and later) and a new sheet are told too.
    HRESULT XlApp_NewWorkbook(IDispatch* Wb);
    HRESULT XlApp_WorkbookActivate(IDispatch* Wb);
    HRESULT XlApp_WorkbookDeactivate(IDispatch* Wb);
    HRESULT XlApp_WorkbookOpen(IDispatch* Wb);
    HRESULT XlApp_WorkbookAfterSave(IDispatch* Wb);
    HRESULT XlApp_WorkbookNewSheet(IDispatch* Wb);
    // The close may still be cancelled: the trees are rebuilt once it is done.
    HRESULT XlApp_WorkbookBeforeClose(IDispatch* Wb);
    HRESULT XlApp_WindowActivate(IDispatch* Wb, IDispatch* Wn);
    // The trees rebuilt once the application's call under way is done.
    HRESULT RefreshLater();

    // The application whose events arrive here, and the subscription.
    ComPtr<IDispatch> XlApp;
    ComPtr<IConnectionPoint> point_;
    ComPtr<Events> events_;
    DWORD cookie_ = 0;
    std::unique_ptr<Later> later_;
};

}  // namespace cartulane::addin
