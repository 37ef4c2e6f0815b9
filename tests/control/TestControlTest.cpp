// TestControl through COM, as the application's task pane has it: registration, the
// control sited in a sheethost pane, its layout at the screen's DPI, the splitter, the
// folder tree it builds, the keyboard, and the references it gives back.

#include "runtime/ActiveXControl.h"
#include "runtime/ComObject.h"
#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "tests/support/PaneFixture.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace cartulane {
namespace {

using sheethost::HostWindow;
using sheethost::TaskPane;
using test::CallOcx;
using test::Children;
using test::ItemText;

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);

std::wstring QueryValue(const std::wstring& key, const wchar_t* name = nullptr) {
    return test::RegistryText(HKEY_CLASSES_ROOT, key, name);
}
bool KeyExists(const std::wstring& key) { return test::KeyExists(HKEY_CLASSES_ROOT, key); }
DWORD SubkeyCount(const wchar_t* key) { return test::SubkeyCount(HKEY_CLASSES_ROOT, key); }
using test::GuidText;

TEST(Registration, WritesWhatAContainerNeedsAndRemovesExactlyThat) {
    const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_TestControl);
    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllUnregisterServer"));
    EXPECT_FALSE(KeyExists(clsid));
    const DWORD classes = SubkeyCount(L"CLSID"), libraries = SubkeyCount(L"TypeLib"),
                interfaces = SubkeyCount(L"Interface");

    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllRegisterServer"));
    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllRegisterServer"));  // twice is the same as once
    EXPECT_EQ(QueryValue(clsid + L"\\InprocServer32"), test::OcxPath());
    EXPECT_EQ(QueryValue(clsid + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_TRUE(KeyExists(clsid + L"\\Control"));
    EXPECT_EQ(QueryValue(clsid + L"\\MiscStatus\\1"), L"131473");
    EXPECT_EQ(QueryValue(clsid + L"\\TypeLib"), GuidText(LIBID_Quillet));
    EXPECT_EQ(QueryValue(clsid + L"\\Version"), L"1.0");
    EXPECT_EQ(QueryValue(clsid + L"\\VersionIndependentProgID"), L"Quillet.TestControl");
    CLSID found{};
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(L"Quillet.TestControl", &found));
    EXPECT_TRUE(found == CLSID_TestControl);
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(QueryValue(clsid + L"\\ProgID").c_str(), &found));
    EXPECT_TRUE(found == CLSID_TestControl);

    // The registered type library: _TestControl's members in slot order.
    ComPtr<ITypeLib> library;
    ASSERT_HRESULT_SUCCEEDED(::LoadRegTypeLib(LIBID_Quillet, 1, 0, 0, &library));
    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(IID__TestControl, &info));
    ComPtr<ITypeInfo> vtable;
    HREFTYPE self;
    if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &self))) info->GetRefTypeInfo(self, &vtable);
    ITypeInfo* members = vtable ? vtable.Get() : info.Get();
    std::vector<std::pair<std::wstring, INVOKEKIND>> slots;
    for (UINT i = 0;; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(members->GetFuncDesc(i, &function))) break;
        Bstr name;
        members->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr);
        if (function->oVft >= 7 * static_cast<SHORT>(sizeof(void*)) || !vtable) slots.emplace_back(name.str(), function->invkind);
        members->ReleaseFuncDesc(function);
    }
    const std::vector<std::pair<std::wstring, INVOKEKIND>> expected = {
        {L"Application", INVOKE_PROPERTYPUT}, {L"Application", INVOKE_PROPERTYGET}, {L"FillTvw", INVOKE_FUNC}};
    EXPECT_EQ(slots, expected);

    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllUnregisterServer"));
    for (const std::wstring& key : {clsid, std::wstring(L"Quillet.TestControl"), std::wstring(L"Quillet.TestControl.1"),
                                    L"TypeLib\\" + GuidText(LIBID_Quillet), L"Interface\\" + GuidText(IID__TestControl)})
        EXPECT_FALSE(KeyExists(key)) << test::Narrow(key);
    EXPECT_EQ(SubkeyCount(L"CLSID"), classes);
    EXPECT_EQ(SubkeyCount(L"TypeLib"), libraries);
    EXPECT_EQ(SubkeyCount(L"Interface"), interfaces);
    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllUnregisterServer"));  // again: nothing left to remove
    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllRegisterServer"));
}

