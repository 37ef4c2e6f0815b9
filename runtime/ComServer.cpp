#include "runtime/ComServer.h"

#include "runtime/Handles.h"

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace cartulane::com {

namespace {

std::atomic<long> g_locks{0};

class ClassFactory final : public IClassFactory, ModuleObject {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        return outer ? CLASS_E_NOAGGREGATION : create_(iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? LockModule() : UnlockModule();
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
    CreateFunction create_;
};

}  // namespace

HMODULE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (size == 0) return {};
        if (size < path.size()) {
            path.resize(size);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void LockModule() { ++g_locks; }
void UnlockModule() { --g_locks; }
long ModuleLocks() { return g_locks; }

HRESULT GetClassObject(const ClassEntry* classes, size_t count, REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (*classes[i].clsid != clsid) continue;
        auto* factory = new (std::nothrow) ClassFactory(classes[i].create);
        if (!factory) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

std::wstring GuidString(REFGUID guid) {
    wchar_t text[40];
    ::StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT WriteRegistry(const std::vector<RegistryValue>& values) {
    for (const RegistryValue& value : values) {
        UniqueHKey key;
        HKEY created = nullptr;
        LSTATUS status = ::RegCreateKeyExW(value.root, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                           &created, nullptr);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        key.reset(created);
        const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
        if (value.isNumber) {
            status = ::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                                      sizeof(DWORD));
        } else if (!value.text.empty() || name) {
            status = ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                                      static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
        }
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT DeleteRegistryTrees(HKEY root, const std::vector<std::wstring>& keys) {
    HRESULT result = S_OK;
    for (const std::wstring& key : keys) {
        const LSTATUS status = ::RegDeleteTreeW(root, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(status);
        if (status == ERROR_SUCCESS) ::RegDeleteKeyW(root, key.c_str());
    }
    return result;
}

HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** library) {
    const std::wstring path = ModulePath(module);
    if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
    return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

HRESULT RegisterModuleTypeLib(HMODULE module) {
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadModuleTypeLib(module, &library));
    std::wstring path = ModulePath(module);
    return ::RegisterTypeLib(library.Get(), path.data(), nullptr);
}

HRESULT UnregisterModuleTypeLib(HMODULE module) {
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadModuleTypeLib(module, &library));
    TLIBATTR* attributes = nullptr;
    RETURN_IF_FAILED(library->GetLibAttr(&attributes));
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    Bstr registered;
    if (FAILED(::QueryPathOfRegTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, registered.put())))
        return S_OK;  // not registered: already done
    return ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

namespace {

struct CachedTypeInfo {
    HMODULE module;
    GUID guid;
    ComPtr<ITypeInfo> info;
};

// Never destroyed: at process exit the type library's runtime may be gone already.
// The module empties it when it can be unloaded.
std::vector<CachedTypeInfo>& TypeInfoCache() {
    static auto* cache = new std::vector<CachedTypeInfo>;
    return *cache;
}

std::mutex g_typeInfoLock;

}  // namespace

HRESULT ModuleTypeInfo(HMODULE module, REFGUID guid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    std::lock_guard<std::mutex> lock(g_typeInfoLock);
    for (const CachedTypeInfo& cached : TypeInfoCache()) {
        if (cached.module == module && cached.guid == guid) return cached.info.CopyTo(info);
    }
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadModuleTypeLib(module, &library));
    ComPtr<ITypeInfo> found;
    RETURN_IF_FAILED(library->GetTypeInfoOfGuid(guid, &found));
    TypeInfoCache().push_back({module, guid, found});
    return found.CopyTo(info);
}

void ReleaseTypeInfos() {
    std::lock_guard<std::mutex> lock(g_typeInfoLock);
    TypeInfoCache().clear();
}

HRESULT DispatchGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids) {
    return info ? ::DispGetIDsOfNames(info, names, count, ids) : E_UNEXPECTED;
}

HRESULT DispatchInvoke(void* object, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* badArgument) {
    if (!info) return E_UNEXPECTED;
    ::SetErrorInfo(0, nullptr);
    HRESULT hr = info->Invoke(object, id, flags, params, result, exception, badArgument);
    if (hr == DISP_E_MEMBERNOTFOUND && (flags & DISPATCH_PROPERTYPUTREF)) {
        hr = info->Invoke(object, id, (flags & ~DISPATCH_PROPERTYPUTREF) | DISPATCH_PROPERTYPUT, params, result,
                          exception, badArgument);
    }
    return hr;
}

}  // namespace cartulane::com
