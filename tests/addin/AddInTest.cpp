// The add-in loaded by sheethost as the application loads it, with both libraries
// registered: registration, the pane and its control at start, the event relay, the
// ribbon toggle, the ribbon callback in every form the ribbon may use, disconnection,
// failures, and every reference the add-in took coming back. The application here is the
// one of one main window (2007, 12.0); the windows of 2013 and later are WindowPanesTest's.

#include "Brevant_h.h"
#include "office_h.h"
#include "runtime/Dispatch.h"
#include "runtime/ComObject.h"
#include "tests/support/AddInFixture.h"

#include <memory>

namespace cartulane {
namespace {

using sheethost::HostWindow;
using sheethost::TaskPane;
using test::Children;

const wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Excel\\Addins\\Brevant.Connect";

using test::AddInPath;
using test::CallAddIn;
using test::InstallAddIn;

const auto* const g_control = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);
const auto* const g_addIn = ::testing::AddGlobalTestEnvironment(new test::AddInEnvironment);

using test::KeyExists;
using test::RegistryNumber;
using test::RegistryText;

class AddInTest : public test::AddInFixture {
protected:
    void SetUp() override { baseline_ = com::ModuleLocks(); }

    // The application as it starts: its window, then the add-ins.
    void Start(const wchar_t* version = L"12.0") {
        ASSERT_NO_FATAL_FAILURE(StartApplication(version, 1000, 760));
        ASSERT_EQ(host_->GetAddIns().Connected().size(), 1u);
        ASSERT_EQ(host_->Panes().size(), 1u);
    }
    TaskPane& Pane() { return *host_->Panes().front(); }
    IDTExtensibility2* Connect() { return host_->GetAddIns().Connected().front().connect.Get(); }
    test::ControlTrees Trees() { return TreesIn(&Pane()); }
    std::vector<std::wstring> Workbooks() { return Children(Trees().workbook, nullptr); }
    HWND Toggle() { return host_->GetRibbon().Button(L"Button"); }
    void Press() {
        ::SendMessageW(Toggle(), BM_CLICK, 0, 0);
        host_->PumpMessages();
    }
    void CloseBox() {
        RECT client{};
        ::GetClientRect(Pane().Hwnd(), &client);
        const LPARAM at = MAKELPARAM(client.right - Pane().TitleHeight() / 2, Pane().TitleHeight() / 2);
        ::SendMessageW(Pane().Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(Pane().Hwnd(), WM_LBUTTONUP, 0, at);
        host_->PumpMessages();
    }
    // ShowTaskPane through IDispatch as the ribbon calls it, on the given interface.
    HRESULT CallShowTaskPane(IDispatch* through, VARIANT control, VARIANT pressed) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(L"ShowTaskPane");
        RETURN_IF_FAILED(through->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
        VARIANT args[2] = {pressed, control};
        DISPPARAMS params{args, nullptr, 2, 0};
        Variant result;
        EXCEPINFO exception{};
        UINT bad = 0;
        const HRESULT hr =
            through->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &bad);
        ::SysFreeString(exception.bstrSource);
        ::SysFreeString(exception.bstrDescription);
        ::SysFreeString(exception.bstrHelpFile);
        return hr;
    }

