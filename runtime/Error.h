#pragma once
// One error vocabulary for every library: HRESULTs out of every COM method, checked
// with the RETURN_* macros; the last Win32 error taken so that a failure never reads as
// success; the thread's error information; an owner for EXCEPINFO; and the boundary
// that keeps exceptions out of COM methods and window procedures.

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#define RETURN_IF_FAILED(expr)                        \
    do {                                              \
        const HRESULT hr_checked_ = (expr);           \
        if (FAILED(hr_checked_)) return hr_checked_; \
    } while (0)

#define RETURN_HR_IF(hr, condition) \
    do {                            \
        if (condition) return (hr); \
    } while (0)

// For a Win32 call that reports failure by its result and the detail by GetLastError.
#define RETURN_LAST_ERROR_IF(condition)                                \
    do {                                                               \
        if (condition) return ::cartulane::LastErrorResult();          \
    } while (0)
#define RETURN_LAST_ERROR_IF_NULL(value) RETURN_LAST_ERROR_IF((value) == nullptr)
#define RETURN_IF_NULL_ALLOC(value) RETURN_HR_IF(E_OUTOFMEMORY, (value) == nullptr)

namespace cartulane {

// The thread's last error as an HRESULT, for a call that has just failed. A call that
// failed without setting one gives E_FAIL, never S_OK.
HRESULT LastErrorResult() noexcept;

// The HRESULT of a failure whose Win32 error is given; E_FAIL when it is none.
HRESULT Win32Failure(DWORD error) noexcept;

// A Win32 status (LSTATUS and the like): ERROR_SUCCESS is S_OK.
inline HRESULT Win32Result(DWORD status) noexcept { return HRESULT_FROM_WIN32(status); }

// HRESULTs in the range the automation runtime uses for its numbered errors.
constexpr HRESULT ControlError(unsigned code) {
    return static_cast<HRESULT>(0x800A0000u | (code & 0xFFFFu));
}

// Sets the thread's error information so that a caller through IDispatch or
// ISupportErrorInfo sees the description with the HRESULT; returns hr.
HRESULT SetErrorDescription(HRESULT hr, std::wstring_view description, std::wstring_view source = {});

// The description of the thread's current error information, or "" (and clears it).
std::wstring TakeErrorDescription();

// The system's text for an HRESULT, without the trailing line break; "" when it has none.
std::wstring SystemMessage(HRESULT hr);
// The system's text for a failure, or its code (0x...) when the system has none: what a
// message to the user gives as the reason.
std::wstring SystemReason(HRESULT hr);

// An EXCEPINFO that frees its strings.
class ExcepInfo : public EXCEPINFO {
public:
    ExcepInfo() noexcept : EXCEPINFO{} {}
    ~ExcepInfo() { Clear(); }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    void Clear() noexcept;
    // Runs the deferred fill-in, if any; the code the exception stands for.
    HRESULT Code() noexcept;
};

// Fills the caller's EXCEPINFO for a failure of a call through IDispatch and returns
// DISP_E_EXCEPTION, the code with which such a failure travels; a caller that gave none
// gets the failure's own code.
HRESULT FillExcepInfo(EXCEPINFO* info, HRESULT hr, std::wstring_view source, std::wstring_view description);

// Inside a catch block: the HRESULT for what was thrown.
HRESULT CaughtExceptionResult() noexcept;

// The body of a COM method, with nothing thrown getting out of it.
template <typename Body>
HRESULT Boundary(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return CaughtExceptionResult();
    }
}

}  // namespace cartulane
