#include "runtime/Dispatch.h"

#include <vector>

namespace cartulane::dispatch {

namespace {

// The locale of every call: the application's object model is English, and an application
// without the language pack of the user's locale refuses calls made in it.
constexpr LCID kEnglish = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// A failure raised by the object itself: its code, and its description kept as
// the thread's error information.
HRESULT FromException(ExcepInfo& info) {
    const HRESULT hr = info.Code();
    if (info.bstrDescription) {
        SetErrorDescription(hr, {info.bstrDescription, ::SysStringLen(info.bstrDescription)},
                            info.bstrSource ? std::wstring_view(info.bstrSource) : std::wstring_view());
    }
    return hr;
}

HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, Args args, const VARIANT* value,
                     VARIANT* result) {
    DISPID id;
    RETURN_IF_FAILED(GetId(object, name, &id));
    // DISPPARAMS holds the arguments last first; a put's value comes first of all.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size() + 1);
    if (value) reversed.push_back(*value);
    for (auto it = args.end(); it != args.begin();) reversed.push_back(*--it);
    return Invoke(object, id, flags, reversed.data(), reversed.size(), result);
}

}  // namespace

HRESULT GetId(IDispatch* object, const wchar_t* name, DISPID* id) {
    if (!object) return E_POINTER;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return object->GetIDsOfNames(IID_NULL, names, 1, kEnglish, id);
}

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, const VARIANT* args, size_t count, VARIANT* result) {
    if (!object) return E_POINTER;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{const_cast<VARIANT*>(args), nullptr, static_cast<UINT>(count), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    ExcepInfo info;
    UINT badArg = 0;
    Variant ignored;
    if (!result && !(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) result = &ignored;
    const HRESULT hr = object->Invoke(id, IID_NULL, kEnglish, flags, &params, result, &info, &badArg);
    return hr == DISP_E_EXCEPTION ? FromException(info) : hr;
}

HRESULT Get(IDispatch* object, const wchar_t* name, Variant* result, Args args) {
    return InvokeByName(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, nullptr, result->put());
}

HRESULT Put(IDispatch* object, const wchar_t* name, const VARIANT& value, Args args) {
    return InvokeByName(object, name, DISPATCH_PROPERTYPUT, args, &value, nullptr);
}

HRESULT PutRef(IDispatch* object, const wchar_t* name, const VARIANT& value, Args args) {
    return InvokeByName(object, name, DISPATCH_PROPERTYPUTREF, args, &value, nullptr);
}

HRESULT Call(IDispatch* object, const wchar_t* name, Args args, Variant* result) {
    return InvokeByName(object, name, DISPATCH_METHOD, args, nullptr, result ? result->put() : nullptr);
}

HRESULT GetDispatch(IDispatch* object, const wchar_t* name, ComPtr<IDispatch>* result, Args args) {
    Variant value;
    RETURN_IF_FAILED(Get(object, name, &value, args));
    return value.ToDispatch(result);
}

HRESULT GetString(IDispatch* object, const wchar_t* name, std::wstring* result, Args args) {
    Variant value;
    RETURN_IF_FAILED(Get(object, name, &value, args));
    return value.ToString(result);
}

HRESULT ForEach(IDispatch* collection, const std::function<HRESULT(const Variant& item)>& visit) {
    Variant enumerator;
    RETURN_IF_FAILED(Invoke(collection, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0,
                            enumerator.put()));
    if (enumerator.vt != VT_UNKNOWN && enumerator.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    if (!enumerator.punkVal) return E_POINTER;
    ComPtr<IEnumVARIANT> items;
    RETURN_IF_FAILED(enumerator.punkVal->QueryInterface(IID_PPV_ARGS(&items)));
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        const HRESULT hr = items->Next(1, item.put(), &fetched);
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE || fetched == 0) return S_OK;
        RETURN_IF_FAILED(visit(item));
    }
}

}  // namespace cartulane::dispatch
