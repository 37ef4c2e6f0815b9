#pragma once
// Owners for BSTR and VARIANT, with the counted pointer and the error vocabulary that
// every use of them needs.

#include "runtime/ComPtr.h"
#include "runtime/Error.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace cartulane {

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view text)
        : s_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(Bstr&& other) noexcept : s_(other.Detach()) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(s_); }

    BSTR get() const noexcept { return s_; }
    BSTR* put() noexcept {
        Attach(nullptr);
        return &s_;
    }
    void Attach(BSTR s) noexcept {
        ::SysFreeString(s_);
        s_ = s;
    }
    BSTR Detach() noexcept {
        BSTR s = s_;
        s_ = nullptr;
        return s;
    }
    std::wstring_view view() const noexcept {
        return s_ ? std::wstring_view(s_, ::SysStringLen(s_)) : std::wstring_view();
    }
    std::wstring str() const { return std::wstring(view()); }

private:
    BSTR s_ = nullptr;
};

// A VARIANT that clears itself. Derives from VARIANT so that &v is a VARIANT*.
class Variant : public VARIANT {
public:
    Variant() noexcept { ::VariantInit(this); }
    Variant(const wchar_t* text) : Variant(std::wstring_view(text)) {}
    Variant(const std::wstring& text) : Variant(std::wstring_view(text)) {}
    Variant(std::wstring_view text) {
        ::VariantInit(this);
        vt = VT_BSTR;
        bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    Variant(int value) noexcept {
        ::VariantInit(this);
        vt = VT_I4;
        lVal = value;
    }
    Variant(bool value) noexcept {
        ::VariantInit(this);
        vt = VT_BOOL;
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    Variant(IDispatch* object) noexcept {
        ::VariantInit(this);
        vt = VT_DISPATCH;
        pdispVal = object;
        if (object) object->AddRef();
    }
    Variant(const Variant& other) {
        ::VariantInit(this);
        ::VariantCopy(this, const_cast<Variant*>(&other));
    }
    Variant(Variant&& other) noexcept {
        *static_cast<VARIANT*>(this) = other;
        other.vt = VT_EMPTY;
    }
    Variant& operator=(Variant other) noexcept {
        Clear();
        *static_cast<VARIANT*>(this) = other;
        other.vt = VT_EMPTY;
        return *this;
    }
    ~Variant() { ::VariantClear(this); }

    // An optional argument left out, as automation clients pass it.
    static Variant Missing() noexcept {
        Variant v;
        v.vt = VT_ERROR;
        v.scode = DISP_E_PARAMNOTFOUND;
        return v;
    }

    void Clear() noexcept { ::VariantClear(this); }
    VARIANT* put() noexcept {
        Clear();
        return this;
    }

    HRESULT ToString(std::wstring* out) const;
    HRESULT ToInt(long* out) const;
    HRESULT ToBool(bool* out) const;
    // The object held (VT_DISPATCH or VT_UNKNOWN queried for IDispatch).
    HRESULT ToDispatch(ComPtr<IDispatch>* out) const;
};

}  // namespace cartulane