TEST(Registration, CreatedByProgIdWithTheInterfacesOfAControl) {
    CLSID clsid;
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(L"Quillet.TestControl", &clsid));
    ComPtr<_TestControl> control;
    ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control)));
    for (const IID* iid : {&IID_IOleObject, &IID_IOleInPlaceObject, &IID_IOleInPlaceActiveObject, &IID_IViewObject2,
                           &IID_IOleControl, &IID_IPersistStreamInit, &IID_IQuickActivate, &IID_IProvideClassInfo2,
                           &IID_IConnectionPointContainer, &IID_IDispatch, &IID_ISupportErrorInfo}) {
        ComPtr<IUnknown> part;
        EXPECT_HRESULT_SUCCEEDED(control->QueryInterface(*iid, reinterpret_cast<void**>(part.GetAddressOf())))
            << test::Narrow(GuidText(*iid));
    }
    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_HRESULT_SUCCEEDED(control.As(&classInfo));
    GUID events{};
    ASSERT_HRESULT_SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events));
    EXPECT_TRUE(events == DIID___TestControl);
    ComPtr<IConnectionPointContainer> points;
    ASSERT_HRESULT_SUCCEEDED(control.As(&points));
    ComPtr<IConnectionPoint> point;
    EXPECT_HRESULT_SUCCEEDED(points->FindConnectionPoint(DIID___TestControl, &point));

    // The Application property through IDispatch, put plainly or by reference.
    ComPtr<IDispatch> application = test::CreateByProgId(L"Scripting.Dictionary");
    ASSERT_TRUE(application);
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(control.As(&dispatch));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(dispatch.Get(), L"Application", Variant(application.Get())));
    ComPtr<IDispatch> stored;
    ASSERT_HRESULT_SUCCEEDED(control->get_Application(&stored));
    EXPECT_EQ(stored.Get(), application.Get());
    ASSERT_HRESULT_SUCCEEDED(control->put_Application(nullptr));
    ASSERT_HRESULT_SUCCEEDED(dispatch::PutRef(dispatch.Get(), L"Application", Variant(application.Get())));
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(dispatch.Get(), L"Application", &stored));
    EXPECT_EQ(stored.Get(), application.Get());
}

class PaneTest : public test::PaneFixture {
protected:
    // What a user sees of the layout for a client area of width x height pixels: both trees
    // and the caption as wide as the control, the folder tree right under the buttons, the
    // splitter's gap, the caption, the workbook tree; nothing overlaps, and the workbook tree
    // has half the height, as much as the folder tree, splitter and caption together.
    void ExpectLayout(int width, int height) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const RECT folder = Rect(folderTree_), label = Rect(label_), books = Rect(workbookTree_);
        for (const RECT& r : {folder, label, books}) {
            EXPECT_EQ(r.left, 0);
            EXPECT_NEAR(r.right, width, 1);
        }
        EXPECT_EQ(folder.top, Rect(Child(L"换目录")).bottom);
        EXPECT_NEAR(label.top - folder.bottom, Py(105), 1) << "the splitter between tree and caption";
        EXPECT_EQ(books.top, label.bottom);
        EXPECT_NEAR(books.bottom - books.top, height / 2.0, 1);
        EXPECT_NEAR(books.bottom - books.top, label.bottom - folder.top, 2);
    }
};

