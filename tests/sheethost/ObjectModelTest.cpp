// sheethost's object model by late binding, as the control and the add-in reach it:
// names and DISPIDs, workbooks and sheets, the application's own questions, and the
// events in the order they come.

#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "sheethost/ObjectModel.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <olectl.h>

namespace cartulane::sheethost {
namespace {

using test::MessageBoxes;

std::wstring NameOf(IDispatch* object) {
    std::wstring name;
    EXPECT_HRESULT_SUCCEEDED(dispatch::GetString(object, L"Name", &name));
    return name;
}

long LongOf(IDispatch* object, const wchar_t* member, dispatch::Args args = {}) {
    Variant value;
    long number = 0;
    EXPECT_HRESULT_SUCCEEDED(dispatch::Get(object, member, &value, args));
    EXPECT_HRESULT_SUCCEEDED(value.ToInt(&number));
    return number;
}

ComPtr<IDispatch> ObjectOf(IDispatch* object, const wchar_t* member, dispatch::Args args = {}) {
    ComPtr<IDispatch> found;
    EXPECT_HRESULT_SUCCEEDED(dispatch::GetDispatch(object, member, &found, args));
    return found;
}

std::vector<std::wstring> Names(IDispatch* collection) {
    std::vector<std::wstring> names;
    EXPECT_HRESULT_SUCCEEDED(dispatch::ForEach(collection, [&](const Variant& item) {
        ComPtr<IDispatch> object;
        RETURN_IF_FAILED(item.ToDispatch(&object));
        names.push_back(NameOf(object.Get()));
        return S_OK;
    }));
    return names;
}

// A sink of the application events that writes down what came.
class Recorder final : public com::ComObject<Recorder, IDispatch> {
public:
    static const QITAB* Interfaces() {
        static const QITAB table[] = {
            QITABENT(Recorder, IDispatch),
            QITABENTMULTI2(Recorder, DIID_AppEvents, IDispatch),
            {},
        };
        return table;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        const VARIANT& wb = params->rgvarg[params->cArgs - 1];
        const wchar_t* event = id == office::NewWorkbook          ? L"New "
                               : id == office::WorkbookOpen       ? L"Open "
                               : id == office::WorkbookActivate   ? L"Activate "
                               : id == office::WorkbookDeactivate ? L"Deactivate "
                               : id == office::WorkbookBeforeClose ? L"BeforeClose "
                               : id == office::WindowActivate     ? L"WindowActivate "
                               : id == office::WindowDeactivate   ? L"WindowDeactivate "
                               : id == office::WorkbookAfterSave  ? L"AfterSave "
                               : id == office::WorkbookNewSheet   ? L"NewSheet "
                                                               : L"? ";
        std::wstring text = event + NameOf(wb.pdispVal);
        if (id == office::WindowActivate || id == office::WindowDeactivate) {
            std::wstring caption;  // the window, the second argument
            EXPECT_EQ(params->cArgs, 2u);
            EXPECT_EQ(params->rgvarg[0].vt, VT_DISPATCH);
            EXPECT_HRESULT_SUCCEEDED(dispatch::GetString(params->rgvarg[0].pdispVal, L"Caption", &caption));
            text += L"|" + caption;
        }
        if (id == office::WorkbookAfterSave) {  // Success, by value
            EXPECT_EQ(params->cArgs, 2u);
            EXPECT_EQ(params->rgvarg[0].vt, VT_BOOL);
            text += params->rgvarg[0].boolVal == VARIANT_TRUE ? L"|True" : L"|False";
        }
        if (id == office::WorkbookNewSheet) {  // the new sheet
            EXPECT_EQ(params->cArgs, 2u);
            EXPECT_EQ(params->rgvarg[0].vt, VT_DISPATCH);
            text += L"|" + NameOf(params->rgvarg[0].pdispVal);
            // The sheet is in its workbook by then, and active.
            EXPECT_EQ(NameOf(ObjectOf(wb.pdispVal, L"ActiveSheet").Get()), NameOf(params->rgvarg[0].pdispVal));
        }
        events.push_back(text);
        if (id == office::WorkbookBeforeClose && cancelClose) *params->rgvarg[0].pboolVal = VARIANT_TRUE;
        return S_OK;
    }
    bool cancelClose = false;
    std::vector<std::wstring> events;
};

class ObjectModelTest : public ::testing::Test {
protected:
    void SetUp() override { app_ = com::Make<Application>(); }
    void TearDown() override {
        app_.Reset();
        EXPECT_EQ(com::ModuleLocks(), 0) << "every object of the model is released";
    }
    IDispatch* App() { return app_.Get(); }
    // The application's event point, with sink advised on it.
    ComPtr<IConnectionPoint> Advise(IUnknown* sink, DWORD* cookie) {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        EXPECT_HRESULT_SUCCEEDED(App()->QueryInterface(IID_PPV_ARGS(&container)));
        if (container) {
            EXPECT_HRESULT_SUCCEEDED(container->FindConnectionPoint(DIID_AppEvents, &point));
        }
        if (point) {
            EXPECT_HRESULT_SUCCEEDED(point->Advise(sink, cookie));
        }
        return point;
    }
    ComPtr<IDispatch> Workbooks() { return ObjectOf(App(), L"Workbooks"); }
    ComPtr<IDispatch> Add() {
        ComPtr<IDispatch> book;
        EXPECT_HRESULT_SUCCEEDED(dispatch::GetDispatch(Workbooks().Get(), L"Add", &book));
        return book;
    }
    ComPtr<Application> app_;
};

TEST_F(ObjectModelTest, AnswersToTheRealNamesAndDispatchIds) {
    auto book = Add();
    auto books = Workbooks();
    auto sheets = ObjectOf(book.Get(), L"Sheets");
    auto sheet = ObjectOf(sheets.Get(), L"Item", {1});
    const struct {
        IDispatch* object;
        const wchar_t* name;
        DISPID id;
    } expected[] = {
        {App(), L"Workbooks", 0x23C},     {App(), L"Version", 0x188},     {App(), L"Quit", 0x12E},
        {books.Get(), L"Item", 0xAA},     {books.Get(), L"_Default", 0},   {books.Get(), L"Count", 0x76},
        {books.Get(), L"_NewEnum", -4},   {books.Get(), L"Open", 0x783},   {books.Get(), L"Add", 0xB5},
        {book.Get(), L"Name", 0x6E},      {book.Get(), L"Activate", 0x130}, {book.Get(), L"Sheets", 0x1E5},
        {book.Get(), L"Worksheets", 0x1EE}, {book.Get(), L"SaveAs", 0x785}, {book.Get(), L"Close", 0x115},
        {sheets.Get(), L"Item", 0xAA},    {sheets.Get(), L"Count", 0x76},  {sheets.Get(), L"_NewEnum", -4},
        {sheet.Get(), L"Name", 0x6E},     {sheet.Get(), L"Visible", 0x22E}, {sheet.Get(), L"Select", 0xEB},
    };
    for (const auto& member : expected) {
        DISPID id = 0;
        ASSERT_HRESULT_SUCCEEDED(dispatch::GetId(member.object, member.name, &id)) << test::Narrow(member.name);
        EXPECT_EQ(id, member.id) << test::Narrow(member.name);
    }
    DISPID id = 0;
    EXPECT_HRESULT_SUCCEEDED(dispatch::GetId(App(), L"WORKBOOKS", &id));  // names ignore case
    EXPECT_EQ(dispatch::GetId(App(), L"NoSuchMember", &id), DISP_E_UNKNOWNNAME);

    std::wstring version;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(App(), L"Version", &version));
    EXPECT_EQ(version, L"16.0");
    app_->SetVersion(L"11.0");
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(App(), L"Version", &version));
    EXPECT_EQ(version, L"11.0");
}

