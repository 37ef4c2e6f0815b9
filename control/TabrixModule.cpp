// Tabrix.ocx: the class object and self-registration of TestControl.

#include "Tabrix_h.h"
#include "control/SharedValues.h"
#include "control/TestControl.h"
#include "runtime/ComServer.h"
#include "runtime/Form.h"

namespace {

using namespace cartulane;

constexpr wchar_t kProgId[] = L"Quillet.TestControl";
constexpr wchar_t kVersionedProgId[] = L"Quillet.TestControl.1";

const com::ClassEntry kClasses[] = {{&CLSID_TestControl, &control::TestControl::Create}};

std::wstring ClsidKey() { return L"CLSID\\" + com::GuidString(CLSID_TestControl); }

std::vector<com::RegistryValue> RegistryEntries(const std::wstring& modulePath) {
    const std::wstring clsid = com::GuidString(CLSID_TestControl);
    const std::wstring key = ClsidKey();
    return {
        {HKEY_CLASSES_ROOT, key, L"", L"TestControl"},
        {HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"", modulePath},
        {HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {HKEY_CLASSES_ROOT, key + L"\\ProgID", L"", kVersionedProgId},
        {HKEY_CLASSES_ROOT, key + L"\\VersionIndependentProgID", L"", kProgId},
        {HKEY_CLASSES_ROOT, key + L"\\Control", L"", L""},
        {HKEY_CLASSES_ROOT, key + L"\\MiscStatus", L"", L"0"},
        {HKEY_CLASSES_ROOT, key + L"\\MiscStatus\\1", L"", std::to_wstring(ActiveXControl::kMiscStatus)},
        {HKEY_CLASSES_ROOT, key + L"\\TypeLib", L"", com::GuidString(LIBID_Quillet)},
        {HKEY_CLASSES_ROOT, key + L"\\Version", L"", L"1.0"},
        {HKEY_CLASSES_ROOT, kProgId, L"", L"TestControl"},
        {HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", L"", clsid},
        {HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CurVer", L"", kVersionedProgId},
        {HKEY_CLASSES_ROOT, kVersionedProgId, L"", L"TestControl"},
        {HKEY_CLASSES_ROOT, std::wstring(kVersionedProgId) + L"\\CLSID", L"", clsid},
    };
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Unloaded by FreeLibrary (not at process exit): a class left registered would point
    // into the unloaded code.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        ActiveXControl::UnregisterWindowClass();
        Form::UnregisterWindowClass();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return com::GetClassObject(kClasses, std::size(kClasses), clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    if (com::ModuleLocks() != 0) return S_FALSE;
    // No control and no form is left: nothing can use the application kept at the last
    // node click any more.
    control::CurrentApp = nullptr;
    com::ReleaseTypeInfos();
    return S_OK;
}

STDAPI DllUnregisterServer() {
    const HRESULT keys = com::DeleteRegistryTrees(HKEY_CLASSES_ROOT, {ClsidKey(), kProgId, kVersionedProgId});
    const HRESULT library = com::UnregisterModuleTypeLib(com::ThisModule());
    return FAILED(keys) ? keys : library;
}

STDAPI DllRegisterServer() {
    HRESULT hr = com::WriteRegistry(RegistryEntries(com::ModulePath(com::ThisModule())));
    if (SUCCEEDED(hr)) hr = com::RegisterModuleTypeLib(com::ThisModule());
    if (FAILED(hr)) DllUnregisterServer();
    return hr;
}