// The first pane of the process// The first pane of the process: the default root is set on the first resize.
TEST_F(PaneTest, TheFirstResizeBuildsTheFolderTreeFromTheDesktopAndLaterOnesKeepItsRoot) {
    HTREEITEM root = TreeView_GetRoot(folderTree_);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ItemText(folderTree_, root), L"桌面");
    EXPECT_EQ(Children(folderTree_, root), (std::vector<std::wstring>{L"报表 2024", L"预算.xls"}));
    EXPECT_EQ(Children(folderTree_, TreeView_GetChild(folderTree_, root)), std::vector<std::wstring>{L"一月.xlsx"});

    // Another profile now: the root stays what it became, and the rebuild sees new files.
    test::TempDir other;
    test::MakeFolder(other / L"桌面");
    ::SetEnvironmentVariableW(L"USERPROFILE", other.path().c_str());
    test::MakeFile(test::ControlEnvironment::Profile() / L"桌面\\新 文件.xlsx");
    Resize(300, 500);
    ::SetEnvironmentVariableW(L"USERPROFILE", test::ControlEnvironment::Profile().path().c_str());
    root = TreeView_GetRoot(folderTree_);
    EXPECT_EQ(ItemText(folderTree_, root), L"桌面");
    EXPECT_EQ(Children(folderTree_, root).size(), 3u);
    ASSERT_TRUE(DeleteFileW((test::ControlEnvironment::Profile() / L"桌面\\新 文件.xlsx").c_str()));
}

TEST_F(PaneTest, TheControlIsSitedInPlaceInThePaneWithItsChildren) {
    if (const char* expected = std::getenv("CARTULANE_DPI")) {
        ASSERT_EQ(dpi_.x, std::atoi(expected));
    }
    EXPECT_EQ(::GetParent(control_), pane_->Hwnd());
    EXPECT_TRUE(::IsWindowVisible(control_));
    RECT placed{};
    ::GetWindowRect(control_, &placed);
    ::MapWindowPoints(nullptr, pane_->Hwnd(), reinterpret_cast<POINT*>(&placed), 2);
    const RECT content = pane_->ContentRect();
    EXPECT_TRUE(::EqualRect(&placed, &content));
    EXPECT_EQ(pane_->WidthPixels(), ::MulDiv(245, dpi_.x, 72));

    // The seven buttons at their design places, in twips.
    const struct {
        const wchar_t* caption;
        double left, width;
    } buttons[] = {{L"换目录", 0, 735},    {L"新建", 720, 495},  {L"复制", 1200, 495}, {L"粘贴", 1680, 495},
                   {L"删除", 2160, 495}, {L"刷新", 2640, 495}, {L"帮助", 3120, 495}};
    for (const auto& button : buttons) {
        HWND window = Child(button.caption);
        ASSERT_NE(window, nullptr) << test::Narrow(button.caption);
        const RECT actual = Rect(window), expected = Expected(button.left, 0, button.width, 255);
        EXPECT_TRUE(::EqualRect(&actual, &expected)) << test::Narrow(button.caption);
    }

    // The trees and the caption, laid out half and half for the pane's size.
    RECT client{};
    ::GetClientRect(control_, &client);
    ExpectLayout(client.right, client.bottom);
    EXPECT_EQ(TreeView_GetCount(workbookTree_), 0u);
}

