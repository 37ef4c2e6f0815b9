// sheethost's windows as an add-in sees them: before 15.0 one main window for every
// workbook; from 15.0 on a top-level window per workbook with its own ribbon and panes,
// the task-pane factory honouring the parent window, a pane deleted with its window, and
// the ribbon control's Context the window of the pressed button.

#include "runtime/Dispatch.h"
#include "tests/support/PaneFixture.h"

#include <memory>

namespace cartulane::sheethost {
namespace {

const auto* const g_control = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);

using test::WindowText;

class HostWindowTest : public ::testing::Test {
protected:
    void Start(const wchar_t* version) {
        host_ = std::make_unique<HostWindow>();
        ASSERT_HRESULT_SUCCEEDED(host_->Create(L"sheethost", 800, 600, true));
        host_->App().SetVersion(version);
    }
    Workbook* Add() {
        ComPtr<Workbook> book;
        EXPECT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&book));
        host_->PumpMessages();
        return book.Get();
    }
    void Close(Workbook* book) {
        std::wstring error;
        ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(book, false, &error));
        host_->PumpMessages();
    }
    HRESULT CreatePane(const VARIANT& parent, ComPtr<_CustomTaskPane>* pane) {
        ComPtr<ICTPFactory> factory;
        RETURN_IF_FAILED(host_->GetAddIns().GetFactory(&factory));
        return factory->CreateCTP(Bstr(L"Quillet.TestControl").get(), Bstr(L"Pane").get(), parent, &(*pane));
    }
    MainWindow* WindowOfPane(_CustomTaskPane* object) {
        for (MainWindow* window : host_->Windows())
            for (const auto& pane : window->Panes()) {
                ComPtr<_CustomTaskPane> candidate;
                if (SUCCEEDED(pane->PaneObject(&candidate)) && candidate.Get() == object) return window;
            }
        return nullptr;
    }

    std::unique_ptr<HostWindow> host_;
};

TEST_F(HostWindowTest, From15OnEveryWorkbookHasAWindowOfItsOwnAndBeforeOneMainWindowHasThemAll) {
    Start(L"12.0");
    Add();
    Add();
    ASSERT_EQ(host_->Windows().size(), 1u);
    EXPECT_EQ(WindowText(host_->Hwnd()), L"sheethost");
    host_.reset();

    Start(L"16.0");
    HWND empty = host_->Hwnd();
    EXPECT_EQ(WindowText(empty), L"sheethost");
    Workbook* book1 = Add();  // into the window without a workbook
    ASSERT_EQ(host_->Windows().size(), 1u);
    EXPECT_EQ(host_->Hwnd(), empty);
    EXPECT_EQ(WindowText(empty), L"Book1 - sheethost");
    Workbook* book2 = Add();
    ASSERT_EQ(host_->Windows().size(), 2u);
    MainWindow* second = host_->WindowOf(book2->Window());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WindowText(second->Hwnd()), L"Book2 - sheethost");
    EXPECT_EQ(::GetForegroundWindow(), second->Hwnd());
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book1->Window(), L"Activate"));
    EXPECT_EQ(::GetForegroundWindow(), empty);
    EXPECT_EQ(host_->Hwnd(), empty);

    // Each window has its own ribbon, and the window's close box closes its workbook.
    EXPECT_NE(&host_->Windows()[0]->GetRibbon(), &second->GetRibbon());
    HWND secondHwnd = second->Hwnd();
    ::SendMessageW(secondHwnd, WM_CLOSE, 0, 0);
    host_->PumpMessages();
    EXPECT_FALSE(::IsWindow(secondHwnd));
    EXPECT_EQ(host_->App().OpenWorkbooks().size(), 1u);
    // The last workbook's window stays, without a workbook; the next workbook comes up in it.
    Close(book1);
    ASSERT_EQ(host_->Windows().size(), 1u);
    EXPECT_EQ(WindowText(empty), L"sheethost");
    Add();
    EXPECT_EQ(host_->Hwnd(), empty);
    EXPECT_EQ(WindowText(empty), L"Book3 - sheethost");
    // Windows.Arrange places the windows side by side.
    Add();
    ComPtr<IDispatch> windows;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(&host_->App(), L"Windows", &windows));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(windows.Get(), L"Arrange", {static_cast<int>(xl::ArrangeVertical)}));
    RECT left{}, right{};
    ::GetWindowRect(host_->Hwnd(), &left);
    ::GetWindowRect(empty, &right);
    EXPECT_EQ(left.right, right.left);
    EXPECT_EQ(left.top, right.top);
}

