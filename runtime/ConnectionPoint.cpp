#include "runtime/ConnectionPoint.h"

#include "runtime/ComObject.h"

#include <olectl.h>

namespace cartulane::com {

namespace {

class ConnectionPoint final : public ComObject<ConnectionPoint, IConnectionPoint> {
public:
    ConnectionPoint(IConnectionPointContainer* container, EventSinks& sinks) : container_(container), sinks_(sinks) {}

    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(ConnectionPoint, IConnectionPoint), {}};
        return table;
    }

    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = sinks_.Iid();
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
        return container_.CopyTo(container);
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        return Boundary([&] { return sinks_.Advise(sink, cookie); });
    }
    STDMETHODIMP Unadvise(DWORD cookie) override { return sinks_.Unadvise(cookie); }
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override {
        if (connections) *connections = nullptr;
        return E_NOTIMPL;
    }

private:
    ComPtr<IConnectionPointContainer> container_;  // keeps the sinks alive
    EventSinks& sinks_;
};

}  // namespace

HRESULT EventSinks::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(events.GetAddressOf()))) &&
        FAILED(sink->QueryInterface(IID_PPV_ARGS(&events))))
        return CONNECT_E_CANNOTCONNECT;
    sinks_.emplace(nextCookie_, events);
    *cookie = nextCookie_++;
    return S_OK;
}

HRESULT EventSinks::Unadvise(DWORD cookie) { return sinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION; }

void EventSinks::Raise(DISPID event, VARIANT* args, UINT count) {
    std::vector<ComPtr<IDispatch>> sinks;
    sinks.reserve(sinks_.size());
    for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
    for (const auto& sink : sinks) {
        DISPPARAMS params{args, nullptr, count, 0};
        Variant ignored;
        ExcepInfo exception;
        const HRESULT hr =
            sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &ignored, &exception, nullptr);
        if (FAILED(hr) && SUCCEEDED(failure_)) failure_ = hr;
    }
}

HRESULT FindConnectionPoint(IConnectionPointContainer* container, EventSinks& sinks, REFIID iid,
                            IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid != sinks.Iid()) return CONNECT_E_NOCONNECTION;
    ComPtr<ConnectionPoint> made = Make<ConnectionPoint>(container, sinks);
    RETURN_IF_NULL_ALLOC(made);
    *point = made.Detach();
    return S_OK;
}

}  // namespace cartulane::com
