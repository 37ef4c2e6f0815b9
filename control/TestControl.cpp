#include "control/TestControl.h"

#include "control/FolderTree.h"
#include "control/Form1.h"
#include "control/Form2.h"
#include "control/Form3.h"
#include "control/Host.h"
#include "control/NodeImages.h"
#include "control/SharedValues.h"

#include <utility>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

namespace cartulane::control {

// The forms are one pair for every pane of the thread: they take input again once no
// container has them disabled, and a control that goes undoes what it asked.
namespace {
void ApplyModeless() {
    const bool enabled = Shared().ModelessDisabled == 0;
    for (Form* form : {static_cast<Form*>(&DefaultInstance<Form1>()), static_cast<Form*>(&DefaultInstance<Form2>())})
        if (form->Loaded()) ::EnableWindow(form->Hwnd(), enabled);
}
}  // namespace

namespace {

struct CommandDesign {
    const wchar_t* caption;
    double left;
    double width;
};

// Command1 to Command7, in twips; each 255 high at the top.
constexpr CommandDesign kCommands[] = {
    {L"换目录", 0, 735},    {L"新建", 720, 495},  {L"复制", 1200, 495}, {L"粘贴", 1680, 495},
    {L"删除", 2160, 495}, {L"刷新", 2640, 495}, {L"帮助", 3120, 495},
};
constexpr double kCommandHeight = 255;
constexpr SIZEL kDesignSize{3660, 9270};

enum ChildId : UINT { kTreeView1Id = 100, kTreeView2Id, kLabel1Id, kCommand1Id = 110 };

// Adds a node under a key made unique when it is taken already: a workbook "A_B" with
// sheet "C" beside a workbook "A" with sheet "B_C" would otherwise share "A_B_C", and the
// fill would end there. ":" is in no workbook or sheet name, so a made key meets none.
HRESULT AddUnique(TreeNodes& nodes, const std::wstring* relative, const std::wstring& key, const std::wstring& text,
                  int image, Node** added) {
    std::wstring unique = key;
    for (int n = 2; nodes.Find(unique); ++n) unique = key + L":" + std::to_wstring(n);
    return relative ? nodes.Add(*relative, tvwChild, unique, text, image, added)
                    : nodes.Add(unique, text, image, added);
}

// The failure of a host call, with a description the caller can show.
HRESULT Described(HRESULT hr) {
    std::wstring description = TakeErrorDescription();
    if (description.empty()) description = SystemMessage(hr);
    if (description.empty()) description = L"The workbooks could not be listed.";
    return SetErrorDescription(hr, description, L"Quillet.TestControl");
}

}  // namespace

TestControl::TestControl() : ComObject(CLSID_TestControl, DIID___TestControl, kDesignSize) {
    Shared().LiveControls.push_back(this);
    for (size_t i = 0; i < commands_.size(); ++i) commands_[i].Move(kCommands[i].left, 0, kCommands[i].width, kCommandHeight);
    TreeView2.Move(0, 240, 3615, 4335);
    TreeView1.Move(0, 5040, 3615, 4215);
}

// The window goes while the control is whole. The forms are the panes': when the last
// pane's control goes, so do they (and with them what they keep: their windows, the
// keyboard hook and a lock on the library).
TestControl::~TestControl() {
    StopJob();
    DestroyControlWindow();
    SharedValues& shared = Shared();
    std::erase(shared.LiveControls, this);
    if (!shared.LiveControls.empty()) return;
    UnloadDefaultInstances();
    // Nothing can use the application of the last node click any more.
    const ComPtr<IDispatch> application = std::move(shared.CurrentApp);
}

const QITAB* TestControl::Interfaces() {
    static const QITAB table[] = {
        ACTIVEX_CONTROL_INTERFACES(TestControl),
        QITABENT(TestControl, _TestControl),
        QITABENTMULTI(TestControl, IDispatch, _TestControl),
        QITABENT(TestControl, ISupportErrorInfo),
        {},
    };
    return table;
}

// ---- the children and their layout ----

void TestControl::OnCreate() {
    HWND hwnd = Hwnd();
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&classes);
    dpi_ = ScreenDpi();
    font_ = CreateFormFont();
    ImageList1 = CreateNodeImages(NodeImageSize());

