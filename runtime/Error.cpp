#include "runtime/Error.h"

#include "runtime/ComPtr.h"
#include "runtime/Handles.h"

#include <cwchar>
#include <new>

namespace cartulane {

HRESULT Win32Failure(DWORD error) noexcept { return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error); }

HRESULT LastErrorResult() noexcept { return Win32Failure(::GetLastError()); }

HRESULT SetErrorDescription(HRESULT hr, std::wstring_view description, std::wstring_view source) {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(&create))) return hr;
    const std::wstring text(description), from(source);
    create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    if (!from.empty()) create->SetSource(const_cast<LPOLESTR>(from.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
    return hr;
}

std::wstring TakeErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR text = nullptr;
    if (FAILED(info->GetDescription(&text)) || !text) return {};
    std::wstring description(text, ::SysStringLen(text));
    ::SysFreeString(text);
    return description;
}

std::wstring SystemMessage(HRESULT hr) {
    // Win32 errors are known to the system by their own number as well.
    const DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    UniqueLocalMemory<wchar_t> text;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    std::wstring message(text.get() ? text.get() : L"", length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

std::wstring SystemReason(HRESULT hr) {
    std::wstring reason = SystemMessage(hr);
    if (reason.empty()) {
        wchar_t code[16];
        ::swprintf(code, 16, L"0x%08X", static_cast<unsigned>(hr));
        reason = code;
    }
    return reason;
}

void ExcepInfo::Clear() noexcept {
    ::SysFreeString(bstrSource);
    ::SysFreeString(bstrDescription);
    ::SysFreeString(bstrHelpFile);
    *static_cast<EXCEPINFO*>(this) = {};
}

HRESULT ExcepInfo::Code() noexcept {
    if (pfnDeferredFillIn) {
        pfnDeferredFillIn(this);
        pfnDeferredFillIn = nullptr;
    }
    if (scode != S_OK) return scode;
    return wCode ? ControlError(wCode) : DISP_E_EXCEPTION;
}

HRESULT FillExcepInfo(EXCEPINFO* info, HRESULT hr, std::wstring_view source, std::wstring_view description) {
    if (!info) return hr;  // a caller without EXCEPINFO gets the failure itself
    *info = {};
    info->scode = hr;
    info->bstrSource = ::SysAllocStringLen(source.data(), static_cast<UINT>(source.size()));
    info->bstrDescription = ::SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    return DISP_E_EXCEPTION;
}

HRESULT CaughtExceptionResult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace cartulane
