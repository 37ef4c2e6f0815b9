#pragma once
// What an in-process COM server needs besides its classes: its classes described as
// data (one table gives the class factory and the registration), the four exports'
// bodies, and the type library embedded in the module, with the IDispatch of a dual
// interface answered from it.

#include "runtime/ComObject.h"
#include "runtime/Variant.h"

#include <span>
#include <string>
#include <vector>

namespace cartulane::com {

// The module this code is linked into (the DLL, or the program in tests).
HMODULE ThisModule();
std::wstring ModulePath(HMODULE module);
std::wstring GuidString(REFGUID guid);

// One class of the server.
struct ServerClass {
    const CLSID* clsid;
    HRESULT (*create)(REFIID iid, void** object);
    const wchar_t* name;             // the class key's value
    const wchar_t* progId;           // version-independent
    const wchar_t* versionedProgId;  // "<progId>.1", or nullptr when the class has one ProgID
    DWORD miscStatus;                // an ActiveX control's OLEMISC flags; 0 for a plain class
};

// One value of the registry (a class's, or the add-in's entry for its application).
struct RegistryValue {
    HKEY root;
    std::wstring key;
    std::wstring name;  // "" is the key's default value
    std::wstring text;
    DWORD number = 0;
    bool isNumber = false;
};

struct Server {
    std::span<const ServerClass> classes;
    const GUID* typeLibrary;
    // The entry of one user (under HKEY_CURRENT_USER), written by InstallForUser alone; each
    // may be nullptr.
    std::vector<RegistryValue> (*userValues)();
    std::vector<std::wstring> (*userKeys)();
    void (*letGo)();                               // what the module releases once it can be unloaded
};

// The server of the library being built: each server library defines it, and its four
// exports (runtime/ServerExports.cpp) serve it.
const Server& ThisServer();

// The bodies of the four exports.
HRESULT GetClassObject(const Server& server, REFCLSID clsid, REFIID iid, void** object);
// S_OK once no object of the module is alive and no lock is held: then the module lets
// go of what it kept (letGo, the type information, its window classes).
HRESULT CanUnloadNow(const Server& server);
// Writes the classes' values for the machine (twice is the same as once) and registers the
// type library; on a failure what was written is removed again. No user's entry: the
// registration runs with administrator rights, maybe as another account than the user's.
HRESULT RegisterServer(const Server& server);
// Removes exactly what RegisterServer wrote, and the entry of the account running it; what
// is not there is already done.
HRESULT UnregisterServer(const Server& server);
// DllInstall's body, for "regsvr32 /n /i:user" (install) and "regsvr32 /u /n /i:user": writes
// or removes the entry of the user who runs it. E_INVALIDARG for any other command line.
HRESULT InstallForUser(const Server& server, BOOL install, PCWSTR commandLine);

// The type library embedded as resource TYPELIB 1 of the module.
HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** library);

// The ITypeInfo of one interface or class of the module's type library, loaded once.
HRESULT ModuleTypeInfo(HMODULE module, REFGUID guid, ITypeInfo** info);

// IDispatch through the type library: the four methods an object's dual interface
// forwards to. A put by reference falls back to a plain put, since scripts use either
// for object properties.
HRESULT DispatchGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT DispatchInvoke(void* object, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* badArgument);

// A dual interface whose IDispatch half is answered from the module's type library; the
// derived class implements the interface's own methods.
template <typename Interface>
class TypeLibDispatch : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (index != 0) return DISP_E_BADINDEX;
        return ModuleTypeInfo(ThisModule(), __uuidof(Interface), info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(ModuleTypeInfo(ThisModule(), __uuidof(Interface), &info));
        return DispatchGetIDsOfNames(info.Get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* badArgument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(ModuleTypeInfo(ThisModule(), __uuidof(Interface), &info));
        return DispatchInvoke(static_cast<Interface*>(this), info.Get(), id, flags, params, result, exception,
                              badArgument);
    }
};

}  // namespace cartulane::com