TEST_F(ObjectModelTest, NewWorkbooksAreNumberedWithThreeSheetsAndOpenedOnesTakeTheFilesName) {
    EXPECT_EQ(NameOf(Add().Get()), L"Book1");
    auto second = Add();
    EXPECT_EQ(NameOf(second.Get()), L"Book2");
    EXPECT_EQ(Names(ObjectOf(second.Get(), L"Sheets").Get()), (std::vector<std::wstring>{L"Sheet1", L"Sheet2", L"Sheet3"}));

    test::TempDir dir;
    test::MakeFile(dir / L"报表 1.xlsx");
    ComPtr<IDispatch> opened;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(Workbooks().Get(), L"Open", &opened, {dir / L"报表 1.xlsx"}));
    EXPECT_EQ(NameOf(opened.Get()), L"报表 1.xlsx");
    EXPECT_EQ(Names(Workbooks().Get()), (std::vector<std::wstring>{L"Book1", L"Book2", L"报表 1.xlsx"}));
    EXPECT_EQ(LongOf(Workbooks().Get(), L"Count"), 3);

    // By number and by name; names ignore case.
    EXPECT_EQ(NameOf(ObjectOf(Workbooks().Get(), L"Item", {2}).Get()), L"Book2");
    EXPECT_EQ(NameOf(ObjectOf(Workbooks().Get(), L"Item", {L"BOOK1"}).Get()), L"Book1");
    ComPtr<IDispatch> missing;
    EXPECT_HRESULT_FAILED(dispatch::GetDispatch(Workbooks().Get(), L"Item", &missing, {L"Book9"}));
    EXPECT_HRESULT_FAILED(dispatch::GetDispatch(Workbooks().Get(), L"Item", &missing, {4}));

    // The same file again is the same workbook; another file of that name is refused.
    ComPtr<IDispatch> again;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(Workbooks().Get(), L"Open", &again, {dir / L"报表 1.xlsx"}));
    EXPECT_EQ(again.Get(), opened.Get());
    test::MakeFolder(dir / L"other");
    test::MakeFile(dir / L"other\\报表 1.xlsx");
    EXPECT_EQ(dispatch::Call(Workbooks().Get(), L"Open", {dir / L"other\\报表 1.xlsx"}), ApplicationError());
    EXPECT_NE(TakeErrorDescription().find(L"already open"), std::wstring::npos);
    EXPECT_EQ(dispatch::Call(Workbooks().Get(), L"Open", {dir / L"nowhere.xlsx"}), ApplicationError());
    EXPECT_EQ(LongOf(Workbooks().Get(), L"Count"), 3);
}

