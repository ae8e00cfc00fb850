#pragma once
// Base classes that implement IUnknown for a list of interfaces, so each class writes only its own methods.
#include "platform/com/ComPtr.h"

#include <atomic>
#include <utility>

namespace kestrine::platform {

namespace detail {

template <class I>
concept HasBase = requires { typename I::Base; };

// Finds riid in I's chain of parents; IUnknown itself is answered by the caller for identity.
template <class I, class Self>
void* FindInChain(Self* self, REFIID riid)
{
    if (riid == I::kIid) return static_cast<I*>(self);
    if constexpr (HasBase<I>) {
        if constexpr (!std::is_same_v<typename I::Base, IUnknown>) return FindInChain<typename I::Base>(static_cast<I*>(self), riid);
    }
    return nullptr;
}

template <class First, class... Rest>
struct FirstOf {
    using Type = First;
};

}  // namespace detail

// Implements QueryInterface over the listed interfaces (and their parents) for an object that
// lives by its own reference count: created by MakeComObject, destroyed when the count reaches 0.
template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        void* found = nullptr;
        if (riid == IID_IUnknown) {
            found = IdentityUnknown();
        } else {
            ((found = found ? found : detail::FindInChain<Interfaces>(this, riid)), ...);
            if (found == nullptr) found = QueryExtraInterface(riid);
        }
        if (found == nullptr) return E_NOINTERFACE;
        AddRef();
        *ppv = found;
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override
    {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // The one IUnknown pointer of this object.
    IUnknown* IdentityUnknown() { return static_cast<typename detail::FirstOf<Interfaces...>::Type*>(this); }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // For interfaces that are not base classes (held by members); give them without AddRef.
    virtual void* QueryExtraInterface(REFIID) { return nullptr; }

private:
    std::atomic<ULONG> refs_{0};
};

// Creates a reference-counted object; the returned pointer holds its first reference.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args)
{
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}

// For parts of an object (pins of a filter) that answer their own interfaces but share the owner's
// lifetime: counting goes to the owner, which holds the part as a member.
template <class... Interfaces>
class ComPart : public Interfaces... {
public:
    explicit ComPart(IUnknown& owner) : owner_(owner) {}
    ComPart(const ComPart&) = delete;
    ComPart& operator=(const ComPart&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        void* found = nullptr;
        if (riid == IID_IUnknown) {
            found = static_cast<typename detail::FirstOf<Interfaces...>::Type*>(this);
        } else {
            ((found = found ? found : detail::FindInChain<Interfaces>(this, riid)), ...);
        }
        if (found == nullptr) return E_NOINTERFACE;
        AddRef();
        *ppv = found;
        return S_OK;
    }
    ULONG AddRef() override { return owner_.AddRef(); }
    ULONG Release() override { return owner_.Release(); }

protected:
    virtual ~ComPart() = default;
    IUnknown& Owner() const { return owner_; }

private:
    IUnknown& owner_;
};

}  // namespace kestrine::platform