    // Created in tab order: the workbook tree, the folder tree, the caption, the buttons.
    // The workbook tree finds workbooks by their labels, which the user must not change.
    TreeView1.Create(hwnd, kTreeView1Id, ImageList1.get(), TreeView::LabelEdit::None);
    TreeView2.Create(hwnd, kTreeView2Id, ImageList1.get());
    for (TreeView* tree : {&TreeView1, &TreeView2})
        ::SendMessageW(tree->Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    Label1.AttachWindow(
        CreateChildWindow(hwnd, L"Static", L"已打开的Excel文件：", SS_LEFT | SS_NOPREFIX, kLabel1Id, font_.get()), dpi_);
    for (size_t i = 0; i < commands_.size(); ++i) {
        commands_[i].AttachWindow(CreateChildWindow(hwnd, L"Button", kCommands[i].caption,
                                                    BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP,
                                                    kCommand1Id + static_cast<UINT>(i), font_.get()),
                                  dpi_);
    }
    Image1.AttachWindow(nullptr, dpi_);

    TreeView1.SetOwner(static_cast<IOleObject*>(this));
    TreeView2.SetOwner(static_cast<IOleObject*>(this));
    TreeView1.NodeClick = [this](Node& node) { TreeView1_NodeClick(node); };
    TreeView1.MouseUp = [this](int button, int shift, float x, float y) { TreeView1_MouseUp(button, shift, x, y); };
    TreeView2.DblClick = [this] { TreeView2_DblClick(); };
    TreeView2.Expand = [this](Node& node) { TreeView2_Expand(node); };
    TreeView2.BeforeLabelEdit = [this](short& cancel) { TreeView2_BeforeLabelEdit(cancel); };
    TreeView2.AfterLabelEdit = [this](short& cancel, std::wstring& text) { TreeView2_AfterLabelEdit(cancel, text); };
    TreeView2.KeyDown = [this](int& keyCode, int shift) { TreeView2_KeyDown(keyCode, shift); };
    TreeView2.ContextMenu = [this](POINT screen) { TreeView2_ContextMenu(screen); };
    TreeView2.BeginDrag = [this](Node& node) { TreeView2_BeginDrag(node); };
    dropTarget_ = com::Make<FolderDropTarget>(TreeView2, hwnd);
    if (dropTarget_) {
        // No drop while the disk is being changed or the control asks something.
        dropTarget_->Accepting = [this] { return !job_ && !InModal(); };
        dropTarget_->Dropped = [this](FolderDrop drop) { TreeView2_Drop(std::move(drop)); };
        dropTarget_->OpenFolder = [this](const std::wstring& key) { TreeView2_OpenHovered(key); };
        dropTarget_->Register();  // without OLE on the thread, the tree takes no drops
    }
    // While a label is being edited, or a message box, menu or dialog of the control is up,
    // changes on disk wait: the edit or the command is about a node that must stay where the
    // user saw it.
    follow_.MayApply = [this] { return !InModal() && !TreeView_GetEditControl(TreeView2.Hwnd()); };
    follow_.Start(hwnd);

    // Made anew after the container deactivated the control in place: the workbook tree
    // is filled again now (the folder tree is with the first resize).
    if (Application) FillTvw();
}

// The trees go with the window: so does following the folders it listed, and a paste or
// delete still running is stopped and waited for.
void TestControl::OnDestroy() {
    splitterCaptured_ = false;
    Shared().ModelessDisabled -= std::exchange(modelessDisabled_, 0);
    ApplyModeless();
    follow_.Stop();
    StopJob();
    if (dropTarget_) dropTarget_->Revoke();
    dropTarget_.Reset();
}

// Every resize lays the trees out half and half and builds the folder tree anew. Each
// step stands alone: one that fails (a negative size) is skipped and the rest still run.
void TestControl::UserControl_Resize() {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const double scaleWidth = PixelsToTwips(client.right, dpi_.x);
    const double scaleHeight = PixelsToTwips(client.bottom, dpi_.y);
    const int W = RoundHalfEven(scaleWidth - 1);
    const int H = RoundHalfEven(scaleHeight / 2);

    TreeView2.Move(0, Command1.Top() + Command1.Height(), W, H - Image1.Height() - Label1.Height());
    Image1.SetWidth(W);
    Image1.SetTop(TreeView2.Top() + TreeView2.Height());
    Label1.SetWidth(W);
    Label1.SetTop(Image1.Top() + Image1.Height());
    TreeView1.Move(0, Label1.Top() + Label1.Height(), W, H);
    std::wstring& root = Shared().RootPath;
    if (root.empty()) root = DefaultRootPath();
    BuildFolders();
}

void TestControl::BuildFolders() {
    BuildFolderTree(Shared().RootPath, TreeView2, &follow_.Listed());
    ShowCut();
    follow_.Tell();
}

void TestControl::Image1_MouseDown(int button, int, float, float y) {
    if (button == 1) SplitY = y;
}

HRESULT TestControl::Image1_MouseMove(int button, int, float, float y) {
    if (button != 1) return S_OK;
    double d = y - SplitY;
    if (TreeView2.Height() < SplitY - y || TreeView1.Height() < SplitY) return S_OK;
    // A step down by more than the lower tree's height would leave it below zero: the
    // bar stops where that tree has none left.
    if (d > TreeView1.Height()) d = TreeView1.Height();
    RETURN_IF_FAILED(TreeView2.SetHeight(TreeView2.Height() + d));
    RETURN_IF_FAILED(Image1.SetTop(Image1.Top() + d));
    RETURN_IF_FAILED(Label1.SetTop(Label1.Top() + d));
    RETURN_IF_FAILED(TreeView1.SetTop(TreeView1.Top() + d));
    return TreeView1.SetHeight(TreeView1.Height() - d);
}

// Only a drag that starts on the bar moves it: the pointer held down elsewhere and moved
// across the bar belongs to where it went down.
bool TestControl::RouteMouseToImage1(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!splitterCaptured_ && !Image1.Contains(at)) return false;
    if (message == WM_MOUSEMOVE && !splitterCaptured_ && (wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) return false;
    // Coordinates relative to the bar, in twips.
    const auto x = static_cast<float>(PixelsToTwips(at.x, dpi_.x) - Image1.Left());
    const auto y = static_cast<float>(PixelsToTwips(at.y, dpi_.y) - Image1.Top());
    switch (message) {
        case WM_LBUTTONDOWN:
            ::SetCapture(Hwnd());
            splitterCaptured_ = true;
            Image1_MouseDown(1, ShiftKeys(wParam), x, y);
            return true;
        case WM_RBUTTONDOWN:
            Image1_MouseDown(2, ShiftKeys(wParam), x, y);
            return true;
        case WM_MBUTTONDOWN:
            Image1_MouseDown(4, ShiftKeys(wParam), x, y);
            return true;
        case WM_MOUSEMOVE:
            Image1_MouseMove(MouseButtons(wParam), ShiftKeys(wParam), x, y);  // a refused step changes nothing
            return true;
        case WM_LBUTTONUP:
            if (splitterCaptured_) {
                splitterCaptured_ = false;
                ::ReleaseCapture();
            }
            return true;
        default:
            return false;
    }
}

LRESULT TestControl::OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    LRESULT result = 0;
    if (TreeView::ReflectNotify(message, lParam, &result)) {
        *handled = true;
        return result;
    }
    if (follow_.OnMessage(message, wParam)) {
        *handled = true;
        return 0;
    }
    if (OnJobMessage(message, wParam)) {
        *handled = true;
        return 0;
    }
    if (message == FolderDropTarget::PostedMessage()) {
        if (dropTarget_) dropTarget_->RunPosted();
        *handled = true;
        return 0;
    }
    switch (message) {
        case WM_SIZE:
            UserControl_Resize();
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
            *handled = RouteMouseToImage1(message, wParam, lParam);
            break;
        case WM_CAPTURECHANGED:
            splitterCaptured_ = false;
            break;
        case WM_DESTROY:  // also when the container destroys its windows with ours inside
            follow_.Stop();
            StopJob();
            break;
        case WM_COMMAND: {
            if (HIWORD(wParam) != BN_CLICKED) break;
            void (TestControl::*const commands[])() = {&TestControl::Command1_Click, &TestControl::Command2_Click,
                                                       &TestControl::Command3_Click, &TestControl::Command4_Click,
                                                       &TestControl::Command5_Click, &TestControl::Command6_Click};
            const UINT index = LOWORD(wParam) - kCommand1Id;
            if (index < std::size(commands)) {
                (this->*commands[index])();
                *handled = true;
            } else if (index == 6) {
                Command7_Click();
                *handled = true;
            }
            break;
        }
        case WM_SETCURSOR: {
            POINT at;
            ::GetCursorPos(&at);
            ::ScreenToClient(Hwnd(), &at);
            if (reinterpret_cast<HWND>(wParam) == Hwnd() && (splitterCaptured_ || Image1.Contains(at))) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_SIZENS));
                *handled = true;
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return 0;
}