    long baseline_ = 0;
};

TEST_F(AddInTest, RegistrationServesTheMachineTheUserStepEntersTheAddInAndUnregistrationRemovesBoth) {
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kAddInKey, L"FriendlyName"), L"Folvane Add-In");
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kAddInKey, L"Description"), L"Add-In Project Template");
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior"), 3u);
    const std::wstring clsid = L"{4411A823-12FC-4EFA-B90F-79A9A70B5E0C}";
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, L"Brevant.Connect\\CLSID", nullptr), clsid);
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", nullptr), AddInPath());
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", L"ThreadingModel"),
              L"Apartment");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, L"Brevant.ExcelApp\\CLSID", nullptr),
              L"{B84E8D2D-22E2-48FD-A3BD-B80BE09FE8ED}");
    ComPtr<ITypeLib> library;
    ASSERT_HRESULT_SUCCEEDED(::LoadRegTypeLib(LIBID_Brevant, 1, 0, 0, &library));
    Bstr name, description;
    ASSERT_HRESULT_SUCCEEDED(library->GetDocumentation(-1, name.put(), description.put(), nullptr, nullptr));
    EXPECT_EQ(name.str(), L"Brevant");
    EXPECT_EQ(description.str(), L"FolvaneAddIn Project");
    library.Reset();

    ASSERT_HRESULT_SUCCEEDED(CallAddIn("DllUnregisterServer"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddInKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Brevant.Connect"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Brevant.ExcelApp"));
    // The application's own interfaces were never ours to register.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\{000C0396-0000-0000-C000-000000000046}\\TypeLib"));

    // Registering, as the installer's elevated part does, serves the classes from the
    // machine's own classes, even where this account has a key of the same name, and enters
    // the add-in for no user: that is the user's own step.
    const std::wstring userClass = L"Software\\Classes\\Brevant.Connect";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, userClass.c_str(), nullptr, REG_SZ, L"", sizeof(wchar_t)),
              ERROR_SUCCESS);
    ASSERT_HRESULT_SUCCEEDED(CallAddIn("DllRegisterServer"));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, userClass.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, userClass.c_str());
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Brevant.Connect\\CLSID", nullptr), clsid);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", nullptr),
              AddInPath());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddInKey));

    // "regsvr32 /n /i:user" and "/u /n /i:user": the user's entry alone, in and out.
    EXPECT_EQ(InstallAddIn(true, L"machine"), E_INVALIDARG);
    EXPECT_EQ(InstallAddIn(true, nullptr), E_INVALIDARG);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddInKey));
    ASSERT_HRESULT_SUCCEEDED(InstallAddIn(true, L"User"));
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior"), 3u);
    ASSERT_HRESULT_SUCCEEDED(InstallAddIn(false, L"user"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddInKey));
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, L"Brevant.Connect\\CLSID", nullptr), clsid);
    ASSERT_HRESULT_SUCCEEDED(InstallAddIn(true, L"user"));
}

TEST_F(AddInTest, AtStartTheRibbonHasTheToggleAndThePaneIsDockedLeftWithItsFolderTree) {
    Start();
    const auto& loaded = host_->GetAddIns().Connected().front();
    EXPECT_EQ(loaded.progId, L"Brevant.Connect");
    EXPECT_HRESULT_SUCCEEDED(loaded.ribbonResult);
    EXPECT_HRESULT_SUCCEEDED(loaded.paneResult);

    const auto& tabs = host_->GetRibbon().Tabs();
    ASSERT_EQ(tabs.size(), 1u);
    EXPECT_EQ(tabs[0].label, L"Cartulane");
    ASSERT_NE(Toggle(), nullptr);
    EXPECT_EQ(test::WindowText(Toggle()), L"Cartulane目录");
    EXPECT_TRUE(host_->GetRibbon().Pressed(L"Button"));  // asked: down while the pane is shown
    bool captionShown = false;
    for (HWND window : tabs[0].windows)
        captionShown = captionShown || test::WindowText(window) == L"显示/隐藏Cartulane目录";
    EXPECT_TRUE(captionShown);

    EXPECT_EQ(Pane().Title(), L"Cartulane");
    EXPECT_TRUE(Pane().Visible());
    EXPECT_TRUE(::IsWindowVisible(Pane().Hwnd()));
    EXPECT_EQ(Pane().DockPosition(), msoCTPDockPositionLeft);
    EXPECT_EQ(Pane().Width(), 245);
    RECT pane{};
    ::GetWindowRect(Pane().Hwnd(), &pane);
    ::MapWindowPoints(nullptr, host_->Hwnd(), reinterpret_cast<POINT*>(&pane), 2);
    EXPECT_EQ(pane.left, 0);
    EXPECT_EQ(pane.top, host_->GetRibbon().Height());
    EXPECT_EQ(pane.right - pane.left, Pane().WidthPixels());

    const test::ControlTrees trees = Trees();
    ASSERT_NE(trees.folder, nullptr);
    EXPECT_EQ(Children(trees.folder, nullptr), std::vector<std::wstring>{L"桌面"});
    EXPECT_EQ(Children(trees.folder, TreeView_GetRoot(trees.folder)),
              (std::vector<std::wstring>{L"报表 2024", L"预算.xls"}));
    EXPECT_TRUE(Workbooks().empty());  // filled at the first workbook event
    ComPtr<IDispatch> application;
    ComPtr<_TestControl> control;
    ASSERT_HRESULT_SUCCEEDED(Pane().ContentControl()->QueryInterface(IID_PPV_ARGS(&control)));
    ASSERT_HRESULT_SUCCEEDED(control->get_Application(&application));
    EXPECT_EQ(application.Get(), static_cast<IDispatch*>(&host_->App()));
}

