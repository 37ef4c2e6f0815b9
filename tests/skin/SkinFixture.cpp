#include "tests/skin/SkinFixture.h"

#include "runtime/ComPtr.h"
#include "runtime/Error.h"

#include <commctrl.h>
#include <wincodec.h>

namespace cartulane::test {

namespace {

constexpr const wchar_t* kSkinNames[] = {L"PROCADDR", L"OLDSTYLE", L"MOUSEFLAG", L"TIMERID", L"OLDSTATE",
                                         L"ALPHALEVEL", L"HDC0", L"HDC1", L"HDC2", L"HDC3", L"BMP0", L"BMP1",
                                         L"BMP2", L"BMP3", L"HDINDEX", L"HMINDEX"};

HWND Child(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y, int w,
           int h, DWORD exStyle = 0) {
    return ::CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

void RegisterSuperclass(const wchar_t* baseClass, const wchar_t* newName) {
    WNDCLASSEXW existing{sizeof(existing)};
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), newName, &existing)) return;
    WNDCLASSEXW wc{sizeof(wc)};
    ::GetClassInfoExW(nullptr, baseClass, &wc);
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = newName;
    wc.style &= ~CS_GLOBALCLASS;
    ::RegisterClassExW(&wc);
}

namespace {

struct FindProperty {
    const wchar_t* name;
    bool found = false;
};

BOOL CALLBACK MatchProperty(HWND, LPWSTR key, HANDLE, ULONG_PTR data) {
    auto* find = reinterpret_cast<FindProperty*>(data);
    if (!IS_INTRESOURCE(key) && ::lstrcmpW(key, find->name) == 0) find->found = true;
    return TRUE;
}

}  // namespace

std::set<std::wstring> SkinProperties(HWND window) {
    std::set<std::wstring> names;
    for (const wchar_t* name : kSkinNames) {
        // GetProp cannot tell a property holding 0 from none; the enumeration can.
        FindProperty find{name};
        ::EnumPropsExW(window, &MatchProperty, reinterpret_cast<LPARAM>(&find));
        if (find.found) names.insert(name);
    }
    return names;
}

void AddHeaderItems(HWND header) {
    for (const wchar_t* caption : {L"名称", L"大小", L"日期"}) {
        HDITEMW item{};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.cxy = 80;
        item.pszText = const_cast<wchar_t*>(caption);
        ::SendMessageW(header, HDM_INSERTITEMW, 99, reinterpret_cast<LPARAM>(&item));
    }
}

std::vector<Seen>& SkinForm::Messages() {
    static std::vector<Seen> seen;
    return seen;
}

LRESULT CALLBACK SkinForm::FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Messages().push_back({hwnd, message, wParam, lParam});
    if (message == WM_USER + 5) return 1234;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

SkinForm::SkinForm() {
    RegisterSuperclass(L"Button", L"ThunderRT6CheckBox");
    RegisterSuperclass(L"Button", L"ThunderRT6OptionButton");
    RegisterSuperclass(L"ComboBox", L"ThunderRT6ComboBox");
    RegisterSuperclass(L"ComboBox", L"ThunderRT6DriveListBox");
    RegisterSuperclass(PROGRESS_CLASSW, L"ProgressBar20WndClass");
    RegisterSuperclass(WC_HEADERW, L"MSVB_Lib_Header");
    RegisterSuperclass(L"ListBox", L"DataListWndClass");
    RegisterSuperclass(L"Static", L"ApexGrid8");
    WNDCLASSEXW wc{sizeof(wc)};
    if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), L"ThunderRT6FormDC", &wc)) {
        wc = WNDCLASSEXW{sizeof(wc)};
        wc.lpfnWndProc = &FormProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"ThunderRT6FormDC";
        ::RegisterClassExW(&wc);
    }
    Messages().clear();
    // Shown without taking the activation: Wine without a window manager waits two seconds
    // when an active window goes.
    form = ::CreateWindowExW(0, L"ThunderRT6FormDC", L"Skinned", WS_POPUP | WS_CLIPCHILDREN, 20, 20, 460, 430,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::ShowWindow(form, SW_SHOWNA);
    push = Child(form, L"Button", L"OK", BS_PUSHBUTTON | WS_TABSTOP, 101, 10, 10, 90, 26);
    disabledPush = Child(form, L"Button", L"Off", BS_DEFPUSHBUTTON | WS_DISABLED, 103, 110, 10, 90, 26);
    checkButton = Child(form, L"Button", L"Check", BS_AUTOCHECKBOX, 104, 210, 10, 100, 22);
    frame = Child(form, L"Static", L"", WS_CLIPCHILDREN, 0, 10, 50, 200, 120);
    nestedPush = Child(frame, L"Button", L"Inner", BS_PUSHBUTTON, 102, 10, 10, 80, 24);
    nestedFrame = Child(frame, L"Static", L"", 0, 0, 10, 50, 180, 60);
    deepLabel = Child(nestedFrame, L"Static", L"Deep", 0, 0, 5, 5, 100, 20);
    thunderCheck = Child(form, L"ThunderRT6CheckBox", L"Thunder check", BS_AUTOCHECKBOX, 105, 220, 50, 150, 24);
    thunderOption = Child(form, L"ThunderRT6OptionButton", L"One", BS_AUTORADIOBUTTON | WS_GROUP, 106, 220, 80,
                          150, 24);
    thunderOption2 = Child(form, L"ThunderRT6OptionButton", L"Two", BS_AUTORADIOBUTTON, 107, 220, 110, 150, 24);
    combo = Child(form, L"ComboBox", L"", CBS_DROPDOWNLIST | WS_VSCROLL, 108, 10, 180, 150, 120);
    header = Child(form, WC_HEADERW, L"", 0, 109, 10, 220, 200, 22);
    progress = Child(form, PROGRESS_CLASSW, L"", 0, 110, 220, 180, 200, 20);
    edit = Child(form, L"Edit", L"text", 0, 111, 220, 220, 200, 24, WS_EX_CLIENTEDGE);
    // The old form runtime's classes of the other families, below.
    editCombo = Child(form, L"ThunderRT6ComboBox", L"", CBS_DROPDOWN, 112, 10, 340, 130, 120);
    driveList = Child(form, L"ThunderRT6DriveListBox", L"", CBS_DROPDOWNLIST, 113, 150, 340, 100, 120);
    progressBar = Child(form, L"ProgressBar20WndClass", L"", WS_BORDER, 114, 260, 340, 190, 20);
    ::SendMessageW(progressBar, PBM_SETRANGE32, 0, 30000);
    ::SendMessageW(progressBar, PBM_SETPOS, 18000, 0);
    oldHeader = Child(form, L"MSVB_Lib_Header", L"", 0, 115, 10, 375, 240, 22);
    AddHeaderItems(oldHeader);
    dataList = Child(form, L"DataListWndClass", L"", WS_VSCROLL, 116, 260, 370, 90, 50, WS_EX_CLIENTEDGE);
    grid = Child(form, L"ApexGrid8", L"", WS_BORDER, 117, 360, 370, 90, 50);
    ::UpdateWindow(form);
}

