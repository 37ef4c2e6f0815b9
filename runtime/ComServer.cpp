#include "runtime/ComServer.h"

#include "runtime/Handles.h"
#include "runtime/Window.h"

#include <atomic>
#include <mutex>

namespace cartulane::com {

namespace {

std::atomic<long> g_locks{0};

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    explicit ClassFactory(HRESULT (*create)(REFIID, void**)) : create_(create) {}

    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(ClassFactory, IClassFactory), {}};
        return table;
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
    HRESULT (*create_)(REFIID, void**);
};

std::wstring ClassKey(const ServerClass& entry) { return L"CLSID\\" + GuidString(*entry.clsid); }

// The classes are the machine's: written to and removed from HKLM\Software\Classes itself.
// Through HKEY_CLASSES_ROOT they would land in the running account's own classes wherever
// that account has a key of the same name, and an administrator's elevation would register
// them for the administrator alone.
constexpr wchar_t kMachineClasses[] = L"Software\\Classes\\";

std::vector<RegistryValue> ClassValues(const ServerClass& entry, const std::wstring& modulePath,
                                       const GUID& typeLibrary) {
    const std::wstring clsid = GuidString(*entry.clsid);
    const std::wstring key = ClassKey(entry);
    const std::wstring progId = entry.progId;
    std::vector<RegistryValue> values = {
        {HKEY_CLASSES_ROOT, key, L"", entry.name},
        {HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"", modulePath},
        {HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {HKEY_CLASSES_ROOT, key + L"\\ProgID", L"", entry.versionedProgId ? entry.versionedProgId : entry.progId},
        {HKEY_CLASSES_ROOT, key + L"\\TypeLib", L"", GuidString(typeLibrary)},
        {HKEY_CLASSES_ROOT, key + L"\\Version", L"", L"1.0"},
        {HKEY_CLASSES_ROOT, progId, L"", entry.name},
        {HKEY_CLASSES_ROOT, progId + L"\\CLSID", L"", clsid},
    };
    if (entry.versionedProgId) {
        const std::wstring versioned = entry.versionedProgId;
        values.insert(values.end(), {
            {HKEY_CLASSES_ROOT, key + L"\\VersionIndependentProgID", L"", progId},
            {HKEY_CLASSES_ROOT, progId + L"\\CurVer", L"", versioned},
            {HKEY_CLASSES_ROOT, versioned, L"", entry.name},
            {HKEY_CLASSES_ROOT, versioned + L"\\CLSID", L"", clsid},
        });
    }
    if (entry.miscStatus) {
        values.insert(values.end(), {
            {HKEY_CLASSES_ROOT, key + L"\\Control", L"", L""},
            {HKEY_CLASSES_ROOT, key + L"\\MiscStatus", L"", L"0"},
            {HKEY_CLASSES_ROOT, key + L"\\MiscStatus\\1", L"", std::to_wstring(entry.miscStatus)},
        });
    }
    for (RegistryValue& value : values) {
        value.root = HKEY_LOCAL_MACHINE;
        value.key = kMachineClasses + value.key;
    }
    return values;
}

HRESULT WriteRegistry(const std::vector<RegistryValue>& values) {
    for (const RegistryValue& value : values) {
        UniqueHKey key;
        RETURN_IF_FAILED(Win32Result(::RegCreateKeyExW(value.root, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                       nullptr, key.put(), nullptr)));
        const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
        if (value.isNumber) {
            RETURN_IF_FAILED(Win32Result(::RegSetValueExW(key.get(), name, 0, REG_DWORD,
                                                          reinterpret_cast<const BYTE*>(&value.number),
                                                          sizeof(DWORD))));
        } else if (!value.text.empty() || name) {
            RETURN_IF_FAILED(Win32Result(
                ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                                 static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)))));
        }
    }
    return S_OK;
}

