#include "runtime/Variant.h"

namespace cartulane {

HRESULT Variant::ToString(std::wstring* out) const {
    if (vt == VT_BSTR) {
        *out = bstrVal ? std::wstring(bstrVal, ::SysStringLen(bstrVal)) : std::wstring();
        return S_OK;
    }
    Variant converted;
    RETURN_IF_FAILED(::VariantChangeType(&converted, const_cast<Variant*>(this), VARIANT_ALPHABOOL, VT_BSTR));
    return converted.ToString(out);
}

HRESULT Variant::ToInt(long* out) const {
    Variant converted;
    RETURN_IF_FAILED(::VariantChangeType(&converted, const_cast<Variant*>(this), 0, VT_I4));
    *out = converted.lVal;
    return S_OK;
}

HRESULT Variant::ToBool(bool* out) const {
    if ((vt & VT_BYREF) && !byref) return E_POINTER;
    Variant converted;
    RETURN_IF_FAILED(::VariantChangeType(&converted, const_cast<Variant*>(this), 0, VT_BOOL));
    *out = converted.boolVal != VARIANT_FALSE;
    return S_OK;
}

HRESULT Variant::ToDispatch(ComPtr<IDispatch>* out) const {
    const VARIANT* v = this;
    if (vt == (VT_VARIANT | VT_BYREF)) v = pvarVal;
    if (!v || ((v->vt & VT_BYREF) && !v->byref)) return E_POINTER;
    switch (v->vt) {
        case VT_DISPATCH:
            *out = v->pdispVal;
            return v->pdispVal ? S_OK : E_POINTER;
        case VT_DISPATCH | VT_BYREF:
            *out = *v->ppdispVal;
            return *v->ppdispVal ? S_OK : E_POINTER;
        case VT_UNKNOWN:
            return v->punkVal ? v->punkVal->QueryInterface(IID_PPV_ARGS(out->ReleaseAndGetAddressOf())) : E_POINTER;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace cartulane