SkinForm::~SkinForm() {
    if (::IsWindow(form)) ::DestroyWindow(form);
}

std::vector<HWND> SkinForm::All() const {
    return {push,          disabledPush,  checkButton,    frame, nestedPush, nestedFrame, deepLabel, thunderCheck,
            thunderOption, thunderOption2, combo,          header, progress,  edit,        editCombo,
            driveList,     progressBar,   oldHeader,      dataList, grid,    form};
}

// The bitmap selected into sheet as a PNG file, through the platform's imaging component.
HRESULT SavePng(HDC sheet, const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(&factory)));
    ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(factory->CreateBitmapFromHBITMAP(static_cast<HBITMAP>(::GetCurrentObject(sheet, OBJ_BITMAP)),
                                                      nullptr, WICBitmapIgnoreAlpha, &bitmap));
    ComPtr<IWICStream> stream;
    RETURN_IF_FAILED(factory->CreateStream(&stream));
    RETURN_IF_FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    RETURN_IF_FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder));
    RETURN_IF_FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frame;
    RETURN_IF_FAILED(encoder->CreateNewFrame(&frame, nullptr));
    RETURN_IF_FAILED(frame->Initialize(nullptr));
    UINT width = 0, height = 0;
    RETURN_IF_FAILED(bitmap->GetSize(&width, &height));
    RETURN_IF_FAILED(frame->SetSize(width, height));
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    RETURN_IF_FAILED(frame->SetPixelFormat(&format));
    RETURN_IF_FAILED(frame->WriteSource(bitmap.Get(), nullptr));
    RETURN_IF_FAILED(frame->Commit());
    return encoder->Commit();
}

// A PNG file's size and the colour at (x, y), read back through the imaging component.
HRESULT ReadPng(const std::wstring& path, int x, int y, SIZE* size, COLORREF* color) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(&factory)));
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                        WICDecodeMetadataCacheOnDemand, &decoder));
    ComPtr<IWICBitmapFrameDecode> frame;
    RETURN_IF_FAILED(decoder->GetFrame(0, &frame));
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(factory->CreateFormatConverter(&converter));
    RETURN_IF_FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr,
                                           0, WICBitmapPaletteTypeCustom));
    UINT width = 0, height = 0;
    RETURN_IF_FAILED(converter->GetSize(&width, &height));
    *size = SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
    BYTE bgr[3] = {};
    const WICRect one{x, y, 1, 1};
    RETURN_IF_FAILED(converter->CopyPixels(&one, 3, 3, bgr));
    *color = RGB(bgr[2], bgr[1], bgr[0]);
    return S_OK;
}

void PumpFor(int ms) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    MSG msg;
    do {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (static_cast<int>(end - ::GetTickCount()) > 0);
}

}  // namespace cartulane::test