// Deletes each key with everything below it; a key that is not there is already done.
HRESULT DeleteRegistryTrees(HKEY root, const std::vector<std::wstring>& keys) {
    HRESULT result = S_OK;
    for (const std::wstring& key : keys) {
        const LSTATUS status = ::RegDeleteTreeW(root, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = Win32Result(status);
        if (status == ERROR_SUCCESS) ::RegDeleteKeyW(root, key.c_str());
    }
    return result;
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

struct CachedTypeInfo {
    HMODULE module;
    GUID guid;
    ComPtr<ITypeInfo> info;
};

// Never destroyed: at unload the type library's runtime may be gone already. The module
// empties it when it can be unloaded.
ModuleState<std::vector<CachedTypeInfo>> g_typeInfos;
std::mutex g_typeInfoLock;

void ReleaseTypeInfos() {
    std::lock_guard<std::mutex> lock(g_typeInfoLock);
    g_typeInfos.Reset();
}

}  // namespace

void LockModule() noexcept { ++g_locks; }
void UnlockModule() noexcept { --g_locks; }
long ModuleLocks() noexcept { return g_locks; }

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

std::wstring GuidString(REFGUID guid) {
    wchar_t text[40];
    ::StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT GetClassObject(const Server& server, REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ServerClass& entry : server.classes) {
        if (*entry.clsid != clsid) continue;
        ComPtr<ClassFactory> factory = Make<ClassFactory>(entry.create);
        RETURN_IF_NULL_ALLOC(factory);
        return factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow(const Server& server) {
    if (ModuleLocks() != 0) return S_FALSE;
    if (server.letGo) server.letGo();
    ReleaseTypeInfos();
    if (ModuleLocks() != 0) return S_FALSE;
    // The library goes once this answer is given; its window classes must not outlive it.
    UnregisterWindowClasses();
    return S_OK;
}

HRESULT RegisterServer(const Server& server) {
    return Boundary([&]() -> HRESULT {
        const std::wstring path = ModulePath(ThisModule());
        RETURN_LAST_ERROR_IF(path.empty());
        std::vector<RegistryValue> values;
        for (const ServerClass& entry : server.classes) {
            const auto classValues = ClassValues(entry, path, *server.typeLibrary);
            values.insert(values.end(), classValues.begin(), classValues.end());
        }
        HRESULT hr = WriteRegistry(values);
        if (SUCCEEDED(hr)) hr = RegisterModuleTypeLib(ThisModule());
        if (FAILED(hr)) UnregisterServer(server);
        return hr;
    });
}

HRESULT UnregisterServer(const Server& server) {
    return Boundary([&]() -> HRESULT {
        std::vector<std::wstring> keys;
        for (const ServerClass& entry : server.classes) {
            keys.push_back(kMachineClasses + ClassKey(entry));
            keys.push_back(kMachineClasses + std::wstring(entry.progId));
            if (entry.versionedProgId) keys.push_back(kMachineClasses + std::wstring(entry.versionedProgId));
        }
        const HRESULT classes = DeleteRegistryTrees(HKEY_LOCAL_MACHINE, keys);
        // The entry of the account that runs this goes too, so that nothing of the library is
        // left for it to find.
        const HRESULT extra = server.userKeys ? DeleteRegistryTrees(HKEY_CURRENT_USER, server.userKeys()) : S_OK;
        const HRESULT library = UnregisterModuleTypeLib(ThisModule());
        return FAILED(classes) ? classes : FAILED(extra) ? extra : library;
    });
}

HRESULT InstallForUser(const Server& server, BOOL install, PCWSTR commandLine) {
    if (!commandLine || ::CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) return E_INVALIDARG;
    return Boundary([&]() -> HRESULT {
        if (!install) return server.userKeys ? DeleteRegistryTrees(HKEY_CURRENT_USER, server.userKeys()) : S_OK;
        if (!server.userValues) return S_OK;
        const HRESULT hr = WriteRegistry(server.userValues());
        if (FAILED(hr) && server.userKeys) DeleteRegistryTrees(HKEY_CURRENT_USER, server.userKeys());
        return hr;
    });
}

HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** library) {
    const std::wstring path = ModulePath(module);
    RETURN_LAST_ERROR_IF(path.empty());
    return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

HRESULT ModuleTypeInfo(HMODULE module, REFGUID guid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    return Boundary([&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(g_typeInfoLock);
        std::vector<CachedTypeInfo>* cache = g_typeInfos.Get();
        RETURN_IF_NULL_ALLOC(cache);
        for (const CachedTypeInfo& cached : *cache) {
            if (cached.module == module && cached.guid == guid) return cached.info.CopyTo(info);
        }
        ComPtr<ITypeLib> library;
        RETURN_IF_FAILED(LoadModuleTypeLib(module, &library));
        ComPtr<ITypeInfo> found;
        RETURN_IF_FAILED(library->GetTypeInfoOfGuid(guid, &found));
        cache->push_back({module, guid, found});
        return found.CopyTo(info);
    });
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