TEST_F(ObjectModelTest, SaveAsWritesTheFileAndTheWorkbookTakesItsName) {
    test::TempDir dir;
    auto book = Add();
    auto other = Add();
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book.Get(), L"SaveAs", {dir / L"年度 计划.xlsx"}));
    EXPECT_TRUE(FileSystem().FileExists(dir / L"年度 计划.xlsx"));
    EXPECT_EQ(NameOf(book.Get()), L"年度 计划.xlsx");
    EXPECT_EQ(NameOf(ObjectOf(Workbooks().Get(), L"Item", {L"年度 计划.xlsx"}).Get()), L"年度 计划.xlsx");

    // A file that is there already: the application asks; No leaves it as it was.
    test::MakeFile(dir / L"taken.xlsx", "keep");
    {
        MessageBoxes boxes(IDNO);
        EXPECT_EQ(dispatch::Call(other.Get(), L"SaveAs", {dir / L"taken.xlsx"}), ApplicationError());
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].buttons, (std::vector<int>{IDYES, IDNO}));
    }
    EXPECT_EQ(test::ReadFile(dir / L"taken.xlsx"), "keep");
    EXPECT_EQ(NameOf(other.Get()), L"Book2");
    // Not under the name of another open workbook.
    EXPECT_EQ(dispatch::Call(other.Get(), L"SaveAs", {dir / L"x\\..\\年度 计划.xlsx"}), ApplicationError());
}

