#include "tests/support/PaneFixture.h"

namespace cartulane::test {

namespace {

HMODULE Ocx() {
    static HMODULE module = ::LoadLibraryW(OcxPath().c_str());
    return module;
}

TempDir* g_profile = nullptr;

}  // namespace

std::wstring OcxPath() { return LibraryPath(L"Tabrix.ocx"); }

HRESULT CallOcx(const char* name) { return CallExport(Ocx(), name); }

void ControlEnvironment::SetUp() {
    ASSERT_NE(Ocx(), nullptr) << "Tabrix.ocx next to the test program";
    ASSERT_HRESULT_SUCCEEDED(CallOcx("DllRegisterServer"));
    g_profile = new TempDir();
    MakeFolder(*g_profile / L"桌面");
    MakeFolder(*g_profile / L"桌面\\报表 2024");
    MakeFile(*g_profile / L"桌面\\报表 2024\\一月.xlsx");
    MakeFile(*g_profile / L"桌面\\预算.xls");
    MakeFile(*g_profile / L"桌面\\readme.txt");
    ::SetEnvironmentVariableW(L"USERPROFILE", g_profile->path().c_str());
}

void ControlEnvironment::TearDown() {
    CallOcx("DllUnregisterServer");
    delete g_profile;
    g_profile = nullptr;
}

const TempDir& ControlEnvironment::Profile() { return *g_profile; }

std::wstring AddInPath() { return LibraryPath(L"TabrixAddIn.dll"); }

HRESULT CallAddIn(const char* name) { return CallExportOnce(AddInPath(), name); }

HRESULT InstallAddIn(bool install, const wchar_t* commandLine) {
    HMODULE library = ::LoadLibraryW(AddInPath().c_str());
    if (!library) return HRESULT_FROM_WIN32(::GetLastError());
    using Install = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);
    const auto function = reinterpret_cast<Install>(reinterpret_cast<void*>(::GetProcAddress(library, "DllInstall")));
    const HRESULT hr = function ? function(install, commandLine) : E_NOTIMPL;
    ::FreeLibrary(library);
    return hr;
}

void AddInEnvironment::SetUp() {
    ASSERT_HRESULT_SUCCEEDED(CallAddIn("DllRegisterServer"));
    ASSERT_HRESULT_SUCCEEDED(InstallAddIn(true, L"user"));
}

void AddInEnvironment::TearDown() { CallAddIn("DllUnregisterServer"); }

HWND ControlWindow(sheethost::TaskPane* pane) {
    ComPtr<IOleInPlaceObject> inPlace;
    HWND control = nullptr;
    if (pane && pane->Control() && SUCCEEDED(pane->Control()->QueryInterface(IID_PPV_ARGS(&inPlace))))
        inPlace->GetWindow(&control);
    return control;
}

void PaneFixture::SetUp() {
    ASSERT_HRESULT_SUCCEEDED(host_.Create(L"sheethost", 900, 700, true));
    // One main window for all workbooks (before 15.0): the pane stays while workbooks come
    // and go. From 15.0 on closing the first workbook deletes its window with the pane.
    host_.App().SetVersion(L"14.0");
    ASSERT_HRESULT_SUCCEEDED(host_.AddPane(L"Quillet.TestControl", L"Cartulane", 245, &pane_));
    ASSERT_NE(pane_->Control(), nullptr);
    ASSERT_HRESULT_SUCCEEDED(pane_->Control()->QueryInterface(IID_PPV_ARGS(&inPlace_)));
    ASSERT_HRESULT_SUCCEEDED(inPlace_->GetWindow(&control_));
    host_.PumpMessages();
    const ControlTrees trees = FindTrees(control_);
    ASSERT_NE(trees.folder, nullptr);
    ASSERT_NE(trees.workbook, nullptr);
    folderTree_ = trees.folder;
    workbookTree_ = trees.workbook;
    label_ = Child(L"已打开的Excel文件：");
    ASSERT_NE(label_, nullptr);
}

HWND PaneFixture::Child(const wchar_t* text) {
    for (HWND child = ::GetWindow(control_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (WindowText(child) == text) return child;
    return nullptr;
}

RECT PaneFixture::Rect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(nullptr, control_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What the container does on every resize of the pane.
void PaneFixture::Resize(int width, int height) {
    const RECT r{2, 30, 2 + width, 30 + height};
    ASSERT_HRESULT_SUCCEEDED(inPlace_->SetObjectRects(&r, &r));
    host_.PumpMessages();
}

ComPtr<_TestControl> PaneFixture::Control() {
    ComPtr<_TestControl> control;
    if (pane_ && pane_->ContentControl()) pane_->ContentControl()->QueryInterface(IID_PPV_ARGS(&control));
    return control;
}

}  // namespace cartulane::test