TEST_F(AddInTest, OpeningCreatingSwitchingAndClosingWorkbooksReachTheWorkbookTree) {
    Start();
    test::TempDir folder;
    test::MakeFile(folder / L"季度 报告.xlsx");
    ComPtr<sheethost::Workbook> opened, added;
    std::wstring error;
    ASSERT_HRESULT_SUCCEEDED(host_->App().OpenWorkbook(folder / L"季度 报告.xlsx", &opened, &error));
    EXPECT_EQ(Workbooks(), std::vector<std::wstring>{L"季度 报告.xlsx"});
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&added));
    EXPECT_EQ(Workbooks(), (std::vector<std::wstring>{L"季度 报告.xlsx", L"Book1"}));
    // Renamed behind the tree's back: the next activation shows it.
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(added->Sheets()[0].Get(), L"Name", Variant(L"汇总")));
    ASSERT_HRESULT_SUCCEEDED(host_->App().ActivateWorkbook(opened.Get()));
    const test::ControlTrees trees = Trees();
    HTREEITEM book1 = TreeView_GetNextSibling(trees.workbook, TreeView_GetRoot(trees.workbook));
    EXPECT_EQ(Children(trees.workbook, book1), (std::vector<std::wstring>{L"汇总", L"Sheet2", L"Sheet3"}));
    // The workbook activated after a close lists what is left.
    ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(opened.Get(), false, &error));
    EXPECT_EQ(Workbooks(), std::vector<std::wstring>{L"Book1"});

    // A workbook closed while another is active, and the last one, raise none of the four
    // events: the tree is filled again once the close is done. A cancelled close changes
    // nothing.
    ComPtr<sheethost::Workbook> active;
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&active));
    added->SetSaved(false);
    {
        test::MessageBoxes boxes(IDCANCEL);
        ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(added.Get(), std::nullopt, &error));
        host_->PumpMessages();
        EXPECT_EQ(boxes.Seen().size(), 1u);
    }
    EXPECT_EQ(Workbooks(), (std::vector<std::wstring>{L"Book1", L"Book2"}));
    ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(added.Get(), false, &error));
    host_->PumpMessages();
    EXPECT_EQ(Workbooks(), std::vector<std::wstring>{L"Book2"});
    // The last one, with unsaved changes: the application asks after the event, and its
    // question handles the messages posted meanwhile while the workbook is still open. Once
    // the answer closes it, the tree is filled again.
    active->SetSaved(false);
    {
        test::MessageBoxes boxes(IDNO);
        ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(active.Get(), std::nullopt, &error));
        EXPECT_EQ(boxes.Seen().size(), 1u);
    }
    for (int i = 0; i < 250 && !Workbooks().empty(); ++i) {
        host_->PumpMessages();
        ::Sleep(20);
    }
    EXPECT_TRUE(Workbooks().empty());
    // One window, one pane, made once.
    EXPECT_EQ(host_->Windows().size(), 1u);
    EXPECT_EQ(host_->Panes().size(), 1u);
}