TEST_F(ObjectModelTest, SheetsAreShownHiddenAndSelectedAsTheApplicationAllows) {
    auto first = Add();
    auto second = Add();  // active now
    auto sheet2 = ObjectOf(second.Get(), L"Worksheets", {L"sheet2"});
    EXPECT_EQ(LongOf(sheet2.Get(), L"Visible"), -1);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(sheet2.Get(), L"Visible", Variant(0)));
    EXPECT_EQ(LongOf(sheet2.Get(), L"Visible"), 0);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(sheet2.Get(), L"Visible", Variant(2)));
    EXPECT_EQ(LongOf(sheet2.Get(), L"Visible"), 2);
    EXPECT_EQ(dispatch::Call(sheet2.Get(), L"Select"), ApplicationError());  // hidden
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(sheet2.Get(), L"Visible", Variant(true)));

    auto sheet3 = ObjectOf(second.Get(), L"Worksheets", {3});
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(sheet3.Get(), L"Select"));
    EXPECT_EQ(NameOf(ObjectOf(App(), L"ActiveSheet").Get()), L"Sheet3");
    // A sheet of a workbook that is not active cannot be selected until it is activated.
    auto other = ObjectOf(first.Get(), L"Worksheets", {L"Sheet2"});
    EXPECT_EQ(dispatch::Call(other.Get(), L"Select"), ApplicationError());
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(first.Get(), L"Activate"));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(other.Get(), L"Select"));
    EXPECT_EQ(NameOf(ObjectOf(App(), L"ActiveSheet").Get()), L"Sheet2");

    // The last visible sheet cannot be hidden.
    for (int i : {1, 2}) ASSERT_HRESULT_SUCCEEDED(dispatch::Put(ObjectOf(first.Get(), L"Sheets", {i}).Get(), L"Visible", Variant(0)));
    EXPECT_EQ(dispatch::Put(ObjectOf(first.Get(), L"Sheets", {3}).Get(), L"Visible", Variant(0)), ApplicationError());

    // A chart sheet is one of the Sheets, not one of the Worksheets.
    app_->ActiveWorkbook()->AddChartSheet(L"Chart1");
    EXPECT_EQ(LongOf(ObjectOf(first.Get(), L"Sheets").Get(), L"Count"), 4);
    EXPECT_EQ(LongOf(ObjectOf(first.Get(), L"Worksheets").Get(), L"Count"), 3);
    ComPtr<IDispatch> chart;
    EXPECT_HRESULT_FAILED(dispatch::GetDispatch(first.Get(), L"Worksheets", &chart, {L"Chart1"}));

    // Renamed: found by its new name only.
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(sheet3.Get(), L"Name", Variant(L"数据")));
    EXPECT_HRESULT_FAILED(dispatch::GetDispatch(second.Get(), L"Worksheets", &chart, {L"Sheet3"}));
    EXPECT_EQ(dispatch::Put(sheet3.Get(), L"Name", Variant(L"Sheet1")), ApplicationError());  // taken
}

TEST_F(ObjectModelTest, ClosingAWorkbookWithUnsavedChangesAsksTheApplicationsQuestion) {
    auto book = Add();
    EXPECT_HRESULT_SUCCEEDED(dispatch::Call(book.Get(), L"Close"));  // nothing changed: no question
    EXPECT_EQ(LongOf(Workbooks().Get(), L"Count"), 0);

    book = Add();
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(ObjectOf(book.Get(), L"Sheets", {1}).Get(), L"Visible", Variant(0)));
    {
        MessageBoxes boxes(IDCANCEL);
        EXPECT_HRESULT_SUCCEEDED(dispatch::Call(book.Get(), L"Close"));
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text, L"Want to save your changes to 'Book2'?");
        EXPECT_EQ(boxes.Seen()[0].buttons, (std::vector<int>{IDCANCEL, IDYES, IDNO}));
    }
    EXPECT_EQ(LongOf(Workbooks().Get(), L"Count"), 1);  // cancelled: still open
    {
        MessageBoxes boxes(IDNO);
        EXPECT_HRESULT_SUCCEEDED(dispatch::Call(book.Get(), L"Close"));
        EXPECT_EQ(boxes.Seen().size(), 1u);
    }
    EXPECT_EQ(LongOf(Workbooks().Get(), L"Count"), 0);
    // A closed workbook answers no more.
    std::wstring name;
    EXPECT_HRESULT_FAILED(dispatch::GetString(book.Get(), L"Name", &name));
}

