#include "addin/ExcelApp.h"

#include "addin/TaskPanes.h"
#include "runtime/Dispatch.h"
#include "runtime/Window.h"

#include <algorithm>
#include <vector>

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
        ComPtr<IDispatch> workbook = Argument(params, 0), window = Argument(params, 1);
        ComPtr<ExcelApp> owner(owner_);  // a handler may end the subscription
        // What the refresh met is the add-in's own business: the application's event
        // passes whatever it was.
        Boundary([&]() -> HRESULT {
            switch (id) {
                case office::NewWorkbook: return owner->XlApp_NewWorkbook(workbook.Get());
                case office::WorkbookActivate: return owner->XlApp_WorkbookActivate(workbook.Get());
                case office::WorkbookDeactivate: return owner->XlApp_WorkbookDeactivate(workbook.Get());
                case office::WorkbookOpen: return owner->XlApp_WorkbookOpen(workbook.Get());
                case office::WorkbookBeforeClose: return owner->XlApp_WorkbookBeforeClose(workbook.Get());
                case office::WorkbookAfterSave: return owner->XlApp_WorkbookAfterSave(workbook.Get());
                case office::WorkbookNewSheet: return owner->XlApp_WorkbookNewSheet(workbook.Get());
                case office::WindowActivate: return owner->XlApp_WindowActivate(workbook.Get(), window.Get());
                default: return S_OK;  // no other event is handled
            }
        });
        return S_OK;
    }

private:
    // The object passed as the event's argument at index (in call order), by value or by
    // reference.
    static ComPtr<IDispatch> Argument(const DISPPARAMS* params, UINT index) {
        if (!params || index >= params->cArgs) return nullptr;
        const VARIANT& argument = params->rgvarg[params->cArgs - 1 - index];
        if (argument.vt == VT_DISPATCH) return argument.pdispVal;
        if (argument.vt == (VT_DISPATCH | VT_BYREF) && argument.ppdispVal) return *argument.ppdispVal;
        return nullptr;
    }

    ExcelApp* owner_;
};

