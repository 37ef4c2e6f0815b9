#pragma once
// ExcelApp: the relay of the application's workbook events to the control in the task
// pane. A workbook opened, created, activated or deactivated rebuilds the control's
// workbook tree.

#include "addin/AddInValues.h"
#include "runtime/ComServer.h"

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
    friend class Events;
    void Unsubscribe();

    // The four handlers; the workbook concerned is not used.
    HRESULT XlApp_NewWorkbook(IDispatch* Wb);
    HRESULT XlApp_WorkbookActivate(IDispatch* Wb);
    HRESULT XlApp_WorkbookDeactivate(IDispatch* Wb);
    HRESULT XlApp_WorkbookOpen(IDispatch* Wb);

    // The application whose events arrive here, and the subscription.
    ComPtr<IDispatch> XlApp;
    ComPtr<IConnectionPoint> point_;
    ComPtr<Events> events_;
    DWORD cookie_ = 0;
};

}  // namespace cartulane::addin