TEST_F(PaneTest, TheCloseBoxHidesThePaneAndTheWorkbooksTakeItsPlace) {
    int changes = 0;
    pane_->VisibleStateChange = [&](TaskPane&) { ++changes; };
    RECT pane{};
    ::GetClientRect(pane_->Hwnd(), &pane);
    ::SendMessageW(pane_->Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pane.right - 5, pane_->TitleHeight() / 2));
    EXPECT_FALSE(pane_->Visible());
    EXPECT_FALSE(::IsWindowVisible(pane_->Hwnd()));
    EXPECT_EQ(changes, 1);
    RECT workbooks{};
    ::GetWindowRect(host_.WorkbookArea(), &workbooks);
    ::MapWindowPoints(nullptr, host_.Hwnd(), reinterpret_cast<POINT*>(&workbooks), 2);
    EXPECT_EQ(workbooks.left, 0);

    pane_->SetVisible(true);  // the control is still there, laid out as before
    EXPECT_TRUE(::IsWindowVisible(control_));
    EXPECT_EQ(changes, 2);
    ::GetWindowRect(host_.WorkbookArea(), &workbooks);
    ::MapWindowPoints(nullptr, host_.Hwnd(), reinterpret_cast<POINT*>(&workbooks), 2);
    EXPECT_EQ(workbooks.left, pane_->WidthPixels());
}

TEST_F(PaneTest, EveryResizeLaysOutAgainAndSkipsWhatCannotBeDone) {
    for (const SIZE size : {SIZE{300, 800}, SIZE{200, 400}, SIZE{420, 1000}}) {
        Resize(size.cx, size.cy);
        ExpectLayout(size.cx, size.cy);
    }
    if (dpi_.x == 96 && dpi_.y == 96) {
        // 300 x 800 pixels are 4500 x 12000 twips: W 4499, H 6000; the upper tree 5640 high.
        Resize(300, 800);
        const RECT folder{0, 17, 300, 393}, label{0, 400, 300, 417}, books{0, 417, 300, 817};
        RECT actual = Rect(folderTree_);
        EXPECT_TRUE(::EqualRect(&actual, &folder));
        actual = Rect(label_);
        EXPECT_TRUE(::EqualRect(&actual, &label));
        actual = Rect(workbookTree_);
        EXPECT_TRUE(::EqualRect(&actual, &books));
    }

    // Too short for the upper tree: it keeps its place, the rest is placed below it.
    Resize(300, 800);
    const RECT before = Rect(folderTree_);
    Resize(300, 20);
    RECT actual = Rect(folderTree_);
    EXPECT_TRUE(::EqualRect(&actual, &before));
    EXPECT_EQ(Rect(label_).top, before.bottom + Py(105));
    const int H = RoundHalfEven(PixelsToTwips(20, dpi_.y) / 2);
    EXPECT_EQ(Rect(workbookTree_).bottom - Rect(workbookTree_).top, Py(H));

    // Narrower than a twip: nothing gets a negative width, the trees keep theirs.
    Resize(300, 800);
    const RECT wide = Rect(workbookTree_);
    Resize(0, 800);
    actual = Rect(workbookTree_);
    EXPECT_TRUE(::EqualRect(&actual, &wide));
    EXPECT_NE(TreeView_GetRoot(folderTree_), nullptr);  // the folder tree is rebuilt in any case
}

TEST_F(PaneTest, TheContainerProtocolIsKeptAsTheOleDocumentationDescribesIt) {
    ComPtr<IOleObject> object(pane_->Control());
    const RECT content = pane_->ContentRect();
    EXPECT_EQ(object->DoVerb(-100, nullptr, nullptr, 0, pane_->Hwnd(), &content), E_NOTIMPL);
    EXPECT_EQ(object->DoVerb(5, nullptr, nullptr, 0, pane_->Hwnd(), &content), S_OK) << "the primary verb";
    EXPECT_TRUE(::IsWindowVisible(control_));

    ComPtr<IOleControl> control;
    ASSERT_HRESULT_SUCCEEDED(object.As(&control));
    CONTROLINFO info{sizeof(info)};
    ASSERT_HRESULT_SUCCEEDED(control->GetControlInfo(&info));
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(CTRLINFO_EATS_RETURN | CTRLINFO_EATS_ESCAPE));

    // Becoming UI active: no border space wanted from the frame, and the site asked to
    // show the control.
    ::SetFocus(workbookTree_);
    host_.PumpMessages();
    const auto& calls = host_.ContainerCalls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), L"Frame.SetBorderSpace(NULL)"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), L"Site.ShowObject"), calls.end());
}