// From 14.0 the application tells of a save: a Save As shows the workbook's new name at
// once, as a sheet added shows up.
TEST_F(AddInTest, ASaveAsUnderANewNameAndANewSheetReachTheWorkbookTree) {
    Start(L"14.0");
    test::TempDir folder;
    ComPtr<sheethost::Workbook> book, other;
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&book));
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&other));
    ASSERT_EQ(Workbooks(), (std::vector<std::wstring>{L"Book1", L"Book2"}));
    // As a macro or the application's own Save As does it: through the object model.
    // The trees are rebuilt once the application's call is done.
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book.Get(), L"SaveAs", {folder / L"年度 预算.xlsx"}));
    host_->PumpMessages();
    EXPECT_EQ(Workbooks(), (std::vector<std::wstring>{L"年度 预算.xlsx", L"Book2"}));
    ComPtr<IDispatch> sheets, added;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(book.Get(), L"Worksheets", &sheets));
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(sheets.Get(), L"Add", &added));
    host_->PumpMessages();
    const test::ControlTrees trees = Trees();
    EXPECT_EQ(Children(trees.workbook, test::FindItem(trees.workbook, nullptr, L"年度 预算.xlsx")),
              (std::vector<std::wstring>{L"Sheet4", L"Sheet1", L"Sheet2", L"Sheet3"}));
}

TEST_F(AddInTest, TheToggleShowsAndHidesThePaneWhetherThePressedStateComesByValueOrByReference) {
    for (bool byReference : {false, true}) {
        SCOPED_TRACE(byReference ? "by reference" : "by value");
        Start();
        host_->GetRibbon().passPressedByReference = byReference;
        // The ribbon asked the add-in: down while the pane is shown.
        EXPECT_TRUE(host_->GetRibbon().Pressed(L"Button"));
        EXPECT_TRUE(Pane().Visible());
        Press();
        EXPECT_HRESULT_SUCCEEDED(host_->GetRibbon().lastCallbackResult);
        EXPECT_FALSE(Pane().Visible());
        EXPECT_FALSE(::IsWindowVisible(Pane().Hwnd()));
        EXPECT_FALSE(host_->GetRibbon().Pressed(L"Button"));
        Press();
        EXPECT_TRUE(Pane().Visible());
        EXPECT_TRUE(host_->GetRibbon().Pressed(L"Button"));
        EXPECT_HRESULT_SUCCEEDED(host_->GetRibbon().lastCallbackResult);

        // The pane's own close box hides it and leaves the toggle as it was.
        CloseBox();
        EXPECT_FALSE(Pane().Visible());
        EXPECT_TRUE(host_->GetRibbon().Pressed(L"Button"));
        Press();  // up: hidden already
        EXPECT_FALSE(Pane().Visible());
        Press();
        EXPECT_TRUE(Pane().Visible());
        host_.reset();
    }
}