// ---- _TestControl ----

STDMETHODIMP TestControl::put_Application(IDispatch* application) {
    Application = application;
    return S_OK;
}

STDMETHODIMP TestControl::get_Application(IDispatch** application) {
    if (!application) return E_POINTER;
    return Application.CopyTo(application);
}

// ---- the workbook tree ----

// Lists every open workbook with its sheets. Nothing is guarded: the first failing call
// on the application ends the fill, and its error goes back to the caller. Every sheet
// is listed, chart sheets too: all the fill needs of a sheet is its name.
STDMETHODIMP TestControl::FillTvw() {
    if (!Application) return S_OK;
    return Boundary([this] { return FillWorkbookTree(); });
}

HRESULT TestControl::FillWorkbookTree() {
    ComPtr<IDispatch> application = Application;  // a host call may set another one
    TreeView::BulkUpdate update(TreeView1);
    TreeNodes& nodes = TreeView1.Nodes();
    nodes.Clear();
    const HRESULT hr = host::ForEachWorkbook(application.Get(), [&](IDispatch* workbook) -> HRESULT {
        std::wstring name;
        RETURN_IF_FAILED(host::Name(workbook, &name));
        Node* book = nullptr;
        RETURN_IF_FAILED(AddUnique(nodes, nullptr, name, name, kImageWorkbook, &book));
        book->SetExpanded(true);
        const std::wstring bookKey = book->Key();
        return host::ForEachSheet(workbook, [&](IDispatch* sheet) -> HRESULT {
            std::wstring sheetName;
            RETURN_IF_FAILED(host::Name(sheet, &sheetName));
            return AddUnique(nodes, &bookKey, name + L"_" + sheetName, sheetName, kImageWorksheet, nullptr);
        });
    });
    return FAILED(hr) ? Described(hr) : S_OK;
}