TEST(QuickActivate, AContainerOfAnOlderVersionPassesSmallerStructuresAndNothingBeyondIsWritten) {
    ComPtr<IQuickActivate> quick;
    CLSID clsid;
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(L"Quillet.TestControl", &clsid));
    ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&quick)));
    QACONTAINER container{};
    container.cbSize = offsetof(QACONTAINER, pFont);  // up to the colours
    QACONTROL answer{};
    answer.cbSize = offsetof(QACONTROL, dwPointerActivationPolicy);
    answer.dwPointerActivationPolicy = 0xBADF00D;
    EXPECT_EQ(quick->QuickActivate(&container, &answer), S_OK);
    EXPECT_EQ(answer.dwMiscStatus, ActiveXControl::kMiscStatus);
    EXPECT_EQ(answer.dwPointerActivationPolicy, 0xBADF00Du);

    QACONTROL tiny{};
    tiny.cbSize = sizeof(ULONG);  // the size alone
    tiny.dwMiscStatus = 0xBADF00D;
    EXPECT_EQ(quick->QuickActivate(&container, &tiny), S_OK);
    EXPECT_EQ(tiny.dwMiscStatus, 0xBADF00Du);
}

TEST_F(PaneTest, DrawingIntoAMovedOriginAddsTheControlsPlaceToIt) {
    ComPtr<IViewObject> view;
    ASSERT_HRESULT_SUCCEEDED(pane_->Control()->QueryInterface(IID_PPV_ARGS(&view)));
    WindowDC screen(nullptr);
    UniqueMemoryDC dc(::CreateCompatibleDC(screen.get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), 400, 400));
    SelectGuard selected(dc.get(), bitmap.get());
    RECT all{0, 0, 400, 400};
    ::FillRect(dc.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetViewportOrgEx(dc.get(), 20, 20, nullptr);  // the container's own offset
    const RECTL bounds{10, 10, 210, 310};
    ASSERT_HRESULT_SUCCEEDED(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc.get(), &bounds, nullptr,
                                        nullptr, 0));
    ::SetViewportOrgEx(dc.get(), 0, 0, nullptr);
    EXPECT_EQ(::GetPixel(dc.get(), 15, 15), RGB(255, 255, 255)) << "nothing drawn before 30, 30";
    EXPECT_EQ(::GetPixel(dc.get(), 25, 25), RGB(255, 255, 255));
    EXPECT_NE(::GetPixel(dc.get(), 32, 32), RGB(255, 255, 255));
}

TEST_F(PaneTest, ActivatedAnewTheControlFillsBothTreesAgain) {
    ASSERT_HRESULT_SUCCEEDED(Control()->put_Application(&host_.App()));
    ASSERT_HRESULT_SUCCEEDED(host_.App().AddWorkbook(nullptr));
    ASSERT_HRESULT_SUCCEEDED(Control()->FillTvw());
    ASSERT_HRESULT_SUCCEEDED(inPlace_->InPlaceDeactivate());
    EXPECT_FALSE(::IsWindow(control_));

    ComPtr<IOleObject> object(pane_->Control());
    ComPtr<IOleClientSite> site;
    ASSERT_HRESULT_SUCCEEDED(object->GetClientSite(&site));
    const RECT content = pane_->ContentRect();
    ASSERT_HRESULT_SUCCEEDED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, pane_->Hwnd(), &content));
    host_.PumpMessages();
    HWND again = nullptr;
    ASSERT_HRESULT_SUCCEEDED(inPlace_->GetWindow(&again));
    const test::ControlTrees trees = test::FindTrees(again);
    ASSERT_NE(trees.folder, nullptr);
    EXPECT_EQ(Children(trees.folder, nullptr), std::vector<std::wstring>{L"桌面"});
    EXPECT_EQ(Children(trees.workbook, nullptr), std::vector<std::wstring>{L"Book1"});
}