TEST_F(HostWindowTest, APaneGoesInTheParentWindowOrTheActiveOneAndIsDeletedWithItsWindow) {
    Start(L"16.0");
    Workbook* book1 = Add();
    Workbook* book2 = Add();
    MainWindow* first = host_->WindowOf(book1->Window());
    MainWindow* second = host_->WindowOf(book2->Window());
    ComPtr<_CustomTaskPane> inFirst, inActive, refused;
    ASSERT_HRESULT_SUCCEEDED(CreatePane(Variant(static_cast<IDispatch*>(book1->Window())), &inFirst));
    ASSERT_HRESULT_SUCCEEDED(CreatePane(Variant::Missing(), &inActive));
    EXPECT_EQ(WindowOfPane(inFirst.Get()), first);
    EXPECT_EQ(WindowOfPane(inActive.Get()), second);
    EXPECT_EQ(CreatePane(Variant(static_cast<IDispatch*>(&host_->App())), &refused), E_INVALIDARG);
    ComPtr<IDispatch> window;
    ASSERT_HRESULT_SUCCEEDED(inFirst->get_Window(&window));
    EXPECT_EQ(window.Get(), static_cast<IDispatch*>(book1->Window()));

    // Its window closed, the pane is gone, and every call on it fails as the application's do.
    Close(book1);
    EXPECT_EQ(WindowOfPane(inFirst.Get()), nullptr);
    VARIANT_BOOL visible = VARIANT_FALSE;
    EXPECT_HRESULT_FAILED(inFirst->get_Visible(&visible));
    EXPECT_HRESULT_FAILED(inFirst->put_Visible(VARIANT_TRUE));
    std::wstring title;
    EXPECT_HRESULT_FAILED(dispatch::GetString(inFirst.Get(), L"Title", &title));
    EXPECT_EQ(TakeErrorDescription(), L"The taskpane has been deleted or is otherwise no longer valid.");
    EXPECT_EQ(host_->App().CallsOnDeletedPanes(), 3u);
    EXPECT_HRESULT_SUCCEEDED(inActive->put_Visible(VARIANT_TRUE));

    // Before 15.0 the parent window makes no difference: there is one.
    host_.reset();
    Start(L"12.0");
    book1 = Add();
    Add();
    ComPtr<_CustomTaskPane> pane;
    ASSERT_HRESULT_SUCCEEDED(CreatePane(Variant(static_cast<IDispatch*>(book1->Window())), &pane));
    EXPECT_EQ(WindowOfPane(pane.Get()), host_->Windows()[0]);
    Close(book1);
    EXPECT_HRESULT_SUCCEEDED(pane->put_Visible(VARIANT_TRUE));
}

// An add-in whose ribbon button writes down the Context it is handed.
class ContextRecorder final : public com::ComObject<ContextRecorder, IRibbonExtensibility> {
public:
    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(ContextRecorder, IRibbonExtensibility),
                                      QITABENTMULTI(ContextRecorder, IDispatch, IRibbonExtensibility), {}};
        return table;
    }
    STDMETHODIMP GetCustomUI(BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* id) override { return *id = 7, S_OK; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        Variant value;
        context.Reset();
        called = SUCCEEDED(dispatch::Get(params->rgvarg[1].pdispVal, L"Context", &value));
        if (value.vt == VT_DISPATCH) context = value.pdispVal;
        return S_OK;
    }
    bool called = false;
    ComPtr<IDispatch> context;
};

TEST_F(HostWindowTest, TheRibbonControlsContextIsTheWindowOfThePressedButton) {
    const wchar_t xml[] =
        L"<customUI xmlns='http://schemas.microsoft.com/office/2009/07/customui'><ribbon><tabs><tab id='t' "
        L"label='T'><group id='g' label='G'><toggleButton id='b' label='B' onAction='Pressed'/></group></tab>"
        L"</tabs></ribbon></customUI>";
    ComPtr<ContextRecorder> addIn = com::Make<ContextRecorder>();
    for (const wchar_t* version : {L"16.0", L"12.0"}) {
        SCOPED_TRACE(test::Narrow(version));
        Start(version);
        ASSERT_HRESULT_SUCCEEDED(host_->Windows()[0]->GetRibbon().AddCustomUI(xml, addIn.Get()));
        auto press = [&](MainWindow* window) {
            addIn->called = false;
            ::SendMessageW(window->GetRibbon().Button(L"b"), BM_CLICK, 0, 0);
            EXPECT_TRUE(addIn->called);
        };
        press(host_->Windows()[0]);
        EXPECT_EQ(addIn->context, nullptr);  // no workbook: Nothing
        Workbook* book1 = Add();
        Workbook* book2 = Add();
        for (MainWindow* window : host_->Windows()) {
            if (!window->GetRibbon().Button(L"b")) {
                ASSERT_HRESULT_SUCCEEDED(window->GetRibbon().AddCustomUI(xml, addIn.Get()));
            }
        }
        press(host_->Windows()[0]);
        EXPECT_EQ(addIn->context.Get(), static_cast<IDispatch*>(host_->App().WindowPerWorkbook() ? book1->Window()
                                                                                                 : book2->Window()));
        press(host_->Windows().back());
        EXPECT_EQ(addIn->context.Get(), static_cast<IDispatch*>(book2->Window()));
        host_.reset();
    }
}

}  // namespace
}  // namespace cartulane::sheethost
