#pragma once
// ComPtr: a counted COM pointer with the semantics of the Windows SDK's WRL ComPtr.
// MinGW ships one whose Attach adds a reference, which leaks every object handed to it.
//   Attach(p)   takes over p's reference;   Detach()  gives it up without a Release;
//   &p          releases what p holds and stands for an out parameter (T**, void**,
//               ComPtr<T>*), so IID_PPV_ARGS(&p) works.

#include <unknwn.h>

#include <cstddef>
#include <utility>

namespace cartulane {

template <typename T>
class ComPtr;

namespace detail {

template <typename T>
class ComPtrRef {
public:
    explicit ComPtrRef(ComPtr<T>* target) noexcept : target_(target) {}
    operator T**() const noexcept { return target_->ReleaseAndGetAddressOf(); }
    operator void**() const noexcept { return reinterpret_cast<void**>(target_->ReleaseAndGetAddressOf()); }
    operator ComPtr<T>*() const noexcept {
        target_->Reset();
        return target_;
    }
    T* operator*() const noexcept { return target_->Get(); }
    T** ReleaseAndGetAddressOf() const noexcept { return target_->ReleaseAndGetAddressOf(); }

private:
    ComPtr<T>* target_;
};

}  // namespace detail

template <typename T>
class ComPtr {
public:
    using InterfaceType = T;

    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    template <typename U>
    ComPtr(U* other) noexcept : ptr_(other) {
        AddRefHeld();
    }
    ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) { AddRefHeld(); }
    template <typename U>
    ComPtr(const ComPtr<U>& other) noexcept : ptr_(other.Get()) {
        AddRefHeld();
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }
    ComPtr& operator=(T* other) noexcept {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }

    T* Get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    detail::ComPtrRef<T> operator&() noexcept { return detail::ComPtrRef<T>(this); }

    T* const* GetAddressOf() const noexcept { return &ptr_; }
    T** GetAddressOf() noexcept { return &ptr_; }
    T** ReleaseAndGetAddressOf() noexcept {
        Reset();
        return &ptr_;
    }
    void Attach(T* other) noexcept {
        Reset();
        ptr_ = other;
    }
    T* Detach() noexcept { return std::exchange(ptr_, nullptr); }
    unsigned long Reset() noexcept {
        T* held = std::exchange(ptr_, nullptr);
        return held ? held->Release() : 0;
    }
    void Swap(ComPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

    HRESULT CopyTo(T** out) const noexcept {
        AddRefHeld();
        *out = ptr_;
        return S_OK;
    }
    template <typename U>
    HRESULT CopyTo(U** out) const noexcept {
        return ptr_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out));
    }
    template <typename U>
    HRESULT As(ComPtr<U>* out) const noexcept {
        return ptr_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }
    template <typename U>
    HRESULT As(detail::ComPtrRef<U> out) const noexcept {
        return ptr_->QueryInterface(__uuidof(U), static_cast<void**>(out));
    }

    friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.ptr_ == nullptr; }

private:
    void AddRefHeld() const noexcept {
        if (ptr_) ptr_->AddRef();
    }

    T* ptr_ = nullptr;
};

// A counted reference kept in a static or thread_local value. It has no destructor, so
// the C++ runtime never releases it at unload (under the loader lock, into a library that
// may be gone already): the module releases it with Reset at a moment it may, and at
// process exit it is abandoned.
template <typename T>
class StaticComPtr {
public:
    constexpr StaticComPtr() noexcept = default;
    StaticComPtr(const StaticComPtr&) = delete;
    StaticComPtr& operator=(const StaticComPtr&) = delete;

    StaticComPtr& operator=(T* other) noexcept {
        if (other) other->AddRef();
        T* old = ptr_;
        ptr_ = other;
        if (old) old->Release();
        return *this;
    }
    T* Get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    void Reset() noexcept { *this = nullptr; }
    // Forgets the reference without releasing it.
    void Abandon() noexcept { ptr_ = nullptr; }

private:
    T* ptr_ = nullptr;
};

}  // namespace cartulane

// IID_PPV_ARGS(&p) for a ComPtr p.
template <typename T>
void** IID_PPV_ARGS_Helper(cartulane::detail::ComPtrRef<T> target) noexcept {
    return target;
}