// The application's event passes whatever the refresh met (here a control whose application
// refuses every name), and by-reference arguments that point at nothing are refused, not read.
TEST_F(AddInTest, EventsPassWhateverTheRefreshMetAndReferencesToNothingAreRefused) {
    Start();
    ComPtr<_TestControl> control;
    ASSERT_HRESULT_SUCCEEDED(Pane().Control()->QueryInterface(IID_PPV_ARGS(&control)));
    ComPtr<IDispatch> notTheApplication = test::CreateByProgId(L"Scripting.Dictionary");
    ASSERT_HRESULT_SUCCEEDED(control->put_Application(notTheApplication.Get()));
    ASSERT_EQ(control->FillTvw(), DISP_E_UNKNOWNNAME);
    host_->App().TakeEventFailure();
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
    EXPECT_EQ(host_->App().TakeEventFailure(), S_OK);

    ComPtr<IDispatch> connect;
    ASSERT_HRESULT_SUCCEEDED(Connect()->QueryInterface(IID_PPV_ARGS(&connect)));
    VARIANT nothing{}, pressed{};
    nothing.vt = VT_VARIANT | VT_BYREF;  // pvarVal null
    pressed.vt = VT_BOOL;
    pressed.boolVal = VARIANT_TRUE;
    EXPECT_EQ(CallShowTaskPane(connect.Get(), nothing, pressed), DISP_E_TYPEMISMATCH);
    VARIANT noControl{}, noPressed{};
    noControl.vt = VT_DISPATCH | VT_BYREF;  // ppdispVal null
    EXPECT_EQ(CallShowTaskPane(connect.Get(), noControl, pressed), DISP_E_TYPEMISMATCH);
    noPressed.vt = VT_BOOL | VT_BYREF;  // pboolVal null
    VARIANT empty{};
    EXPECT_EQ(CallShowTaskPane(connect.Get(), empty, noPressed), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(Pane().Visible());
}

TEST_F(AddInTest, TheCallbackIsFoundByNameThroughEveryInterfaceTheAddInGivesOut) {
    Start();
    ComPtr<IRibbonExtensibility> ribbon;
    ComPtr<ICustomTaskPaneConsumer> consumer;
    ComPtr<IDispatch> plain;
    ASSERT_HRESULT_SUCCEEDED(Connect()->QueryInterface(IID_PPV_ARGS(&ribbon)));
    ASSERT_HRESULT_SUCCEEDED(Connect()->QueryInterface(IID_PPV_ARGS(&consumer)));
    ASSERT_HRESULT_SUCCEEDED(Connect()->QueryInterface(IID_PPV_ARGS(&plain)));
    Variant control(static_cast<IDispatch*>(&host_->App()));
    VARIANT_BOOL pressed = VARIANT_FALSE;
    VARIANT byReference{};
    byReference.vt = VT_BOOL | VT_BYREF;
    byReference.pboolVal = &pressed;
    IDispatch* held = &host_->App();
    VARIANT controlByReference{};
    controlByReference.vt = VT_DISPATCH | VT_BYREF;
    controlByReference.ppdispVal = &held;

    IDispatch* const interfaces[] = {ribbon.Get(), consumer.Get(), Connect(), plain.Get()};
    for (IDispatch* through : interfaces) {
        EXPECT_HRESULT_SUCCEEDED(CallShowTaskPane(through, control, Variant(false)));
        EXPECT_FALSE(Pane().Visible());
        EXPECT_HRESULT_SUCCEEDED(CallShowTaskPane(through, control, Variant(true)));
        EXPECT_TRUE(Pane().Visible());
        EXPECT_HRESULT_SUCCEEDED(CallShowTaskPane(through, controlByReference, byReference));
        EXPECT_FALSE(Pane().Visible());
        EXPECT_HRESULT_SUCCEEDED(CallShowTaskPane(through, Variant(), Variant(true)));
        EXPECT_TRUE(Pane().Visible());
    }
    EXPECT_EQ(CallShowTaskPane(ribbon.Get(), control, Variant(L"maybe")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(CallShowTaskPane(ribbon.Get(), Variant(L"button"), Variant(true)), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(Pane().Visible());

    // The ribbon's XML is the same whatever ribbon asks.
    Bstr first, other, empty;
    ASSERT_HRESULT_SUCCEEDED(ribbon->GetCustomUI(Bstr(L"Microsoft.Excel.Workbook").get(), first.put()));
    ASSERT_HRESULT_SUCCEEDED(ribbon->GetCustomUI(Bstr(L"Microsoft.Word.Document").get(), other.put()));
    ASSERT_HRESULT_SUCCEEDED(ribbon->GetCustomUI(nullptr, empty.put()));
    EXPECT_EQ(first.str(), other.str());
    EXPECT_EQ(first.str(), empty.str());
}

TEST_F(AddInTest, TheRibbonDefinitionIsTheOneTabWithItsGroupAndToggleAndItsThreeCallbacks) {
    Start();
    ComPtr<IRibbonExtensibility> ribbon;
    ASSERT_HRESULT_SUCCEEDED(Connect()->QueryInterface(IID_PPV_ARGS(&ribbon)));
    Bstr xml;
    ASSERT_HRESULT_SUCCEEDED(ribbon->GetCustomUI(Bstr(L"Microsoft.Excel.Workbook").get(), xml.put()));
    ComPtr<IDispatch> document = test::CreateByProgId(L"Msxml2.DOMDocument.6.0");
    ASSERT_NE(document, nullptr);
    Variant loaded;
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(document.Get(), L"loadXML", {Variant(xml.str())}, &loaded));
    ASSERT_EQ(loaded.vt, VT_BOOL);
    ASSERT_EQ(loaded.boolVal, VARIANT_TRUE);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(
        document.Get(), L"setProperty",
        {Variant(L"SelectionNamespaces"), Variant(L"xmlns:c='http://schemas.microsoft.com/office/2006/01/customui'")}));
    ComPtr<IDispatch> root;
    std::wstring space;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(document.Get(), L"documentElement", &root));
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(root.Get(), L"namespaceURI", &space));
    EXPECT_EQ(space, L"http://schemas.microsoft.com/office/2006/01/customui");
    // Every element with every attribute, in document order.
    ComPtr<IDispatch> all;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(document.Get(), L"selectNodes", &all, {Variant(L"//*")}));
    std::vector<std::wstring> seen;
    ASSERT_HRESULT_SUCCEEDED(dispatch::ForEach(all.Get(), [&](const Variant& item) -> HRESULT {
        ComPtr<IDispatch> element, attributes;
        RETURN_IF_FAILED(item.ToDispatch(&element));
        std::wstring line;
        RETURN_IF_FAILED(dispatch::GetString(element.Get(), L"nodeName", &line));
        RETURN_IF_FAILED(dispatch::GetDispatch(element.Get(), L"attributes", &attributes));
        RETURN_IF_FAILED(dispatch::ForEach(attributes.Get(), [&](const Variant& attribute) -> HRESULT {
            ComPtr<IDispatch> node;
            std::wstring name, value;
            RETURN_IF_FAILED(attribute.ToDispatch(&node));
            RETURN_IF_FAILED(dispatch::GetString(node.Get(), L"nodeName", &name));
            RETURN_IF_FAILED(dispatch::GetString(node.Get(), L"text", &value));
            line += L" " + name + L"=" + value;
            return S_OK;
        }));
        seen.push_back(line);
        return S_OK;
    }));
    EXPECT_EQ(seen, (std::vector<std::wstring>{
                        L"customUI onLoad=OnRibbonLoad",
                        L"ribbon",
                        L"tabs",
                        L"tab id=TaskPaneTab label=Cartulane",
                        L"group id=Group1 label=显示/隐藏Cartulane目录",
                        L"toggleButton id=Button label=Cartulane目录 size=large onAction=ShowTaskPane "
                        L"getPressed=GetPressed imageMso=ImportSavedImports",
                    }));
}

