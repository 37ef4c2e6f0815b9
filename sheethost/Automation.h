#pragma once
// What sheethost's object model is made of: an IDispatch answering to a table of
// names and DISPIDs (those of the real application), the arguments of a call, and a
// _NewEnum enumerator. Failures go back as DISP_E_EXCEPTION with a description, as the
// real application reports them.

#include "runtime/ComObject.h"
#include "runtime/Variant.h"

#include <span>
#include <string>
#include <vector>

namespace cartulane::sheethost {

struct Member {
    const wchar_t* name;
    DISPID id;
};

// "Application-defined or object-defined error" (1004): the application's error for a
// call it cannot carry out.
HRESULT ApplicationError();

// The positional arguments of a call, in call order, and the value of a property put.
class CallArgs {
public:
    explicit CallArgs(const DISPPARAMS* params);
    // nullptr when the argument is absent or was left out.
    const VARIANT* At(size_t index) const;
    const VARIANT* PutValue() const { return put_; }

private:
    std::vector<const VARIANT*> positional_;
    const VARIANT* put_ = nullptr;
};

// An argument as text; DISP_E_PARAMNOTFOUND when it was left out.
HRESULT StringArg(const CallArgs& args, size_t index, std::wstring* out);

// The locale LOCALE_USER_DEFAULT stands for in a call: the user's, until this sets another
// (a Chinese user's, say; 0 gives the user's back).
void SetUserLocale(LCID locale);
// Whether a call made in this locale is understood. The object model's names are English;
// an installation without the language pack of the caller's locale refuses the call with
// TYPE_E_INVDATAREAD ("Old format or invalid type library"), as the application does.
HRESULT CheckCallLocale(LCID locale);

// The IDispatch half of an automation object: a name looked up in the member table, and
// a failed call turned into DISP_E_EXCEPTION with its description.
HRESULT MemberIdOfName(std::span<const Member> members, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT CallResult(HRESULT hr, const std::wstring& error, EXCEPINFO* exception);

// An object of the model, reachable through Interface: IDispatch, or a dual interface of
// the application whose vtable methods the derived class implements as well. Through
// IDispatch it answers to its member table; a derived class that gives out more
// interfaces (More) has its own table.
template <typename Derived, typename Interface = IDispatch, typename... More>
class Automation : public com::ComObject<Derived, Interface, More...> {
public:
    static const QITAB* Interfaces() {
        static const QITAB table[] = {
            {&__uuidof(Interface), OFFSETOFCLASS(Interface, Derived)},
            {&IID_IDispatch, OFFSETOFCLASS(Interface, Derived)},
            {},
        };
        return table;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
        RETURN_IF_FAILED(CheckCallLocale(locale));
        return MemberIdOfName(Members(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT*) override {
        RETURN_IF_FAILED(CheckCallLocale(locale));
        bool known = false;
        for (const Member& member : Members()) known = known || member.id == id;
        if (!known) return DISP_E_MEMBERNOTFOUND;
        return Boundary([&] {
            Variant ignored;
            std::wstring error;
            const HRESULT hr = Call(id, flags, CallArgs(params), result ? result : &ignored, &error);
            return CallResult(hr, error, exception);
        });
    }

protected:
    Automation() = default;
    virtual std::span<const Member> Members() const = 0;
    // A call by DISPID; a failure may leave its description in error.
    virtual HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) = 0;
};

// An IEnumVARIANT over a snapshot of objects, for _NewEnum.
HRESULT MakeEnumerator(std::vector<ComPtr<IDispatch>> items, VARIANT* result);

// Result helpers.
HRESULT ReturnString(VARIANT* result, const std::wstring& text);
HRESULT ReturnObject(VARIANT* result, IDispatch* object);
HRESULT ReturnLong(VARIANT* result, long value);
HRESULT ReturnBool(VARIANT* result, bool value);

}  // namespace cartulane::sheethost
