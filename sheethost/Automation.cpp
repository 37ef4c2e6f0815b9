#include "sheethost/Automation.h"

#include <atomic>

namespace cartulane::sheethost {

HRESULT ApplicationError() { return ControlError(1004); }

CallArgs::CallArgs(const DISPPARAMS* params) {
    if (!params) return;
    for (UINT i = 0; i < params->cNamedArgs; ++i) {
        if (params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) put_ = &params->rgvarg[i];
    }
    // Positional arguments follow the named ones and are stored last first.
    for (UINT i = params->cArgs; i > params->cNamedArgs; --i) {
        const VARIANT* arg = &params->rgvarg[i - 1];
        if (arg->vt == (VT_VARIANT | VT_BYREF)) arg = arg->pvarVal;
        positional_.push_back(arg);
    }
    if (put_ && put_->vt == (VT_VARIANT | VT_BYREF)) put_ = put_->pvarVal;
}

const VARIANT* CallArgs::At(size_t index) const {
    if (index >= positional_.size()) return nullptr;
    const VARIANT* arg = positional_[index];
    if (arg->vt == VT_ERROR && arg->scode == DISP_E_PARAMNOTFOUND) return nullptr;
    return arg;
}

HRESULT StringArg(const CallArgs& args, size_t index, std::wstring* out) {
    const VARIANT* arg = args.At(index);
    if (!arg) return DISP_E_PARAMNOTFOUND;
    Variant copy;
    RETURN_IF_FAILED(::VariantCopy(&copy, const_cast<VARIANT*>(arg)));
    return copy.ToString(out);
}

namespace {
std::atomic<LCID> g_userLocale{0};
}  // namespace

void SetUserLocale(LCID locale) { g_userLocale = locale; }

HRESULT CheckCallLocale(LCID locale) {
    if (locale == LOCALE_USER_DEFAULT) locale = g_userLocale ? g_userLocale.load() : ::GetUserDefaultLCID();
    if (locale == LOCALE_SYSTEM_DEFAULT) locale = ::GetSystemDefaultLCID();
    if (locale == LOCALE_NEUTRAL || locale == LOCALE_INVARIANT ||
        PRIMARYLANGID(LANGIDFROMLCID(locale)) == LANG_ENGLISH)
        return S_OK;
    return TYPE_E_INVDATAREAD;
}

HRESULT MemberIdOfName(std::span<const Member> members, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const Member& member : members) {
        if (::lstrcmpiW(member.name, names[0]) == 0) {
            ids[0] = member.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // no named arguments here
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT CallResult(HRESULT hr, const std::wstring& error, EXCEPINFO* exception) {
    if (SUCCEEDED(hr) || (HRESULT_FACILITY(hr) == FACILITY_DISPATCH)) return hr;
    return FillExcepInfo(exception, hr, L"sheethost",
                         error.empty() ? L"Application-defined or object-defined error" : error);
}

namespace {

class Enumerator final : public com::ComObject<Enumerator, IEnumVARIANT> {
public:
    explicit Enumerator(std::vector<ComPtr<IDispatch>> items) : items_(std::move(items)) {}

    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(Enumerator, IEnumVARIANT), {}};
        return table;
    }
    STDMETHODIMP Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        ULONG given = 0;
        for (; given < wanted && next_ < items_.size(); ++given, ++next_) {
            ::VariantInit(&out[given]);
            out[given].vt = VT_DISPATCH;
            out[given].pdispVal = items_[next_].Get();
            out[given].pdispVal->AddRef();
        }
        if (fetched) *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        next_ += count;
        if (next_ <= items_.size()) return S_OK;
        next_ = items_.size();
        return S_FALSE;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** copy) override {
        if (!copy) return E_POINTER;
        *copy = nullptr;
        ComPtr<Enumerator> clone = com::Make<Enumerator>(items_);
        RETURN_IF_NULL_ALLOC(clone);
        clone->next_ = next_;
        *copy = clone.Detach();
        return S_OK;
    }

private:
    std::vector<ComPtr<IDispatch>> items_;
    size_t next_ = 0;
};

}  // namespace

HRESULT MakeEnumerator(std::vector<ComPtr<IDispatch>> items, VARIANT* result) {
    ComPtr<Enumerator> enumerator = com::Make<Enumerator>(std::move(items));
    RETURN_IF_NULL_ALLOC(enumerator);
    ::VariantClear(result);
    result->vt = VT_UNKNOWN;
    result->punkVal = static_cast<IEnumVARIANT*>(enumerator.Detach());
    return S_OK;
}

HRESULT ReturnString(VARIANT* result, const std::wstring& text) {
    ::VariantClear(result);
    result->vt = VT_BSTR;
    result->bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return result->bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
    ::VariantClear(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    if (object) object->AddRef();
    return S_OK;
}

HRESULT ReturnLong(VARIANT* result, long value) {
    ::VariantClear(result);
    result->vt = VT_I4;
    result->lVal = value;
    return S_OK;
}

HRESULT ReturnBool(VARIANT* result, bool value) {
    ::VariantClear(result);
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace cartulane::sheethost