TEST_F(PaneTest, KeysTypedWhileRenamingStayInTheEditBoxAndTheWorksheetSeesNone) {
    ::SetFocus(folderTree_);
    host_.PumpMessages();
    HWND edit = TreeView_EditLabel(folderTree_, TreeView_GetChild(folderTree_, TreeView_GetRoot(folderTree_)));
    ASSERT_NE(edit, nullptr);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    const wchar_t pasted[] = L"季度 汇总";
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(pasted));
    std::memcpy(::GlobalLock(memory), pasted, sizeof(pasted));
    ::GlobalUnlock(memory);
    ::SetClipboardData(CF_UNICODETEXT, memory);
    ::CloseClipboard();

    // Ctrl+V, then Ctrl+Z and Ctrl+A, through the host's loop as the user types them.
    auto ctrl = [&](UINT key) {
        BYTE keys[256];
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        ::PostMessageW(edit, WM_KEYDOWN, key, 1);
        host_.PumpMessages();
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
    };
    ctrl('V');
    EXPECT_EQ(test::WindowText(edit), pasted);
    ctrl('A');
    ctrl('C');
    EXPECT_TRUE(host_.HostKeys().empty()) << "the worksheet saw " << host_.HostKeys().size() << " keys";
    TreeView_EndEditLabelNow(folderTree_, TRUE);
    host_.PumpMessages();
}

TEST(TwoPanes, FocusComingBackToAControlMakesItTheActiveObjectAgain) {
    HostWindow host;
    ASSERT_HRESULT_SUCCEEDED(host.Create(L"sheethost", 1000, 700, true));
    TaskPane *first = nullptr, *second = nullptr;
    ASSERT_HRESULT_SUCCEEDED(host.AddPane(L"Quillet.TestControl", L"一", 245, &first));
    ASSERT_HRESULT_SUCCEEDED(host.AddPane(L"Quillet.TestControl", L"二", 245, &second));
    auto tree = [](TaskPane* pane) { return test::FindTrees(test::ControlWindow(pane)).folder; };
    auto active = [](TaskPane* pane) {
        ComPtr<IOleInPlaceActiveObject> object;
        pane->Control()->QueryInterface(IID_PPV_ARGS(&object));
        return object;
    };
    ::SetFocus(tree(first));
    host.PumpMessages();
    EXPECT_EQ(host.ActiveObject(), active(first).Get());
    ::SetFocus(tree(second));
    host.PumpMessages();
    EXPECT_EQ(host.ActiveObject(), active(second).Get());
    ::SetFocus(tree(first));
    host.PumpMessages();
    EXPECT_EQ(host.ActiveObject(), active(first).Get()) << "its keys would go to the other pane";
}

class SplitterTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        Resize(300, 800);
        barY_ = (Rect(folderTree_).bottom + Rect(label_).top) / 2;
    }
    int Height(HWND window) { return Rect(window).bottom - Rect(window).top; }
    void Send(UINT message, WPARAM keys, int y) { ::SendMessageW(control_, message, keys, MAKELPARAM(100, y)); }
    int barY_ = 0;
};

TEST_F(SplitterTest, DraggingMovesTheBarAndSharesTheHeight) {
    const int upper = Height(folderTree_), lower = Height(workbookTree_), labelTop = Rect(label_).top;
    Send(WM_LBUTTONDOWN, MK_LBUTTON, barY_);
    EXPECT_EQ(::GetCapture(), control_);
    Send(WM_MOUSEMOVE, MK_LBUTTON, barY_ + 30);
    Send(WM_MOUSEMOVE, MK_LBUTTON, barY_ + 30 - 10);  // relative to the moved bar: 10 up
    Send(WM_LBUTTONUP, 0, barY_ + 20);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_NEAR(Height(folderTree_), upper + 20, 1);
    EXPECT_NEAR(Rect(label_).top, labelTop + 20, 1);
    EXPECT_NEAR(Height(workbookTree_), lower - 20, 1);
    EXPECT_EQ(Rect(workbookTree_).bottom, Rect(workbookTree_).top + Height(workbookTree_));

    // A resize restores half and half.
    Resize(300, 801);
    ExpectLayout(300, 801);
}

