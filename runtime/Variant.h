#pragma once
// COM basics shared by every library: the counted pointer, owners for BSTR and
// VARIANT, and error information that travels with an HRESULT.

#include "runtime/ComPtr.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace cartulane {

#define RETURN_IF_FAILED(expr)                    \
    do {                                          \
        const HRESULT hr_checked_ = (expr);       \
        if (FAILED(hr_checked_)) return hr_checked_; \
    } while (0)

// HRESULTs in the range the automation runtime uses for its numbered errors.
constexpr HRESULT ControlError(unsigned code) {
    return static_cast<HRESULT>(0x800A0000u | (code & 0xFFFFu));
}

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

// Sets the thread's error information so that a caller through IDispatch or
// ISupportErrorInfo sees the description with the HRESULT; returns hr.
HRESULT SetErrorDescription(HRESULT hr, std::wstring_view description, std::wstring_view source = {});

// The description of the thread's current error information, or "" (and clears it).
std::wstring TakeErrorDescription();

}  // namespace cartulane
