// TabrixAddIn.dll: the class objects of Connect and ExcelApp, and self-registration,
// which also enters the add-in in the application's list of COM add-ins.

#include "addin/AddInValues.h"
#include "addin/Connect.h"
#include "addin/ExcelApp.h"
#include "runtime/ComServer.h"

namespace {

using namespace cartulane;

struct ClassInfo {
    const CLSID* clsid;
    const wchar_t* name;
    const wchar_t* progId;
};

const ClassInfo kClassInfo[] = {
    {&CLSID_Connect, L"Connect", L"Brevant.Connect"},
    {&CLSID_ExcelApp, L"ExcelApp", L"Brevant.ExcelApp"},
};

const com::ClassEntry kClasses[] = {
    {&CLSID_Connect, &addin::Connect::Create},
    {&CLSID_ExcelApp, &addin::ExcelApp::Create},
};

// The application's entry for the add-in: loaded at every start of the application.
const std::wstring kAddInKey = std::wstring(office::kAddInsKey) + L"\\Brevant.Connect";

std::vector<com::RegistryValue> RegistryEntries(const std::wstring& modulePath) {
    std::vector<com::RegistryValue> values;
    for (const ClassInfo& info : kClassInfo) {
        const std::wstring clsid = com::GuidString(*info.clsid);
        const std::wstring key = L"CLSID\\" + clsid;
        values.insert(values.end(), {
            {HKEY_CLASSES_ROOT, key, L"", info.progId},
            {HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"", modulePath},
            {HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
            {HKEY_CLASSES_ROOT, key + L"\\ProgID", L"", info.progId},
            {HKEY_CLASSES_ROOT, key + L"\\TypeLib", L"", com::GuidString(LIBID_Brevant)},
            {HKEY_CLASSES_ROOT, key + L"\\Version", L"", L"1.0"},
            {HKEY_CLASSES_ROOT, info.progId, L"", info.progId},
            {HKEY_CLASSES_ROOT, std::wstring(info.progId) + L"\\CLSID", L"", clsid},
        });
    }
    values.insert(values.end(), {
        {HKEY_CURRENT_USER, kAddInKey, L"FriendlyName", L"Folvane Add-In"},
        {HKEY_CURRENT_USER, kAddInKey, L"Description", L"Add-In Project Template"},
        {HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior", L"", 3, true},
    });
    return values;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // At process exit the application's objects may be gone before this library.
    if (reason == DLL_PROCESS_DETACH && reserved) addin::AbandonAddInValues();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return com::GetClassObject(kClasses, std::size(kClasses), clsid, iid, object);
}

// Once no object of the library is left, the references to the pane and the control
// that the add-in held until now are let go.
STDAPI DllCanUnloadNow() {
    if (com::ModuleLocks() != 0) return S_FALSE;
    addin::ReleaseAddInValues();
    com::ReleaseTypeInfos();
    return com::ModuleLocks() == 0 ? S_OK : S_FALSE;
}

STDAPI DllUnregisterServer() {
    std::vector<std::wstring> keys;
    for (const ClassInfo& info : kClassInfo) {
        keys.push_back(L"CLSID\\" + com::GuidString(*info.clsid));
        keys.push_back(info.progId);
    }
    const HRESULT classes = com::DeleteRegistryTrees(HKEY_CLASSES_ROOT, keys);
    const HRESULT entry = com::DeleteRegistryTrees(HKEY_CURRENT_USER, {kAddInKey});
    const HRESULT library = com::UnregisterModuleTypeLib(com::ThisModule());
    return FAILED(classes) ? classes : FAILED(entry) ? entry : library;
}

STDAPI DllRegisterServer() {
    HRESULT hr = com::WriteRegistry(RegistryEntries(com::ModulePath(com::ThisModule())));
    if (SUCCEEDED(hr)) hr = com::RegisterModuleTypeLib(com::ThisModule());
    if (FAILED(hr)) DllUnregisterServer();
    return hr;
}
