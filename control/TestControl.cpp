#include "control/TestControl.h"

#include "control/FolderTree.h"
#include "control/Form1.h"
#include "control/Form2.h"
#include "control/Form3.h"
#include "control/Host.h"
#include "control/NodeImages.h"
#include "control/SharedValues.h"

#include <windowsx.h>

#include <new>

namespace cartulane::control {

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

int ShiftOf(WPARAM keys) {
    return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) | (::GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

int ButtonsOf(WPARAM keys) {
    return ((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) | ((keys & MK_MBUTTON) ? 4 : 0);
}

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
    if (description.empty()) {
        wchar_t* text = nullptr;
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        description = text ? text : L"The workbooks could not be listed.";
        ::LocalFree(text);
    }
    return SetErrorDescription(hr, description, L"Quillet.TestControl");
}

}  // namespace

TestControl::TestControl() : ActiveXControl(CLSID_TestControl, DIID___TestControl, kDesignSize) {
    for (size_t i = 0; i < commands_.size(); ++i) commands_[i].Move(kCommands[i].left, 0, kCommands[i].width, kCommandHeight);
    TreeView2.Move(0, 240, 3615, 4335);
    TreeView1.Move(0, 5040, 3615, 4215);
}

HRESULT TestControl::Create(REFIID iid, void** object) {
    auto* control = new (std::nothrow) TestControl();
    if (!control) return E_OUTOFMEMORY;
    const HRESULT hr = control->QueryInterface(iid, object);
    control->Release();
    return hr;
}

HRESULT TestControl::QueryOwnInterface(REFIID iid, void** object) {
    if (iid == IID_IDispatch || iid == IID__TestControl) {
        *object = static_cast<_TestControl*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// ---- the children and their layout ----

void TestControl::OnCreate() {
    HWND hwnd = Hwnd();
    dpi_ = ScreenDpi();
    font_ = CreateFormFont();
    ImageList1 = CreateNodeImages(NodeImageSize());

    // Created in tab order: the workbook tree, the folder tree, the caption, the buttons.
    TreeView1.Create(hwnd, kTreeView1Id, ImageList1.get());
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

    TreeView1.NodeClick = [this](Node& node) { TreeView1_NodeClick(node); };
    TreeView1.MouseUp = [this](int button, int shift, float x, float y) { TreeView1_MouseUp(button, shift, x, y); };
}

HWND TestControl::OwnerWindow() const { return ::GetAncestor(Hwnd(), GA_ROOT); }

void TestControl::OnDestroy() { splitterCaptured_ = false; }

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
    if (RootPath.empty()) RootPath = DefaultRootPath();
    BuildFolderTree(TreeView2);
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

bool TestControl::RouteMouseToImage1(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!splitterCaptured_ && !Image1.Contains(at)) return false;
    // Coordinates relative to the bar, in twips.
    const auto x = static_cast<float>(PixelsToTwips(at.x, dpi_.x) - Image1.Left());
    const auto y = static_cast<float>(PixelsToTwips(at.y, dpi_.y) - Image1.Top());
    switch (message) {
        case WM_LBUTTONDOWN:
            ::SetCapture(Hwnd());
            splitterCaptured_ = true;
            Image1_MouseDown(1, ShiftOf(wParam), x, y);
            return true;
        case WM_RBUTTONDOWN:
            Image1_MouseDown(2, ShiftOf(wParam), x, y);
            return true;
        case WM_MBUTTONDOWN:
            Image1_MouseDown(4, ShiftOf(wParam), x, y);
            return true;
        case WM_MOUSEMOVE:
            Image1_MouseMove(ButtonsOf(wParam), ShiftOf(wParam), x, y);  // a refused step changes nothing
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

LRESULT TestControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    LRESULT result = 0;
    if (TreeView::ReflectNotify(message, lParam, &result)) {
        *handled = true;
        return result;
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
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kCommand1Id + 6) {
                Command7_Click();
                *handled = true;
            }
            break;
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
    *application = Application.Get();
    if (*application) (*application)->AddRef();
    return S_OK;
}

// ---- the workbook tree ----

// Lists every open workbook with its sheets. Nothing is guarded: the first failing call
// on the application ends the fill, and its error goes back to the caller. Every sheet
// is listed, chart sheets too: all the fill needs of a sheet is its name.
STDMETHODIMP TestControl::FillTvw() {
    if (!Application) return S_OK;
    TreeView::BulkUpdate update(TreeView1);
    TreeNodes& nodes = TreeView1.Nodes();
    nodes.Clear();
    const HRESULT hr = host::ForEachWorkbook(Application.Get(), [&](IDispatch* workbook) -> HRESULT {
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
// too, unless the key had to be made unique).
void TestControl::TreeView1_NodeClick(Node& node) {
    CurrentApp = Application;
    if (!Application) return;
    const bool isWorkbook = node.Parent() == nullptr;
    const std::wstring bookName = isWorkbook ? node.Text() : node.Parent()->Text();
    ComPtr<IDispatch> workbook;
    if (SUCCEEDED(host::WorkbookByName(Application.Get(), bookName, &workbook))) host::Activate(workbook.Get());
    if (!isWorkbook) {
        ComPtr<IDispatch> sheet;
        long visible = 0;
        if (workbook && SUCCEEDED(host::WorksheetByName(workbook.Get(), node.Text(), &sheet)) &&
            SUCCEEDED(host::Visible(sheet.Get(), &visible))) {
            if (visible == -1) {
                host::Select(sheet.Get());
            } else {
                ::MessageBoxW(OwnerWindow(), L"该工作表已被隐藏，无法查看！", L"提示", MB_OK | MB_ICONINFORMATION);
            }
        }
    }
    CurrentBookName = bookName;
}

// The right button opens the close-workbook pop-up; any other closes it. The pop-up
// acts on the workbook of the last node click, not on the node under the pointer.
HRESULT TestControl::TreeView1_MouseUp(int button, int, float x, float y) {
    Form2& popup = DefaultInstance<Form2>();
    if (button == 2) {
        PopupLeft = RoundHalfEven(TreeView1.Left() + x);
        PopupTop = RoundHalfEven(TreeView1.Top() + y);
        BookTreeHeight = RoundHalfEven(TreeView1.Height());
        BookTreeWidth = RoundHalfEven(TreeView1.Width());
        popup.Show(OwnerWindow());
        return popup.Loaded() ? S_OK : E_FAIL;
    }
    if (popup.Visible()) popup.Unload();
    return S_OK;
}

HRESULT TestControl::Command7_Click() {
    Form1& help = DefaultInstance<Form1>();
    help.Show(OwnerWindow());
    return help.Loaded() ? S_OK : E_FAIL;
}

STDMETHODIMP TestControl::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__TestControl ? S_OK : S_FALSE;
}

}  // namespace cartulane::control
