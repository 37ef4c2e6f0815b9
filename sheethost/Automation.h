#pragma once
// What sheethost's object model is made of: an IDispatch answering to a table of
// names and DISPIDs (those of the real application), the arguments of a call, and a
// _NewEnum enumerator. Failures go back as DISP_E_EXCEPTION with a description, as the
// real application reports them.

#include "runtime/Variant.h"
#include "sheethost/LiveObject.h"

#include <atomic>
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

// The IDispatch half of an automation object: a name looked up in the member table, and
// a failed call turned into DISP_E_EXCEPTION with its description.
HRESULT MemberIdOfName(std::span<const Member> members, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT CallResult(HRESULT hr, const std::wstring& error, EXCEPINFO* exception);

// An object of the model, reachable through Interface: IDispatch, or a dual interface of
// the application whose vtable methods the derived class implements as well.
template <typename Interface>
class Automation : public Interface, protected LiveObject {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == Iid()) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        return QueryOther(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return MemberIdOfName(Members(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT*) override {
        bool known = false;
        for (const Member& member : Members()) known = known || member.id == id;
        if (!known) return DISP_E_MEMBERNOTFOUND;
        Variant ignored;
        std::wstring error;
        const HRESULT hr = Call(id, flags, CallArgs(params), result ? result : &ignored, &error);
        return CallResult(hr, error, exception);
    }

protected:
    Automation() = default;
    virtual ~Automation() = default;
    virtual std::span<const Member> Members() const = 0;
    virtual const IID& Iid() const = 0;
    // A call by DISPID; a failure may leave its description in error.
    virtual HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) = 0;
    // For a derived class that exposes more interfaces.
    virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }

private:
    std::atomic<ULONG> refs_{1};
};

using AutomationObject = Automation<IDispatch>;

// Creates an object with one reference held by the caller.
template <typename T, typename... A>
ComPtr<T> MakeObject(A&&... args) {
    ComPtr<T> object;
    object.Attach(new T(std::forward<A>(args)...));
    return object;
}

// An IEnumVARIANT over a snapshot of objects, for _NewEnum.
HRESULT MakeEnumerator(std::vector<ComPtr<IDispatch>> items, VARIANT* result);

// Result helpers.
HRESULT ReturnString(VARIANT* result, const std::wstring& text);
HRESULT ReturnObject(VARIANT* result, IDispatch* object);
HRESULT ReturnLong(VARIANT* result, long value);
HRESULT ReturnBool(VARIANT* result, bool value);

}  // namespace cartulane::sheethost