TEST_F(SplitterTest, ADragThatStartsElsewhereDoesNotMoveTheBar) {
    const RECT upper = Rect(folderTree_), lower = Rect(workbookTree_);
    // Down on the caption (it gives its mouse to the control), then across the bar.
    const int captionY = (Rect(label_).top + Rect(label_).bottom) / 2;
    Send(WM_LBUTTONDOWN, MK_LBUTTON, captionY);
    Send(WM_MOUSEMOVE, MK_LBUTTON, barY_);
    Send(WM_MOUSEMOVE, MK_LBUTTON, barY_ - 60);
    Send(WM_LBUTTONUP, 0, barY_ - 60);
    RECT a = Rect(folderTree_), b = Rect(workbookTree_);
    EXPECT_TRUE(::EqualRect(&a, &upper));
    EXPECT_TRUE(::EqualRect(&b, &lower));
}

TEST_F(SplitterTest, OnlyTheLeftButtonDragsAndTooFarUpIsRefused) {
    const RECT upper = Rect(folderTree_), lower = Rect(workbookTree_);
    auto unchanged = [&] {
        RECT a = Rect(folderTree_), b = Rect(workbookTree_);
        return ::EqualRect(&a, &upper) && ::EqualRect(&b, &lower);
    };
    Send(WM_MOUSEMOVE, 0, barY_);  // no button
    Send(WM_MOUSEMOVE, 0, barY_ + 40);
    EXPECT_TRUE(unchanged());
    Send(WM_RBUTTONDOWN, MK_RBUTTON, barY_);
    Send(WM_MOUSEMOVE, MK_RBUTTON, barY_ + 40);
    Send(WM_RBUTTONUP, 0, barY_ + 40);
    EXPECT_TRUE(unchanged());

    // Up by more than the upper tree's height: that step is refused.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, barY_);
    Send(WM_MOUSEMOVE, MK_LBUTTON, barY_ - (upper.bottom - upper.top) - 10);
    Send(WM_LBUTTONUP, 0, barY_);
    EXPECT_TRUE(unchanged());
}

TEST_F(SplitterTest, ADownwardStepStopsWhereTheLowerTreeHasNoHeightLeft) {
    const int upper = Height(folderTree_), lower = Height(workbookTree_);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, barY_);
    Send(WM_MOUSEMOVE, MK_LBUTTON, barY_ + lower + 200);
    Send(WM_LBUTTONUP, 0, barY_ + lower + 200);
    EXPECT_EQ(Height(workbookTree_), 0);
    EXPECT_NEAR(Height(folderTree_), upper + lower, 1);
}