TEST_F(ObjectModelTest, EventsFollowEachChangeInTheApplicationsOrder) {
    ComPtr<Recorder> made = com::Make<Recorder>();
    Recorder& recorder = *made.Get();
    DWORD cookie = 0;
    ComPtr<IConnectionPoint> point = Advise(made.Get(), &cookie);
    ASSERT_TRUE(point);

    test::TempDir dir;
    test::MakeFile(dir / L"a.xlsx");
    auto book1 = Add();
    auto book2 = Add();
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(Workbooks().Get(), L"Open", {dir / L"a.xlsx"}));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book1.Get(), L"Activate"));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book1.Get(), L"Activate"));  // active already: nothing
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book2.Get(), L"Close"));    // not active
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book1.Get(), L"Close"));    // active
    // A window's events close around its workbook's; after a close the window behind it
    // comes to the front.
    const std::vector<std::wstring> expected = {
        L"New Book1", L"Activate Book1", L"WindowActivate Book1|Book1",
        L"New Book2", L"WindowDeactivate Book1|Book1", L"Deactivate Book1", L"Activate Book2",
        L"WindowActivate Book2|Book2",
        L"Open a.xlsx", L"WindowDeactivate Book2|Book2", L"Deactivate Book2", L"Activate a.xlsx",
        L"WindowActivate a.xlsx|a.xlsx",
        L"WindowDeactivate a.xlsx|a.xlsx", L"Deactivate a.xlsx", L"Activate Book1", L"WindowActivate Book1|Book1",
        L"BeforeClose Book2",
        L"BeforeClose Book1", L"WindowDeactivate Book1|Book1", L"Deactivate Book1", L"Activate a.xlsx",
        L"WindowActivate a.xlsx|a.xlsx"};
    EXPECT_EQ(recorder.events, expected);

    // Cancel in WorkbookBeforeClose keeps the workbook open.
    recorder.cancelClose = true;
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(ObjectOf(App(), L"ActiveWorkbook").Get(), L"Close"));
    EXPECT_EQ(LongOf(Workbooks().Get(), L"Count"), 1);

    recorder.events.clear();
    ASSERT_HRESULT_SUCCEEDED(point->Unadvise(cookie));
    Add();
    EXPECT_TRUE(recorder.events.empty());
    made->AddRef();
    EXPECT_EQ(made->Release(), 1u) << "the application let go of the sink";
}

// A save is told from 14.0 on, under the workbook's new name, whether it went through or
// not; a sheet added is told with the sheet.
TEST_F(ObjectModelTest, SavesFrom14AndNewSheetsAreTold) {
    for (const wchar_t* version : {L"12.0", L"14.0", L"16.0"}) {
        SCOPED_TRACE(testing::Message() << test::Narrow(version));
        app_ = com::Make<Application>();
        app_->SetVersion(version);
        ComPtr<Recorder> recorder = com::Make<Recorder>();
        DWORD cookie = 0;
        ComPtr<IConnectionPoint> point = Advise(recorder.Get(), &cookie);
        ASSERT_TRUE(point);
        test::TempDir dir;
        auto book = Add();
        recorder->events.clear();

        ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book.Get(), L"SaveAs", {dir / L"新名字.xlsx"}));
        ASSERT_EQ(dispatch::Call(book.Get(), L"SaveAs", {dir / L"no such folder\\x.xlsx"}), ApplicationError());
        ComPtr<IDispatch> added;
        ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(ObjectOf(book.Get(), L"Worksheets").Get(), L"Add", &added));
        EXPECT_EQ(NameOf(added.Get()), L"Sheet4");
        EXPECT_EQ(Names(ObjectOf(book.Get(), L"Sheets").Get()),
                  (std::vector<std::wstring>{L"Sheet4", L"Sheet1", L"Sheet2", L"Sheet3"}));
        std::vector<std::wstring> expected;
        if (std::wstring(version) != L"12.0")
            expected = {L"AfterSave 新名字.xlsx|True", L"AfterSave 新名字.xlsx|False"};
        expected.push_back(L"NewSheet 新名字.xlsx|Sheet4");
        EXPECT_EQ(recorder->events, expected);
        ASSERT_HRESULT_SUCCEEDED(point->Unadvise(cookie));
        app_.Reset();
    }
    app_ = com::Make<Application>();
}