TEST_F(AddInTest, ThePaneObjectAnswersByNameAsWellAndFailsOnceDeleted) {
    Start();
    ComPtr<_CustomTaskPane> object;
    ASSERT_HRESULT_SUCCEEDED(Pane().PaneObject(&object));
    IDispatch* pane = object.Get();
    std::wstring title;
    Variant value;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(pane, L"Title", &title));
    EXPECT_EQ(title, L"Cartulane");
    ASSERT_HRESULT_SUCCEEDED(dispatch::Get(pane, L"Width", &value));
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 245);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Get(pane, L"DockPosition", &value));
    EXPECT_EQ(value.lVal, msoCTPDockPositionLeft);
    ComPtr<IDispatch> content;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(pane, L"ContentControl", &content));
    EXPECT_EQ(content.Get(), Pane().ContentControl());
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(pane, L"Width", Variant(300)));
    EXPECT_EQ(Pane().Width(), 300);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(pane, L"Visible", Variant(false)));
    EXPECT_FALSE(Pane().Visible());
    ASSERT_HRESULT_SUCCEEDED(dispatch::Get(pane, L"Visible", &value));
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, VARIANT_FALSE);
    EXPECT_HRESULT_FAILED(dispatch::Put(pane, L"DockPosition", Variant(msoCTPDockPositionFloating)));

    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(pane, L"Delete"));
    EXPECT_TRUE(host_->Panes().empty());
    EXPECT_HRESULT_FAILED(dispatch::GetString(pane, L"Title", &title));
    EXPECT_EQ(TakeErrorDescription(), L"The taskpane has been deleted or is otherwise no longer valid.");
}