// A click activates the workbook, and for a sheet selects it, or tells that it is hidden.
// Each step that fails is skipped. The workbook's name is the text of its node (its key
// too, unless the key had to be made unique). Activating raises the application's
// events, whose relay fills this tree anew: the node is gone after the first host call,
// so what the click needs is taken from it before.
void TestControl::TreeView1_NodeClick(Node& node) {
    const bool isWorkbook = node.Parent() == nullptr;
    const std::wstring bookName = isWorkbook ? node.Text() : node.Parent()->Text();
    const std::wstring sheetName = isWorkbook ? std::wstring() : node.Text();
    ComPtr<IDispatch> application = Application;
    Shared().CurrentApp = application;
    if (!application) return;
    ComPtr<IDispatch> workbook;
    if (SUCCEEDED(host::WorkbookByName(application.Get(), bookName, &workbook))) host::Activate(workbook.Get());
    if (!isWorkbook) {
        ComPtr<IDispatch> sheet;
        long visible = 0;
        if (workbook && SUCCEEDED(host::WorksheetByName(workbook.Get(), sheetName, &sheet)) &&
            SUCCEEDED(host::Visible(sheet.Get(), &visible))) {
            if (visible == -1) {
                host::Select(sheet.Get());
            } else {
                ShowMessage(L"该工作表已被隐藏，无法查看！", L"提示", MB_OK | MB_ICONINFORMATION);
            }
        }
    }
    Shared().CurrentBookName = bookName;
}

// The right button opens the close-workbook pop-up; any other closes it. The pop-up
// acts on the workbook of the last node click, not on the node under the pointer.
HRESULT TestControl::TreeView1_MouseUp(int button, int, float x, float y) {
    Form2& popup = DefaultInstance<Form2>();
    if (button == 2) {
        SharedValues& shared = Shared();
        shared.PopupLeft = RoundHalfEven(TreeView1.Left() + x);
        shared.PopupTop = RoundHalfEven(TreeView1.Top() + y);
        shared.BookTreeHeight = RoundHalfEven(TreeView1.Height());
        shared.BookTreeWidth = RoundHalfEven(TreeView1.Width());
        popup.Show(OwnerWindow());
        ApplyModeless();  // shown while the container's modal dialog is up: it waits too
        return popup.Loaded() ? S_OK : E_FAIL;
    }
    // Only a pop-up that is loaded can be visible: asking a form that is not would load it
    // hidden, and keep a window and the library for nobody.
    if (popup.Loaded() && popup.Visible()) popup.Unload();
    return S_OK;
}

// While the container's modal dialog is up, the help window and the pop-up that are loaded
// take no input either.
void TestControl::EnableModelessWindows(bool enable) {
    if (enable && modelessDisabled_ == 0) return;
    modelessDisabled_ += enable ? -1 : 1;
    Shared().ModelessDisabled += enable ? -1 : 1;
    ApplyModeless();
}

HRESULT TestControl::Command7_Click() {
    Form1& help = DefaultInstance<Form1>();
    help.Show(OwnerWindow());
    ApplyModeless();
    return help.Loaded() ? S_OK : E_FAIL;
}

STDMETHODIMP TestControl::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__TestControl ? S_OK : S_FALSE;
}

}  // namespace cartulane::control