TEST_F(ObjectModelTest, EveryWorkbookHasOneWindowListedFrontToBackAndClosedWithIt) {
    auto book1 = Add();
    auto book2 = Add();
    test::TempDir dir;
    test::MakeFile(dir / L"报表.xlsx");
    ComPtr<IDispatch> opened;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(Workbooks().Get(), L"Open", &opened, {dir / L"报表.xlsx"}));
    const struct {
        IDispatch* object;
        const wchar_t* name;
        DISPID id;
    } expected[] = {
        {App(), L"Windows", 0x1AE},  {App(), L"ActiveWindow", 0x2F7}, {book1.Get(), L"Windows", 0x1AE},
    };
    for (const auto& member : expected) {
        DISPID id = 0;
        ASSERT_HRESULT_SUCCEEDED(dispatch::GetId(member.object, member.name, &id)) << test::Narrow(member.name);
        EXPECT_EQ(id, member.id) << test::Narrow(member.name);
    }
    auto windows = ObjectOf(App(), L"Windows");
    auto window = ObjectOf(windows.Get(), L"Item", {1});
    for (const auto& [name, id] : {std::pair{L"Caption", 0x8B}, {L"Activate", 0x130}, {L"Close", 0x115},
                                   {L"Index", 0x1E6}}) {
        DISPID found = 0;
        ASSERT_HRESULT_SUCCEEDED(dispatch::GetId(window.Get(), name, &found));
        EXPECT_EQ(found, id);
    }

    // Front to back: the active workbook's window first. A window is the same object
    // however it is reached.
    std::vector<std::wstring> captions;
    ASSERT_HRESULT_SUCCEEDED(dispatch::ForEach(windows.Get(), [&](const Variant& item) {
        ComPtr<IDispatch> each;
        RETURN_IF_FAILED(item.ToDispatch(&each));
        std::wstring caption;
        RETURN_IF_FAILED(dispatch::GetString(each.Get(), L"Caption", &caption));
        captions.push_back(caption);
        return S_OK;
    }));
    EXPECT_EQ(captions, (std::vector<std::wstring>{L"报表.xlsx", L"Book2", L"Book1"}));
    EXPECT_EQ(ObjectOf(App(), L"ActiveWindow").Get(), window.Get());
    auto ofBook1 = ObjectOf(ObjectOf(book1.Get(), L"Windows").Get(), L"Item", {1});
    EXPECT_EQ(ObjectOf(windows.Get(), L"Item", {L"BOOK1"}).Get(), ofBook1.Get());
    EXPECT_EQ(LongOf(ObjectOf(book1.Get(), L"Windows").Get(), L"Count"), 1);

    // Activating a window activates its workbook and brings it to the front.
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(ofBook1.Get(), L"Activate"));
    EXPECT_EQ(NameOf(ObjectOf(App(), L"ActiveWorkbook").Get()), L"Book1");
    EXPECT_EQ(LongOf(ofBook1.Get(), L"Index"), 1);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(ofBook1.Get(), L"Caption", Variant(L"汇总")));
    EXPECT_EQ(ObjectOf(windows.Get(), L"Item", {L"汇总"}).Get(), ofBook1.Get());
    EXPECT_EQ(NameOf(book1.Get()), L"Book1");
    EXPECT_EQ(dispatch::Call(windows.Get(), L"Arrange", {42}), ApplicationError());

    // Closing the window closes the workbook; the window answers no more, and the one
    // behind it is active.
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(ofBook1.Get(), L"Close"));
    EXPECT_EQ(LongOf(windows.Get(), L"Count"), 2);
    std::wstring caption;
    EXPECT_HRESULT_FAILED(dispatch::GetString(ofBook1.Get(), L"Caption", &caption));
    EXPECT_EQ(NameOf(ObjectOf(App(), L"ActiveWorkbook").Get()), L"报表.xlsx");
    for (auto* book : {opened.Get(), book2.Get()}) ASSERT_HRESULT_SUCCEEDED(dispatch::Call(book, L"Close"));
    Variant none;
    ASSERT_HRESULT_SUCCEEDED(dispatch::Get(App(), L"ActiveWindow", &none));
    EXPECT_EQ(none.vt, VT_DISPATCH);
    EXPECT_EQ(none.pdispVal, nullptr);

    // From 15.0 on every workbook window is a top-level window of its own.
    EXPECT_TRUE(app_->WindowPerWorkbook());
    app_->SetVersion(L"14.0");
    EXPECT_FALSE(app_->WindowPerWorkbook());
}

}  // namespace
}  // namespace cartulane::sheethost
