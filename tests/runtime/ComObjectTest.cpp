// The one COM object base and connection point: what a client of any of our objects
// relies on (one identity, QueryInterface by the rules, counted lifetime, the module
// kept while objects live) and events reaching the sinks advised at the time.

#include "runtime/ComObject.h"
#include "runtime/ConnectionPoint.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <vector>

namespace cartulane::com {
namespace {

// An object with two interfaces and an outgoing one (IPropertyNotifySink stands in).
class Source final : public ComObject<Source, IDispatch, IConnectionPointContainer> {
public:
    explicit Source(bool* gone) : gone_(gone) {}
    ~Source() { *gone_ = true; }
    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(Source, IDispatch), QITABENT(Source, IConnectionPointContainer), {}};
        return table;
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        return com::FindConnectionPoint(this, sinks, iid, point);
    }
    EventSinks sinks{IID_IPropertyNotifySink};

private:
    bool* gone_;
};

// A sink that writes down the events and may unadvise itself when one comes.
class Sink final : public ComObject<Sink, IDispatch> {
public:
    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(Sink, IDispatch), {}};
        return table;
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        events.push_back(id);
        if (point) point->Unadvise(cookie);
        return S_OK;
    }
    std::vector<DISPID> events;
    ComPtr<IConnectionPoint> point;  // set: the sink leaves at its first event
    DWORD cookie = 0;
};

TEST(ComObject, OneIdentityQueryInterfaceByTheRulesAndACountedLife) {
    const long before = ModuleLocks();
    bool gone = false;
    ComPtr<Source> source = Make<Source>(&gone);
    ASSERT_TRUE(source);
    EXPECT_EQ(ModuleLocks(), before + 1) << "a live object keeps its module";

    ComPtr<IUnknown> fromDispatch, fromContainer;
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(static_cast<IDispatch*>(source.Get())->QueryInterface(IID_PPV_ARGS(&fromDispatch)));
    ASSERT_HRESULT_SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&container)));
    ASSERT_HRESULT_SUCCEEDED(container->QueryInterface(IID_PPV_ARGS(&fromContainer)));
    EXPECT_EQ(fromDispatch.Get(), fromContainer.Get());

    void* nothing = reinterpret_cast<void*>(1);
    EXPECT_EQ(source->QueryInterface(IID_IPersist, &nothing), E_NOINTERFACE);
    EXPECT_EQ(nothing, nullptr);
    EXPECT_EQ(source->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

    fromDispatch.Reset();
    fromContainer.Reset();
    container.Reset();
    source->AddRef();
    EXPECT_EQ(source->Release(), 1u);
    source.Reset();
    EXPECT_TRUE(gone);
    EXPECT_EQ(ModuleLocks(), before);
}

TEST(ConnectionPoint, EventsReachTheSinksAdvisedWhileOneLeavesDuringAnEvent) {
    bool gone = false;
    ComPtr<Source> source = Make<Source>(&gone);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(source->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
    ComPtr<IConnectionPoint> other;
    EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(other, nullptr);

    ComPtr<Sink> staying = Make<Sink>(), leaving = Make<Sink>();
    DWORD stayingCookie = 0;
    ASSERT_HRESULT_SUCCEEDED(point->Advise(static_cast<IDispatch*>(staying.Get()), &stayingCookie));
    ASSERT_HRESULT_SUCCEEDED(point->Advise(static_cast<IDispatch*>(leaving.Get()), &leaving->cookie));
    EXPECT_NE(stayingCookie, leaving->cookie);
    leaving->point = point;
    source->sinks.Raise(7, nullptr, 0);
    source->sinks.Raise(8, nullptr, 0);
    EXPECT_EQ(staying->events, (std::vector<DISPID>{7, 8}));
    EXPECT_EQ(leaving->events, std::vector<DISPID>{7});
    EXPECT_EQ(point->Unadvise(leaving->cookie), CONNECT_E_NOCONNECTION);
    leaving->point.Reset();

    // The point keeps its object, and with it the sinks, alive.
    source.Reset();
    EXPECT_FALSE(gone);
    EXPECT_EQ(point->Unadvise(stayingCookie), S_OK);
    point.Reset();
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace cartulane::com
