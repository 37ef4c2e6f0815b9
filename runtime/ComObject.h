#pragma once
// The one way to write a COM object: ComObject gives it IUnknown (a reference count,
// delete at zero, QueryInterface from the class's QITAB table through QISearch) and
// counts it among the module's live objects; Make<T>() creates one without throwing.
//
//   class Relay final : public com::ComObject<Relay, IDispatch> {
//   public:
//       static const QITAB* Interfaces() {
//           static const QITAB table[] = {QITABENT(Relay, IDispatch), {}};
//           return table;
//       }
//       ...the interfaces' own methods...
//   };
//
// Bases may be interfaces or classes that implement interfaces without IUnknown of their
// own; the first entry of the table answers IID_IUnknown.

#include "runtime/ComPtr.h"
#include "runtime/Error.h"

#include <shlwapi.h>

#include <atomic>
#include <new>
#include <utility>

namespace cartulane::com {

// Live objects and server locks of this module, for DllCanUnloadNow.
void LockModule() noexcept;
void UnlockModule() noexcept;
long ModuleLocks() noexcept;

// Counts an object as alive for its lifetime.
class ModuleObject {
protected:
    ModuleObject() noexcept { LockModule(); }
    ~ModuleObject() { UnlockModule(); }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;
};

template <typename Derived, typename First, typename... Rest>
class ComObject : public First, public Rest..., private ModuleObject {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return ::QISearch(static_cast<Derived*>(this), Derived::Interfaces(), iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            refs_ = 1;  // a reference taken and given back while it goes must not delete it twice
            delete static_cast<Derived*>(this);
        }
        return left;
    }

protected:
    // The arguments go to the first base (a class such as ActiveXControl needs some).
    template <typename... Args>
    explicit ComObject(Args&&... args) : First(std::forward<Args>(args)...) {}
    ~ComObject() = default;

private:
    std::atomic<ULONG> refs_{1};
};

// A new object with the one reference the caller owns; empty when it cannot be made.
template <typename T, typename... Args>
ComPtr<T> Make(Args&&... args) noexcept {
    ComPtr<T> made;
    try {
        made.Attach(new (std::nothrow) T(std::forward<Args>(args)...));
    } catch (...) {
    }
    return made;
}

// A class factory's CreateInstance for T: a new T asked for the interface.
template <typename T>
HRESULT CreateInstance(REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    ComPtr<T> made = Make<T>();
    RETURN_IF_NULL_ALLOC(made);
    return made->QueryInterface(iid, object);
}

// A value of the module that the C++ runtime never destroys: no destructor of it runs at
// unload, under the loader lock, when what it refers to may be gone already. It is made
// at the first Get and destroyed only by Reset, which the module calls at the moments it
// may let go (an add-in's shutdown, DllCanUnloadNow); at unload it is abandoned.
template <typename T>
class ModuleState {
public:
    constexpr ModuleState() noexcept = default;
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    // nullptr only when it cannot be made (out of memory).
    T* Get() noexcept {
        if (!value_) value_ = new (std::nothrow) T();
        return value_;
    }
    T* Peek() const noexcept { return value_; }
    void Reset() noexcept {
        T* value = std::exchange(value_, nullptr);
        delete value;
    }

private:
    T* value_ = nullptr;
};

}  // namespace cartulane::com
