#include "addin/ExcelApp.h"

namespace cartulane::addin {

// Receives the application's events for an ExcelApp. The application holds it through
// the subscription; it lets go of its ExcelApp when the subscription ends.
class ExcelApp::Events final : public com::ComObject<Events, IDispatch> {
public:
    explicit Events(ExcelApp* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    static const QITAB* Interfaces() {
        static const QITAB table[] = {
            QITABENT(Events, IDispatch),
            QITABENTMULTI2(Events, DIID_AppEvents, IDispatch),
            {},
        };
        return table;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (!owner_) return S_OK;
        IDispatch* workbook = nullptr;
        if (params && params->cArgs >= 1 && params->rgvarg[params->cArgs - 1].vt == VT_DISPATCH)
            workbook = params->rgvarg[params->cArgs - 1].pdispVal;
        ComPtr<ExcelApp> owner(owner_);  // a handler may end the subscription
        return Boundary([&]() -> HRESULT {
            switch (id) {
                case office::NewWorkbook: return owner->XlApp_NewWorkbook(workbook);
                case office::WorkbookActivate: return owner->XlApp_WorkbookActivate(workbook);
                case office::WorkbookDeactivate: return owner->XlApp_WorkbookDeactivate(workbook);
                case office::WorkbookOpen: return owner->XlApp_WorkbookOpen(workbook);
                default: return S_OK;  // no other event is handled
            }
        });
    }

private:
    ExcelApp* owner_;
};

ExcelApp::ExcelApp() = default;
ExcelApp::~ExcelApp() { Unsubscribe(); }

const QITAB* ExcelApp::Interfaces() {
    static const QITAB table[] = {
        QITABENT(ExcelApp, _ExcelApp),
        QITABENTMULTI(ExcelApp, IDispatch, _ExcelApp),
        {},
    };
    return table;
}

// Subscribes to the events of the application given, ending an earlier subscription.
STDMETHODIMP ExcelApp::Attech(IDispatch** application) {
    if (!application) return E_POINTER;
    Unsubscribe();
    XlApp = *application;
    if (!XlApp) return S_OK;
    ComPtr<IConnectionPointContainer> container;
    RETURN_IF_FAILED(XlApp.As(&container));
    ComPtr<IConnectionPoint> point;
    RETURN_IF_FAILED(container->FindConnectionPoint(DIID_AppEvents, &point));
    ComPtr<Events> events = com::Make<Events>(this);
    RETURN_IF_NULL_ALLOC(events);
    RETURN_IF_FAILED(point->Advise(static_cast<IDispatch*>(events.Get()), &cookie_));
    point_ = point;
    events_ = events;
    return S_OK;
}

void ExcelApp::Unsubscribe() {
    if (events_) events_->Detach();
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    events_.Reset();
    cookie_ = 0;
    XlApp.Reset();
}

// Each event rebuilds the workbook tree. Before the pane exists there is no control to
// rebuild, and the event passes.
namespace {
HRESULT RebuildWorkbookTree() { return PaneControl ? PaneControl->FillTvw() : S_OK; }
}  // namespace

HRESULT ExcelApp::XlApp_NewWorkbook(IDispatch*) { return RebuildWorkbookTree(); }
HRESULT ExcelApp::XlApp_WorkbookActivate(IDispatch*) { return RebuildWorkbookTree(); }
HRESULT ExcelApp::XlApp_WorkbookDeactivate(IDispatch*) { return RebuildWorkbookTree(); }
HRESULT ExcelApp::XlApp_WorkbookOpen(IDispatch*) { return RebuildWorkbookTree(); }

}  // namespace cartulane::addin
