#pragma once
// What an in-process COM server needs besides its classes: the count of live
// objects and locks behind DllCanUnloadNow, a class factory, self-registration
// from a list of registry entries, and the type library embedded in the module.

#include "runtime/Variant.h"

#include <string>
#include <vector>

namespace cartulane::com {

// The module this code is linked into (the DLL, or the program in tests).
HMODULE ThisModule();
std::wstring ModulePath(HMODULE module);

// Live objects and server locks of this module.
void LockModule();
void UnlockModule();
long ModuleLocks();

// Counts an object as alive for its lifetime: objects a server hands out derive from it.
class ModuleObject {
protected:
    ModuleObject() { LockModule(); }
    ~ModuleObject() { UnlockModule(); }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;
};

using CreateFunction = HRESULT (*)(REFIID iid, void** object);

struct ClassEntry {
    const CLSID* clsid;
    CreateFunction create;
};

// DllGetClassObject for the classes of a table.
HRESULT GetClassObject(const ClassEntry* classes, size_t count, REFCLSID clsid, REFIID iid, void** object);

std::wstring GuidString(REFGUID guid);

// One value under HKEY_CLASSES_ROOT (or another root); an empty name is the key's default.
struct RegistryValue {
    HKEY root;
    std::wstring key;
    std::wstring name;
    std::wstring text;
    DWORD number = 0;
    bool isNumber = false;
};

// Writes every value, creating keys as needed.
HRESULT WriteRegistry(const std::vector<RegistryValue>& values);
// Deletes each key with everything below it; a key that is not there is already done.
HRESULT DeleteRegistryTrees(HKEY root, const std::vector<std::wstring>& keys);

// The type library embedded as resource TYPELIB 1 of the module.
HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** library);
HRESULT RegisterModuleTypeLib(HMODULE module);
HRESULT UnregisterModuleTypeLib(HMODULE module);

// The ITypeInfo of one interface or class of the module's type library, loaded once.
HRESULT ModuleTypeInfo(HMODULE module, REFGUID guid, ITypeInfo** info);
// Lets go of the loaded type information; for DllCanUnloadNow.
void ReleaseTypeInfos();

// IDispatch through the type library: the four methods an object's dual interface
// forwards to. A put by reference falls back to a plain put, since scripts use either
// for object properties.
HRESULT DispatchGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT DispatchInvoke(void* object, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* badArgument);

// A dual interface whose IDispatch half is answered from the module's type library; the
// derived class implements IUnknown and the interface's own methods.
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
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(ModuleTypeInfo(ThisModule(), __uuidof(Interface), &info));
        return DispatchGetIDsOfNames(info.Get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* badArgument) override {
        ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(ModuleTypeInfo(ThisModule(), __uuidof(Interface), &info));
        return DispatchInvoke(static_cast<Interface*>(this), info.Get(), id, flags, params, result, exception,
                              badArgument);
    }
};

}  // namespace cartulane::com
