// The workbook tree of TestControl through COM, against sheethost's object model: the
// fill, clicks on workbooks and sheets, the hidden-sheet notice, and the close-workbook
// pop-up, driven by the tree's own mouse messages and by the real pointer.

#include "runtime/Dispatch.h"
#include "tests/support/PaneFixture.h"

namespace cartulane {
namespace {

using sheethost::Application;
using test::Children;
using test::ItemText;
using sheethost::Workbook;

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);

class WorkbookTreeTest : public test::PaneFixture {
protected:
    void SetUp() override {
        PaneFixture::SetUp();
        app_ = &host_.App();
    }
    void Connect() { ASSERT_HRESULT_SUCCEEDED(Control()->put_Application(app_)); }
    void Fill() { ASSERT_HRESULT_SUCCEEDED(Control()->FillTvw()); }
    Workbook* Add() {
        ComPtr<Workbook> book;
        EXPECT_HRESULT_SUCCEEDED(app_->AddWorkbook(&book));
        return book.Get();
    }
    void Rename(Workbook* book, const wchar_t* sheet, const wchar_t* name) {
        ComPtr<IDispatch> found;
        ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(book, L"Sheets", &found, {sheet}));
        ASSERT_HRESULT_SUCCEEDED(dispatch::Put(found.Get(), L"Name", Variant(name)));
    }
    HTREEITEM Item(const std::wstring& book, const std::wstring& sheet = {}) {
        for (HTREEITEM top = TreeView_GetRoot(workbookTree_); top; top = TreeView_GetNextSibling(workbookTree_, top)) {
            if (ItemText(workbookTree_, top) != book) continue;
            if (sheet.empty()) return top;
            for (HTREEITEM item = TreeView_GetChild(workbookTree_, top); item;
                 item = TreeView_GetNextSibling(workbookTree_, item))
                if (ItemText(workbookTree_, item) == sheet) return item;
        }
        return nullptr;
    }
    POINT Center(HTREEITEM item) {
        RECT r{};
        TreeView_GetItemRect(workbookTree_, item, &r, TRUE);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // A click as the tree sees one: down at the point, the release waiting in the queue.
    void Click(POINT at, bool right = false) {
        POINT screen = at;
        ::ClientToScreen(workbookTree_, &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::PostMessageW(workbookTree_, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        ::SendMessageW(workbookTree_, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON,
                       MAKELPARAM(at.x, at.y));
        host_.PumpMessages();
    }
    std::wstring ActiveBook() { return app_->ActiveWorkbook() ? app_->ActiveWorkbook()->Name() : L""; }
    std::wstring ActiveSheet() {
        Workbook* book = app_->ActiveWorkbook();
        return book && book->ActiveSheet() ? book->ActiveSheet()->Name() : L"";
    }
    // The visible top-level window of class "Form" with that caption.
    HWND ShownForm(const std::wstring& caption) {
        HWND found = nullptr;
        for (HWND window = ::FindWindowW(L"Form", nullptr); window; window = ::FindWindowExW(nullptr, window, L"Form", nullptr)) {
            if (::IsWindowVisible(window) && test::WindowText(window) == caption) found = window;
        }
        return found;
    }
    Application* app_ = nullptr;
};

TEST_F(WorkbookTreeTest, WithoutTheApplicationTheFillDoesNothing) {
    EXPECT_HRESULT_SUCCEEDED(Control()->FillTvw());
    EXPECT_EQ(TreeView_GetCount(workbookTree_), 0u);
    Connect();
    Fill();  // no workbooks open
    EXPECT_EQ(TreeView_GetCount(workbookTree_), 0u);
}

TEST_F(WorkbookTreeTest, EveryWorkbookWithItsSheetsInOrderExpanded) {
    Workbook* first = Add();
    first->RemoveSheet(L"Sheet3");
    Add();
    Connect();
    Fill();
    EXPECT_EQ(Children(workbookTree_, nullptr), (std::vector<std::wstring>{L"Book1", L"Book2"}));
    EXPECT_EQ(Children(workbookTree_, Item(L"Book1")), (std::vector<std::wstring>{L"Sheet1", L"Sheet2"}));
    EXPECT_EQ(Children(workbookTree_, Item(L"Book2")), (std::vector<std::wstring>{L"Sheet1", L"Sheet2", L"Sheet3"}));
    for (const wchar_t* book : {L"Book1", L"Book2"}) {
        EXPECT_TRUE(TreeView_GetItemState(workbookTree_, Item(book), TVIS_EXPANDED) & TVIS_EXPANDED);
        TVITEMW data{};
        data.mask = TVIF_IMAGE | TVIF_HANDLE;
        data.hItem = Item(book);
        TreeView_GetItem(workbookTree_, &data);
        EXPECT_EQ(data.iImage, 2);  // the spreadsheet icon, 3rd of the list
        data.hItem = Item(book, L"Sheet1");
        TreeView_GetItem(workbookTree_, &data);
        EXPECT_EQ(data.iImage, 1);  // the worksheet grid
    }
    // A second fill replaces the tree.
    app_->CloseWorkbook(first, false, nullptr);
    Fill();
    EXPECT_EQ(Children(workbookTree_, nullptr), std::vector<std::wstring>{L"Book2"});
}

// With a Chinese user's locale the application refuses calls made in it; the fill calls in
// English, and works.
TEST_F(WorkbookTreeTest, TheFillCallsInEnglishWhateverTheUsersLocale) {
    sheethost::SetUserLocale(MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT));
    Add();
    LPOLESTR name = const_cast<LPOLESTR>(L"Workbooks");
    DISPID id = 0;
    EXPECT_EQ(static_cast<IDispatch*>(app_)->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id),
              TYPE_E_INVDATAREAD);
    Connect();
    Fill();
    sheethost::SetUserLocale(0);
    EXPECT_EQ(Children(workbookTree_, nullptr), std::vector<std::wstring>{L"Book1"});
}

TEST_F(WorkbookTreeTest, KeysThatWouldCollideDoNotEndTheFill) {
    test::TempDir dir;
    std::wstring error;
    Workbook* ab = Add();
    ASSERT_HRESULT_SUCCEEDED(ab->SaveAs(dir / L"A_B", &error));
    Rename(ab, L"Sheet1", L"C");
    Workbook* a = Add();
    ASSERT_HRESULT_SUCCEEDED(a->SaveAs(dir / L"A", &error));
    Rename(a, L"Sheet1", L"B_C");  // "A" & "_" & "B_C" is "A_B" & "_" & "C"
    Add();
    Connect();
    Fill();
    EXPECT_EQ(Children(workbookTree_, nullptr), (std::vector<std::wstring>{L"A_B", L"A", L"Book3"}));
    EXPECT_EQ(Children(workbookTree_, Item(L"A")), (std::vector<std::wstring>{L"B_C", L"Sheet2", L"Sheet3"}));

    // A click on the renamed node still finds its sheet by workbook and name.
    Click(Center(Item(L"A", L"B_C")));
    EXPECT_EQ(ActiveBook(), L"A");
    EXPECT_EQ(ActiveSheet(), L"B_C");
}

TEST_F(WorkbookTreeTest, AFailingCallOnTheApplicationEndsTheFillAndComesBackDescribed) {
    ComPtr<IDispatch> notTheApplication = test::CreateByProgId(L"Scripting.Dictionary");
    ASSERT_HRESULT_SUCCEEDED(Control()->put_Application(notTheApplication.Get()));
    EXPECT_EQ(Control()->FillTvw(), DISP_E_UNKNOWNNAME);
    ComPtr<IDispatch> control;
    ASSERT_HRESULT_SUCCEEDED(Control().As(&control));
    EXPECT_HRESULT_FAILED(dispatch::Call(control.Get(), L"FillTvw"));
    EXPECT_FALSE(TakeErrorDescription().empty());
}

TEST_F(WorkbookTreeTest, ChartSheetsAreListedAndTheirClickActivatesTheWorkbook) {
    Workbook* book = Add();
    book->AddChartSheet(L"图表1");
    Add();
    Connect();
    Fill();
    EXPECT_EQ(Children(workbookTree_, Item(L"Book1")).back(), L"图表1");
    test::MessageBoxes boxes;
    Click(Center(Item(L"Book1", L"图表1")));
    EXPECT_EQ(ActiveBook(), L"Book1");
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(WorkbookTreeTest, ClicksActivateWorkbooksAndSelectSheetsOrTellThatOneIsHidden) {
    Workbook* book1 = Add();
    Workbook* book2 = Add();
    Connect();
    Fill();
    ASSERT_EQ(ActiveBook(), L"Book2");

    Click(Center(Item(L"Book1")));
    EXPECT_EQ(ActiveBook(), L"Book1");

    Click(Center(Item(L"Book2", L"Sheet3")));
    EXPECT_EQ(ActiveBook(), L"Book2");
    EXPECT_EQ(ActiveSheet(), L"Sheet3");

    // A hidden sheet: the notice, and nothing selected.
    std::wstring error;
    ASSERT_HRESULT_SUCCEEDED(book1->SetSheetVisible(book1->Sheets()[1].Get(), sheethost::xl::SheetHidden, &error));
    {
        test::MessageBoxes boxes(IDOK);
        const size_t callsBefore = host_.ContainerCalls().size();
        Click(Center(Item(L"Book1", L"Sheet2")));
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text, L"该工作表已被隐藏，无法查看！");
        EXPECT_EQ(boxes.Seen()[0].title, L"提示");
        EXPECT_TRUE(boxes.Seen()[0].information);
        EXPECT_EQ(boxes.Seen()[0].buttons, std::vector<int>{IDOK});
        // The container's modeless windows are disabled while the box is up.
        const std::vector<std::wstring> calls(host_.ContainerCalls().begin() + callsBefore,
                                              host_.ContainerCalls().end());
        EXPECT_EQ(calls, (std::vector<std::wstring>{L"Frame.EnableModeless(FALSE)", L"Frame.EnableModeless(TRUE)"}));
    }
    EXPECT_EQ(ActiveBook(), L"Book1");
    EXPECT_EQ(ActiveSheet(), L"Sheet1");

    // A sheet renamed since the fill: its workbook is activated, nothing else happens.
    Rename(book2, L"Sheet1", L"数据");
    {
        test::MessageBoxes boxes;
        Click(Center(Item(L"Book2", L"Sheet1")));
        EXPECT_TRUE(boxes.Seen().empty());
    }
    EXPECT_EQ(ActiveBook(), L"Book2");
    EXPECT_EQ(ActiveSheet(), L"Sheet3");
}

TEST_F(WorkbookTreeTest, TheRightButtonOpensThePopUpThatClosesTheLastClickedWorkbook) {
    Resize(320, 800);
    Add();
    Add();
    Connect();
    Fill();
    Click(Center(Item(L"Book1")));

    const POINT at = Center(Item(L"Book2", L"Sheet2"));  // the place, not the node, counts
    Click(at, true);
    HWND popup = ShownForm(L"");
    ASSERT_NE(popup, nullptr);
    // Placed from the tree's size and the release, in twips from the screen's corner.
    const int W = RoundHalfEven(PixelsToTwips(320, dpi_.x) - 1);
    const int H = RoundHalfEven(PixelsToTwips(800, dpi_.y) / 2);
    const int popupLeft = RoundHalfEven(PixelsToTwips(at.x, dpi_.x));
    const int popupTop = RoundHalfEven(H + 255 + PixelsToTwips(at.y, dpi_.y));
    RECT r{};
    ::GetWindowRect(popup, &r);
    EXPECT_EQ(r.left, Px(W / 5.0 + popupLeft));
    EXPECT_EQ(r.top, Py(H / 1.2 + popupTop));

    // A left-button release on the tree takes it away again.
    Click({at.x, at.y}, false);
    EXPECT_FALSE(::IsWindow(popup));

    Click(Center(Item(L"Book1")));
    Click(at, true);
    popup = ShownForm(L"");
    ASSERT_NE(popup, nullptr);
    HWND entry = ::GetWindow(popup, GW_CHILD);
    ::SendMessageW(entry, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageW(entry, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    host_.PumpMessages();
    EXPECT_FALSE(::IsWindow(popup));
    ASSERT_EQ(app_->OpenWorkbooks().size(), 1u);
    EXPECT_EQ(app_->OpenWorkbooks()[0]->Name(), L"Book2");
}

// A left button released over the tree loads no pop-up; the forms go with the last pane.
TEST_F(WorkbookTreeTest, NoFormIsLeftBehindWhenThePaneGoes) {
    auto forms = [] {
        int count = 0;
        for (HWND window = ::FindWindowW(L"Form", nullptr); window; window = ::FindWindowExW(nullptr, window, L"Form", nullptr))
            ++count;
        return count;
    };
    const int before = forms();
    Add();
    app_->AddRef();
    const ULONG applicationRefs = app_->Release();
    Connect();
    Fill();
    Click(Center(Item(L"Book1")));
    EXPECT_EQ(forms(), before) << "asking whether the pop-up is shown loads nothing";
    ::SendMessageW(Child(L"帮助"), BM_CLICK, 0, 0);
    EXPECT_EQ(forms(), before + 1);
    inPlace_.Reset();
    host_.RemovePane(pane_);
    pane_ = nullptr;
    host_.PumpMessages();
    EXPECT_EQ(forms(), before) << "the help window went with the last pane";
    EXPECT_EQ(test::CallOcx("DllCanUnloadNow"), S_OK);
    app_->AddRef();
    EXPECT_EQ(app_->Release(), applicationRefs) << "the application of the last click is let go with the library";
}

TEST_F(WorkbookTreeTest, TheRealPointerOpensThePopUpAndChoosesItsEntry) {
    Workbook* book = Add();
    Add();
    Connect();
    Fill();
    book->SetSaved(false);
    auto input = [&](POINT screen, DWORD down, DWORD up) {
        ::SetCursorPos(screen.x, screen.y);
        INPUT events[2] = {};
        events[0].type = events[1].type = INPUT_MOUSE;
        events[0].mi.dwFlags = down;
        events[1].mi.dwFlags = up;
        ::SendInput(2, events, sizeof(INPUT));
        for (int i = 0; i < 30; ++i) {
            host_.PumpMessages();
            ::Sleep(10);
        }
    };
    POINT node = Center(Item(L"Book1"));
    ::ClientToScreen(workbookTree_, &node);
    input(node, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(ActiveBook(), L"Book1");
    input(node, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    HWND popup = ShownForm(L"");
    ASSERT_NE(popup, nullptr);

    RECT entry{};
    ::GetWindowRect(::GetWindow(popup, GW_CHILD), &entry);
    test::MessageBoxes boxes(IDNO);
    input({(entry.left + entry.right) / 2, (entry.top + entry.bottom) / 2}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ASSERT_EQ(boxes.Seen().size(), 1u) << "the application asks about the unsaved workbook";
    EXPECT_EQ(boxes.Seen()[0].text, L"Want to save your changes to 'Book1'?");
    EXPECT_EQ(app_->OpenWorkbooks().size(), 1u);
    EXPECT_FALSE(::IsWindow(popup));
}

TEST_F(WorkbookTreeTest, TheHelpButtonShowsTheHelpWindow) {
    ::SendMessageW(Child(L"帮助"), BM_CLICK, 0, 0);
    HWND help = ShownForm(L"帮助");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(::GetWindow(help, GW_OWNER), host_.Hwnd());
    ::SendMessageW(help, WM_CLOSE, 0, 0);
    EXPECT_EQ(ShownForm(L"帮助"), nullptr);
}

// While the application's own modal dialog is up (its question about unsaved changes), the
// help window takes no input: the application tells the active control so.
TEST_F(WorkbookTreeTest, TheHelpWindowWaitsWhileTheApplicationsModalDialogIsUp) {
    Workbook* book = Add();
    Connect();
    ::SetFocus(workbookTree_);  // the control becomes the active one
    host_.PumpMessages();
    ASSERT_NE(host_.ActiveObject(), nullptr);
    ::SendMessageW(Child(L"帮助"), BM_CLICK, 0, 0);
    HWND help = ShownForm(L"帮助");
    ASSERT_NE(help, nullptr);
    book->SetSaved(false);
    int seen = 0;
    bool enabledMeanwhile = true;
    {
        test::DialogWatcher answer([&](HWND box) {
            ++seen;
            enabledMeanwhile = ::IsWindowEnabled(help) != FALSE;
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        std::wstring error;
        ASSERT_HRESULT_SUCCEEDED(app_->CloseWorkbook(book, std::nullopt, &error));
    }
    EXPECT_EQ(seen, 1);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_TRUE(::IsWindowEnabled(help));
    ::SendMessageW(help, WM_CLOSE, 0, 0);

    // Shown while the container has it disabled, the help form comes up disabled; nested
    // calls take it up again with the last TRUE.
    ComPtr<IOleInPlaceActiveObject> active;
    ASSERT_HRESULT_SUCCEEDED(Control()->QueryInterface(IID_PPV_ARGS(&active)));
    active->EnableModeless(FALSE);
    active->EnableModeless(FALSE);
    ::SendMessageW(Child(L"帮助"), BM_CLICK, 0, 0);
    help = ShownForm(L"帮助");
    ASSERT_NE(help, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(help));
    active->EnableModeless(TRUE);
    EXPECT_FALSE(::IsWindowEnabled(help));
    active->EnableModeless(TRUE);
    EXPECT_TRUE(::IsWindowEnabled(help));
    active->EnableModeless(TRUE);  // one too many changes nothing
    EXPECT_TRUE(::IsWindowEnabled(help));
    ::SendMessageW(help, WM_CLOSE, 0, 0);
}

// F6 (Shift+F6 alike) and Esc take the keyboard out of the pane, to the workbook.
TEST_F(WorkbookTreeTest, F6AndEscapeLeaveThePane) {
    Add();
    Connect();
    Fill();
    for (const UINT key : {VK_F6, VK_ESCAPE}) {
        ::SetFocus(workbookTree_);
        host_.PumpMessages();
        ::PostMessageW(workbookTree_, WM_KEYDOWN, key, 0);
        host_.PumpMessages();
        EXPECT_EQ(::GetFocus(), host_.WorkbookArea()) << key;
    }
}

// The application's loop never calls IsDialogMessage for the control's forms: their keys
// work all the same, and the application's own shortcuts do not see them.
TEST_F(WorkbookTreeTest, TabEnterAndEscapeWorkInTheHelpWindowThroughTheApplicationsLoop) {
    ::SendMessageW(Child(L"帮助"), BM_CLICK, 0, 0);
    HWND help = ShownForm(L"帮助");
    ASSERT_NE(help, nullptr);
    HWND close = ::FindWindowExW(help, nullptr, L"Button", L"关闭");
    ASSERT_NE(close, nullptr);
    ::SetFocus(close);
    for (UINT key : {VK_TAB, VK_TAB}) ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 0);
    host_.PumpMessages();
    EXPECT_EQ(::GetFocus(), close) << "Tab goes round the form's one button";
    EXPECT_TRUE(host_.HostKeys().empty()) << "the worksheet moved " << host_.HostKeys().size() << " cells";
    ::PostMessageW(close, WM_KEYDOWN, VK_ESCAPE, 0);
    host_.PumpMessages();
    EXPECT_EQ(ShownForm(L"帮助"), nullptr) << "Escape closes it";

    ::SendMessageW(Child(L"帮助"), BM_CLICK, 0, 0);
    help = ShownForm(L"帮助");
    ASSERT_NE(help, nullptr);
    close = ::FindWindowExW(help, nullptr, L"Button", L"关闭");
    ::SetFocus(close);
    ::PostMessageW(close, WM_KEYDOWN, VK_RETURN, 0);
    host_.PumpMessages();
    EXPECT_EQ(ShownForm(L"帮助"), nullptr) << "Enter presses the focused button";
    EXPECT_TRUE(host_.HostKeys().empty());
}

}  // namespace
}  // namespace cartulane