TEST_F(SplitterTest, TheRealPointerDragsTheBarWithTheSizingCursor) {
    POINT bar{100, barY_};
    ::ClientToScreen(control_, &bar);
    ::SetCursorPos(bar.x, bar.y);
    host_.PumpMessages();
    ::SendMessageW(control_, WM_SETCURSOR, reinterpret_cast<WPARAM>(control_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_SIZENS));

    const int upper = Height(folderTree_);
    auto input = [&](DWORD flags, int dx, int dy) {
        INPUT event{};
        event.type = INPUT_MOUSE;
        event.mi.dx = dx;
        event.mi.dy = dy;
        event.mi.dwFlags = flags;
        ::SendInput(1, &event, sizeof(event));
        for (int i = 0; i < 20; ++i) {
            host_.PumpMessages();
            ::Sleep(10);
        }
    };
    input(MOUSEEVENTF_LEFTDOWN, 0, 0);
    ::SetCursorPos(bar.x, bar.y + 40);
    input(MOUSEEVENTF_MOVE, 0, 0);
    input(MOUSEEVENTF_LEFTUP, 0, 0);
    EXPECT_NEAR(Height(folderTree_), upper + 40, 1);
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(PaneTest, KeysInThePaneStayThereAndTabGoesRound) {
    ::SetFocus(workbookTree_);
    host_.PumpMessages();
    ASSERT_NE(host_.ActiveObject(), nullptr) << "focus in the control makes it the active object";

    // Tab order: the workbook tree, the folder tree, the seven buttons, and round again.
    std::vector<HWND> order;
    for (int i = 0; i < 10; ++i) {
        order.push_back(::GetFocus());
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        host_.PumpMessages();
    }
    const std::vector<HWND> expected = {workbookTree_, folderTree_, Child(L"换目录"), Child(L"新建"),
                                        Child(L"复制"), Child(L"粘贴"), Child(L"删除"), Child(L"刷新"),
                                        Child(L"帮助"), workbookTree_};
    EXPECT_EQ(order, expected);

    // Arrows move in the folder tree; the host sees none of them.
    ::SetFocus(folderTree_);
    TreeView_SelectItem(folderTree_, TreeView_GetRoot(folderTree_));
    ::PostMessageW(folderTree_, WM_KEYDOWN, VK_DOWN, 0);
    host_.PumpMessages();
    EXPECT_EQ(ItemText(folderTree_, TreeView_GetSelection(folderTree_)), L"报表 2024");
    {
        test::MessageBoxes boxes(IDNO);  // Delete asks first
        for (UINT key : {VK_UP, VK_RETURN, VK_DELETE, VK_F2, VK_ESCAPE, VK_HOME, VK_END})
            ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 0);
        host_.PumpMessages();
        TreeView_EndEditLabelNow(folderTree_, TRUE);  // F2 began one
        host_.PumpMessages();
    }
    EXPECT_TRUE(host_.HostKeys().empty());

    // A combination the host has for itself still reaches it.
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::PostMessageW(folderTree_, WM_KEYDOWN, 'N', 0);
    host_.PumpMessages();
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(host_.HostKeys(), std::vector<UINT>{'N' | 0x10000u});
}

TEST(PaneLifetime, DestroyingThePaneGivesBackEveryReference) {
    const long before = com::ModuleLocks();
    ComPtr<IDispatch> application = test::CreateByProgId(L"Scripting.Dictionary");
    application->AddRef();
    const ULONG applicationRefs = application->Release();
    {
        HostWindow host;
        ASSERT_HRESULT_SUCCEEDED(host.Create(L"sheethost", 800, 600, false));
        const long withHost = com::ModuleLocks();
        TaskPane* pane = nullptr;
        ASSERT_HRESULT_SUCCEEDED(host.AddPane(L"Quillet.TestControl", L"Cartulane", 245, &pane));
        ComPtr<_TestControl> control;
        ASSERT_HRESULT_SUCCEEDED(pane->ContentControl()->QueryInterface(IID_PPV_ARGS(&control)));
        ASSERT_HRESULT_SUCCEEDED(control->put_Application(application.Get()));
        control.Reset();
        ::SetFocus(::GetWindow(pane->Hwnd(), GW_CHILD));
        host.PumpMessages();
        EXPECT_GT(com::ModuleLocks(), before);
        host.RemovePane(pane);
        EXPECT_EQ(host.ActiveObject(), nullptr);
        EXPECT_EQ(CallOcx("DllCanUnloadNow"), S_OK);
        EXPECT_EQ(com::ModuleLocks(), withHost);
    }
    EXPECT_EQ(com::ModuleLocks(), before);
    application->AddRef();
    EXPECT_EQ(application->Release(), applicationRefs);
    EXPECT_EQ(CallOcx("DllCanUnloadNow"), S_OK);
}

}  // namespace
}  // namespace cartulane