// A hidden window of the relay's that runs what must wait until the application's call
// under way has completed: the trees' refresh after a save, a new sheet or a close. It goes
// with the subscription, and what it had queued with it.
class ExcelApp::Later final : private Window {
public:
    explicit Later(IDispatch* application) : application_(application) {}
    HRESULT Create() { return CreateWindowOf({L"BrevantRelay", -1}, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE); }
    ~Later() override { Destroy(); }
    // One refresh however many events ask for it before it runs.
    void PostRefresh() {
        if (posted_ || !Hwnd()) return;
        posted_ = ::PostMessageW(Hwnd(), kRefresh, 0, 0) != FALSE;
    }
    // A workbook about to close: the trees are rebuilt once it has left the application's
    // workbooks. The application may first ask about unsaved changes, and that question's
    // loop runs this window's messages while the workbook is still open; so it is looked for
    // now and then, for as long as a question may take, and forgotten after that (a
    // cancelled close keeps it open, and the trees list it already).
    void RefreshAfterClose(IDispatch* workbook) {
        ComPtr<IUnknown> identity;
        if (!Hwnd() || !workbook || FAILED(workbook->QueryInterface(IID_PPV_ARGS(&identity)))) return;
        closing_.push_back({identity, ::GetTickCount64() + kCloseWatch});
        PostRefresh();
        ::SetTimer(Hwnd(), kCloseTimer, 250, nullptr);
    }

private:
    static constexpr UINT kRefresh = WM_APP + 1;
    static constexpr UINT_PTR kCloseTimer = 1;
    static constexpr ULONGLONG kCloseWatch = 60 * 1000;
    struct Closing {
        ComPtr<IUnknown> workbook;
        ULONGLONG until;
    };

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kRefresh) {
            posted_ = false;
            LookAtClosing();
            RefreshWorkbookTrees();
            return 0;
        }
        if (message == WM_TIMER && wParam == kCloseTimer) {
            if (LookAtClosing()) RefreshWorkbookTrees();
            if (closing_.empty()) ::KillTimer(Hwnd(), kCloseTimer);
            return 0;
        }
        return Default(message, wParam, lParam);
    }

    // Forgets the workbooks that have closed, and those looked for long enough; whether one
    // has closed. The application's list is read first: what it does may re-enter.
    bool LookAtClosing() {
        if (closing_.empty()) return false;
        const ULONGLONG now = ::GetTickCount64();
        std::vector<ComPtr<IUnknown>> open;
        ComPtr<IDispatch> workbooks;
        if (FAILED(dispatch::GetDispatch(application_.Get(), L"Workbooks", &workbooks)) ||
            FAILED(dispatch::ForEach(workbooks.Get(), [&](const Variant& item) {
                ComPtr<IDispatch> book;
                ComPtr<IUnknown> identity;
                if (SUCCEEDED(item.ToDispatch(&book)) && SUCCEEDED(book.As(&identity))) open.push_back(identity);
                return S_OK;
            }))) {
            // The application would not say (busy): what was looked for long enough is forgotten
            // all the same, so that the looking ends.
            std::erase_if(closing_, [&](const Closing& entry) { return now >= entry.until; });
            return false;
        }
        bool closed = false;
        std::erase_if(closing_, [&](const Closing& entry) {
            const bool gone = std::none_of(open.begin(), open.end(), [&](const ComPtr<IUnknown>& book) {
                return book.Get() == entry.workbook.Get();
            });
            closed = closed || gone;
            return gone || now >= entry.until;
        });
        return closed;
    }

    ComPtr<IDispatch> application_;
    std::vector<Closing> closing_;
    bool posted_ = false;
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
    return Boundary([&]() -> HRESULT {
        Unsubscribe();
        XlApp = *application;
        if (!XlApp) return S_OK;
        ComPtr<IConnectionPointContainer> container;
        RETURN_IF_FAILED(XlApp.As(&container));
        ComPtr<IConnectionPoint> point;
        RETURN_IF_FAILED(container->FindConnectionPoint(DIID_AppEvents, &point));
        ComPtr<Events> events = com::Make<Events>(this);
        RETURN_IF_NULL_ALLOC(events);
        auto later = std::make_unique<Later>(XlApp.Get());
        RETURN_IF_FAILED(later->Create());
        RETURN_IF_FAILED(point->Advise(static_cast<IDispatch*>(events.Get()), &cookie_));
        point_ = point;
        events_ = events;
        later_ = std::move(later);
        return S_OK;
    });
}

void ExcelApp::Unsubscribe() {
    if (events_) events_->Detach();
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    events_.Reset();
    cookie_ = 0;
    later_.reset();
    XlApp.Reset();
}

// Each event rebuilds the workbook trees. Before a pane exists there is no control to
// rebuild, and the event passes.
HRESULT ExcelApp::XlApp_NewWorkbook(IDispatch*) { return RefreshWorkbookTrees(); }
HRESULT ExcelApp::XlApp_WorkbookActivate(IDispatch*) { return RefreshWorkbookTrees(); }
HRESULT ExcelApp::XlApp_WorkbookDeactivate(IDispatch*) { return RefreshWorkbookTrees(); }
HRESULT ExcelApp::XlApp_WorkbookOpen(IDispatch*) { return RefreshWorkbookTrees(); }
// A Save As gives the workbook another name; a new sheet is one more node. Both come in
// runs (every Ctrl+S, a macro adding sheets): the trees are rebuilt once, when the
// application's call is done.
HRESULT ExcelApp::XlApp_WorkbookAfterSave(IDispatch*) { return RefreshLater(); }
HRESULT ExcelApp::XlApp_WorkbookNewSheet(IDispatch*) { return RefreshLater(); }

// No event follows a close by itself (a workbook that was not active, the last one), and
// the close is not done yet: the trees are rebuilt once it is, and then list what is open,
// whether the close went through or was cancelled.
HRESULT ExcelApp::XlApp_WorkbookBeforeClose(IDispatch* Wb) {
    if (later_) later_->RefreshAfterClose(Wb);
    return S_OK;
}

HRESULT ExcelApp::RefreshLater() {
    if (later_) later_->PostRefresh();
    return S_OK;
}

HRESULT ExcelApp::XlApp_WindowActivate(IDispatch*, IDispatch* Wn) { return ShowPaneOf(Wn); }

}  // namespace cartulane::addin
