#pragma once
// Owning smart pointer for interfaces: one reference per non-empty ComPtr.
#include "platform/com/Unknown.h"

#include <cstddef>
#include <utility>

namespace kestrine::platform {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes its own reference; the caller keeps theirs.
    ComPtr(T* p) : p_(p) { AddRefIf(); }
    ComPtr(const ComPtr& other) : p_(other.p_) { AddRefIf(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) : p_(other.Get())
    {
        AddRefIf();
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(ComPtr<U>&& other) noexcept : p_(other.Detach())
    {
    }
    ~ComPtr() { ReleaseIf(); }

    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out parameters: the slot must be empty, or its reference is released first.
    T** GetAddressOf() { return &p_; }
    T** ReleaseAndGetAddressOf()
    {
        Reset();
        return &p_;
    }

    void Reset()
    {
        ReleaseIf();
        p_ = nullptr;
    }
    // Adopts a reference the caller already owns.
    void Attach(T* p)
    {
        ReleaseIf();
        p_ = p;
    }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }

    // Copies out one new reference (out parameter convention).
    HRESULT CopyTo(T** out) const
    {
        if (out == nullptr) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

    template <class U>
    HRESULT As(ComPtr<U>* out) const
    {
        if (out == nullptr) return E_POINTER;
        if (p_ == nullptr) {
            out->Reset();
            return E_POINTER;
        }
        return p_->QueryInterface(U::kIid, reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }

    // The interface U of the same object, or empty.
    template <class U>
    ComPtr<U> Query() const
    {
        ComPtr<U> out;
        As(&out);
        return out;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    void AddRefIf()
    {
        if (p_) p_->AddRef();
    }
    void ReleaseIf()
    {
        if (p_) p_->Release();
    }

    T* p_ = nullptr;
};

// Whether two interface pointers belong to one object, by the IUnknown identity rule.
bool IsSameObject(IUnknown* a, IUnknown* b);

}  // namespace kestrine::platform
