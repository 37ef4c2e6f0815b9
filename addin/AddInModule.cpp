// TabrixAddIn.dll: its classes, Connect and ExcelApp, and the library's exports. Registering
// it serves the classes for the machine; DllInstall enters the add-in in the application's
// list of COM add-ins for the user who runs it.

#include "addin/AddInEntry.h"
#include "addin/AddInValues.h"
#include "addin/Connect.h"
#include "addin/ExcelApp.h"
#include "runtime/ComServer.h"

namespace {

using namespace cartulane;

const com::ServerClass kClasses[] = {
    {&CLSID_Connect, &com::CreateInstance<addin::Connect>, L"Connect", L"Brevant.Connect", nullptr, 0},
    {&CLSID_ExcelApp, &com::CreateInstance<addin::ExcelApp>, L"ExcelApp", L"Brevant.ExcelApp", nullptr, 0},
};

// The application's entry for the add-in: loaded at every start of the application.
std::wstring AddInKey() { return addin::kAddInEntryKey; }

std::vector<com::RegistryValue> AddInEntry() {
    return {
        {HKEY_CURRENT_USER, AddInKey(), L"FriendlyName", L"Folvane Add-In"},
        {HKEY_CURRENT_USER, AddInKey(), L"Description", L"Add-In Project Template"},
        {HKEY_CURRENT_USER, AddInKey(), L"LoadBehavior", L"", 3, true},
    };
}

std::vector<std::wstring> AddInEntryKey() { return {AddInKey()}; }

// Once no object of the library is left (DllCanUnloadNow), the references to the pane and
// the control that the add-in held until now are let go.
void ReleaseAddInValues() { addin::AddIn().ReleaseAll(); }

const com::Server kServer{kClasses, &LIBID_Brevant, &AddInEntry, &AddInEntryKey, &ReleaseAddInValues};

}  // namespace

const com::Server& com::ThisServer() { return kServer; }

// "regsvr32 /n /i:user" from the user's own (not elevated) process; "/u /n /i:user" removes it.
STDAPI DllInstall(BOOL install, PCWSTR commandLine) { return com::InstallForUser(kServer, install, commandLine); }