// Unticked in the COM add-ins dialog, the add-in takes its pane with it and no event reaches
// a control of its; ticked again, it gives one pane, which the events reach.
TEST_F(AddInTest, UntickingTheAddInRemovesItsPaneAndTickingItAgainGivesOne) {
    Start();
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
    EXPECT_EQ(Workbooks(), std::vector<std::wstring>{L"Book1"});
    ASSERT_HRESULT_SUCCEEDED(host_->GetAddIns().Untick(L"Brevant.Connect"));
    host_->PumpMessages();
    EXPECT_TRUE(host_->Panes().empty());
    EXPECT_EQ(host_->App().EventSinks(), 0u);
    EXPECT_EQ(host_->GetRibbon().Button(L"Button"), nullptr);
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));

    ASSERT_HRESULT_SUCCEEDED(host_->GetAddIns().Tick(L"Brevant.Connect"));
    host_->PumpMessages();
    ASSERT_EQ(host_->Panes().size(), 1u);
    EXPECT_TRUE(Pane().Visible());
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
    EXPECT_EQ(Workbooks(), (std::vector<std::wstring>{L"Book1", L"Book2", L"Book3"}));
    Press();
    EXPECT_FALSE(Pane().Visible());
}

// Started by another program, the application is not visible: the add-in makes no pane
// until it is, and then at the next toggle (up meanwhile) or activation.
TEST_F(AddInTest, AnApplicationNotVisibleGetsNoPaneUntilItIsShown) {
    for (const wchar_t* version : {L"12.0", L"16.0"}) {
        SCOPED_TRACE(test::Narrow(version));
        ASSERT_NO_FATAL_FAILURE(StartApplication(version, 1000, 760, false));
        ASSERT_EQ(host_->GetAddIns().Connected().size(), 1u);
        EXPECT_HRESULT_SUCCEEDED(host_->GetAddIns().Connected().front().paneResult);
        EXPECT_TRUE(host_->Panes().empty());
        ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
        host_->PumpMessages();
        EXPECT_TRUE(host_->Panes().empty()) << "a workbook opened by the program makes none";

        ASSERT_HRESULT_SUCCEEDED(dispatch::Put(static_cast<IDispatch*>(&host_->App()), L"Visible", Variant(true)));
        EXPECT_FALSE(host_->GetRibbon().Pressed(L"Button")) << "no pane yet";
        Press();
        ASSERT_EQ(host_->Panes().size(), 1u);
        EXPECT_TRUE(Pane().Visible()) << "one press shows it";
        EXPECT_TRUE(host_->GetRibbon().Pressed(L"Button"));
        ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
        host_->PumpMessages();
        EXPECT_EQ(host_->Panes().size(), 1u);
        EXPECT_EQ(Workbooks(), (std::vector<std::wstring>{L"Book1", L"Book2"}));
        host_.reset();
    }
}

