#include "platform/com/ComObject.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/RunningObjectTable.h"
#include "platform/com/WideString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace kestrine::platform;

namespace {

struct IAnimal : IUnknown {
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000001}");
    using Base = IUnknown;
    virtual int Legs() = 0;
};
struct IDog : IAnimal {
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000002}");
    using Base = IAnimal;
    virtual int Barks() = 0;
};
struct IPet : IUnknown {
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000003}");
    using Base = IUnknown;
    virtual int Name() = 0;
};
struct INever : IUnknown {
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000004}");
    using Base = IUnknown;
};

std::atomic<int> gDestroyed{0};

class Dog final : public ComObject<IDog, IPet> {
public:
    int Legs() override { return 4; }
    int Barks() override { return 2; }
    int Name() override { return 7; }
    ~Dog() override { ++gDestroyed; }
};

template <class I>
ComPtr<I> Ask(IUnknown* from)
{
    ComPtr<I> out;
    EXPECT_EQ(from->QueryInterface(I::kIid, reinterpret_cast<void**>(out.GetAddressOf())), S_OK);
    return out;
}

ComPtr<IUnknown> Identity(IUnknown* from) { return Ask<IUnknown>(from); }

}  // namespace

TEST(ComObject, QueryInterfaceKeepsIdentityAndItsRules)
{
    gDestroyed = 0;
    {
        ComPtr<Dog> dog = MakeComObject<Dog>();
        ComPtr<IPet> pet = Ask<IPet>(static_cast<IDog*>(dog.Get()));
        ComPtr<IDog> asDog = Ask<IDog>(pet.Get());
        ComPtr<IAnimal> animal = Ask<IAnimal>(pet.Get());  // a parent of a listed interface
        EXPECT_EQ(animal->Legs(), 4);
        EXPECT_EQ(asDog->Barks(), 2);
        EXPECT_EQ(pet->Name(), 7);

        // Identity: every path to IUnknown gives one pointer.
        const IUnknown* id = Identity(pet.Get()).Get();
        EXPECT_EQ(Identity(asDog.Get()).Get(), id);
        EXPECT_EQ(Identity(animal.Get()).Get(), id);
        EXPECT_EQ(Identity(Identity(animal.Get()).Get()).Get(), id);
        EXPECT_TRUE(IsSameObject(pet.Get(), animal.Get()));
        // Reflexive, symmetric, transitive.
        EXPECT_EQ(Ask<IPet>(pet.Get()).Get(), pet.Get());
        EXPECT_EQ(Ask<IPet>(Ask<IDog>(pet.Get()).Get()).Get(), pet.Get());
        EXPECT_EQ(Ask<IAnimal>(Ask<IDog>(pet.Get()).Get()).Get(), Ask<IAnimal>(pet.Get()).Get());

        // Refusals leave the out pointer null and take no reference.
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(pet->QueryInterface(INever::kIid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(pet->QueryInterface(IPet::kIid, nullptr), E_POINTER);
        EXPECT_FALSE(pet.Query<INever>());
    }
    EXPECT_EQ(gDestroyed, 1);
}

TEST(ComObject, ReferencesCountedAcrossThreadsDestroyOnce)
{
    gDestroyed = 0;
    ComPtr<Dog> dog = MakeComObject<Dog>();
    IPet* raw = dog.Get();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([raw] {
            for (int i = 0; i < 50000; ++i) {
                raw->AddRef();
                ComPtr<IDog> d;
                raw->QueryInterface(IDog::kIid, reinterpret_cast<void**>(d.GetAddressOf()));
                raw->Release();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(gDestroyed, 0);
    EXPECT_EQ(raw->AddRef(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    dog.Reset();
    EXPECT_EQ(gDestroyed, 1);
}

TEST(ComPtr, OwnsExactlyOneReference)
{
    gDestroyed = 0;
    ComPtr<Dog> a = MakeComObject<Dog>();
    Dog* raw = a.Get();
    {
        ComPtr<Dog> b = a;           // copy: +1
        ComPtr<IDog> c = b;          // converting copy: +1
        ComPtr<Dog> d = std::move(b);  // move: 0
        EXPECT_FALSE(b);
        EXPECT_EQ(raw->AddRef(), 4u);
        raw->Release();
        IDog* detached = c.Detach();  // hand the reference out and adopt it again
        ComPtr<IDog> e;
        e.Attach(detached);
        IDog* copied = nullptr;
        ASSERT_EQ(e.CopyTo(&copied), S_OK);
        copied->Release();
        ComPtr<IPet> pet;
        ASSERT_EQ(e.As(&pet), S_OK);
        ASSERT_EQ(e.As(&pet), S_OK);  // the slot is released before it is refilled
        EXPECT_EQ(raw->AddRef(), 5u);
        raw->Release();
    }
    EXPECT_EQ(gDestroyed, 0);
    a = nullptr;
    EXPECT_EQ(gDestroyed, 1);

    ComPtr<IPet> empty;
    ComPtr<IDog> target;
    EXPECT_EQ(empty.As(&target), E_POINTER);
}

namespace {
const CLSID kDogClass = MakeGuid("{22222222-0000-0000-0000-000000000001}");
}

TEST(ComRuntime, InitialisesPerThreadAndCreatesRegisteredClasses)
{
    // A thread of its own, so the count starts at 0 whatever other tests did.
    std::thread([] {
        ComPtr<IPet> pet;
        RegisterComClass(kDogClass, [](REFIID riid, void** ppv) { return CreateAndQuery<Dog>(riid, ppv); });
        EXPECT_EQ(CoCreateInstance(kDogClass, &pet), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_TRUE(IsComInitializedOnThisThread());

        EXPECT_EQ(CoCreateInstance(kDogClass, &pet), S_OK);
        ASSERT_TRUE(pet);
        EXPECT_EQ(pet->Name(), 7);

        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoCreateInstance(kDogClass, nullptr, CLSCTX_INPROC_SERVER, INever::kIid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(CoCreateInstance(kDogClass, pet.Get(), CLSCTX_INPROC_SERVER, IPet::kIid, &out), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(CoCreateInstance(kDogClass, nullptr, 0x4, IPet::kIid, &out), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoCreateInstance(MakeGuid("{22222222-0000-0000-0000-0000000000FF}"), nullptr, CLSCTX_INPROC, IPet::kIid, &out),
                  REGDB_E_CLASSNOTREG);
        EXPECT_TRUE(UnregisterComClass(kDogClass));
        EXPECT_EQ(CoCreateInstance(kDogClass, &pet), REGDB_E_CLASSNOTREG);

        CoUninitialize();
        EXPECT_TRUE(IsComInitializedOnThisThread());
        CoUninitialize();
        EXPECT_FALSE(IsComInitializedOnThisThread());
    }).join();
}

TEST(WideString, RoundTripsEveryPlane)
{
    const std::string text = "Film \xC3\xA9t\xC3\xA9 \xE6\x98\xA0\xE7\x94\xBB \xF0\x9F\x8E\xAC.wmv";
    const WideString wide = ToWide(text);
    EXPECT_EQ(ToUtf8(wide), text);
    EXPECT_EQ(wide.size(), 18u);  // the clapper board takes a surrogate pair
    // Bytes that are not UTF-8 (a Latin-1 file name, a sequence cut short, an overlong or surrogate
    // form) come back as the same bytes, so a path keeps naming its file.
    for (const std::string& broken : {std::string("caf\xE9.wmv"), std::string("\xFF\xC3"), std::string("\xC0\xAF"),
                                     std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"), std::string("\xE6\x98")})
        EXPECT_EQ(ToUtf8(ToWide(broken)), broken);
    // Surrogates that did not come from such bytes still become replacement characters.
    EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    WCHAR small[4];
    CopyWide(u"abcdef", small, 4);
    EXPECT_EQ(WideString(small), u"abc");
}

TEST(RunningObjectTable, RegistersUnderItemNamesAndHoldsUntilRevoked)
{
    gDestroyed = 0;
    ComPtr<IRunningObjectTable> rot;
    EXPECT_EQ(GetRunningObjectTable(1, rot.GetAddressOf()), E_INVALIDARG);
    ASSERT_EQ(GetRunningObjectTable(0, rot.GetAddressOf()), S_OK);
    ComPtr<IRunningObjectTable> again;
    ASSERT_EQ(GetRunningObjectTable(0, again.GetAddressOf()), S_OK);
    EXPECT_EQ(rot.Get(), again.Get());  // one table per process

    ComPtr<IMoniker> name;
    ASSERT_EQ(CreateItemMoniker(u"!", u"FilterGraph 0x1 pid 2A", name.GetAddressOf()), S_OK);
    LPOLESTR display = nullptr;
    ASSERT_EQ(name->GetDisplayName(nullptr, nullptr, &display), S_OK);
    EXPECT_EQ(WideString(display), u"!FilterGraph 0x1 pid 2A");
    CoTaskMemFree(display);

    DWORD cookie = 0;
    {
        ComPtr<Dog> dog = MakeComObject<Dog>();
        EXPECT_EQ(rot->IsRunning(name.Get()), S_FALSE);
        ASSERT_EQ(rot->Register(0, static_cast<IDog*>(dog.Get()), name.Get(), &cookie), S_OK);
        EXPECT_NE(cookie, 0u);
    }
    EXPECT_EQ(gDestroyed, 0);  // the table keeps it alive
    ComPtr<IMoniker> sameName;
    CreateItemMoniker(u"!", u"FilterGraph 0x1 pid 2A", sameName.GetAddressOf());
    EXPECT_EQ(rot->IsRunning(sameName.Get()), S_OK);
    ComPtr<IUnknown> found;
    ASSERT_EQ(rot->GetObject(sameName.Get(), found.GetAddressOf()), S_OK);
    EXPECT_TRUE(found.Query<IPet>());
    found.Reset();

    DWORD second = 0;
    ComPtr<Dog> other = MakeComObject<Dog>();
    EXPECT_EQ(rot->Register(0, static_cast<IDog*>(other.Get()), sameName.Get(), &second), MK_S_MONIKERALREADYREGISTERED);
    EXPECT_NE(second, cookie);
    EXPECT_EQ(rot->Revoke(second), S_OK);

    EXPECT_EQ(rot->Revoke(cookie), S_OK);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(rot->Revoke(cookie), E_INVALIDARG);
    EXPECT_EQ(rot->IsRunning(name.Get()), S_FALSE);
    EXPECT_EQ(rot->GetObject(name.Get(), found.GetAddressOf()), MK_E_UNAVAILABLE);
}