TEST_F(AddInTest, EventsBeforeThePaneExistsAndAPaneThatCannotBeMadeDoNoHarm) {
    // The add-in connected by hand, before it is given the task-pane factory.
    host_ = std::make_unique<HostWindow>();
    ASSERT_HRESULT_SUCCEEDED(host_->Create(L"sheethost", 1000, 760, true));
    host_->App().SetVersion(L"12.0");
    {
        ComPtr<IDTExtensibility2> connect;
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&connect)));
        SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
        ASSERT_HRESULT_SUCCEEDED(connect->OnConnection(&host_->App(), ext_cm_AfterStartup, nullptr, &custom));
        EXPECT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
        ComPtr<_Connect> ribbon;
        ASSERT_HRESULT_SUCCEEDED(connect.As(&ribbon));
        IDispatch* control = nullptr;
        VARIANT_BOOL pressed = VARIANT_TRUE;
        EXPECT_EQ(ribbon->ShowTaskPane(&control, &pressed), ControlError(91));  // no pane to show
        ASSERT_HRESULT_SUCCEEDED(connect->OnDisconnection(ext_dm_HostShutdown, &custom));
        ::SafeArrayDestroy(custom);
    }
    CloseApplication();

    // Without the control's library the pane cannot be made: the add-in stays loaded,
    // reports the failure, and the events that follow pass. Once it can be made (as after
    // Protected View at start), the next activation makes it.
    ASSERT_HRESULT_SUCCEEDED(test::CallOcx("DllUnregisterServer"));
    ASSERT_NO_FATAL_FAILURE(StartApplication(L"12.0", 1000, 760));
    ASSERT_EQ(host_->GetAddIns().Connected().size(), 1u);
    EXPECT_HRESULT_FAILED(host_->GetAddIns().Connected().front().paneResult);
    EXPECT_TRUE(host_->Panes().empty());
    EXPECT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
    EXPECT_TRUE(host_->Panes().empty());
    ASSERT_HRESULT_SUCCEEDED(test::CallOcx("DllRegisterServer"));
    EXPECT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
    host_->PumpMessages();
    EXPECT_EQ(host_->Panes().size(), 1u);
    EXPECT_EQ(Workbooks(), (std::vector<std::wstring>{L"Book1", L"Book2"}));
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior"), 3u);
}

TEST_F(AddInTest, AnAddInThatCannotBeLoadedIsMarkedAndTheOthersLoad) {
    const std::wstring broken = L"Software\\Microsoft\\Office\\Excel\\Addins\\Nowhere.Connect";
    const DWORD atStart = 3;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, broken.c_str(), L"LoadBehavior", REG_DWORD, &atStart,
                                sizeof(atStart)),
              ERROR_SUCCESS);
    Start();
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, broken, L"LoadBehavior"), 2u);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, broken.c_str());
}

TEST_F(AddInTest, EveryReferenceTheAddInTookIsReleasedAndItsLibraryUnloads) {
    Start();
    test::TempDir folder;
    test::MakeFile(folder / L"a.xlsx");
    std::wstring error;
    ASSERT_HRESULT_SUCCEEDED(host_->App().OpenWorkbook(folder / L"a.xlsx", nullptr, &error));
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
    Press();
    Press();
    Press();
    EXPECT_GT(com::ModuleLocks(), baseline_);
    ::PostMessageW(host_->Hwnd(), WM_CLOSE, 0, 0);  // the unsaved new workbook asks first
    test::MessageBoxes boxes(IDNO);
    host_->PumpMessages();
    EXPECT_EQ(host_->Hwnd(), nullptr);
    EXPECT_TRUE(host_->GetAddIns().Connected().empty());
    CloseApplication();
    EXPECT_EQ(::GetModuleHandleW(L"TabrixAddIn.dll"), nullptr);
    EXPECT_EQ(com::ModuleLocks(), baseline_);
}

}  // namespace
}  // namespace cartulane
