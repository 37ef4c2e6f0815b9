#pragma once
// The one connection-point implementation: the object that raises events keeps an
// EventSinks for its outgoing dispinterface, and FindConnectionPoint hands out a
// connection point over it that keeps the object alive while a client holds it.

#include "runtime/Variant.h"

#include <ocidl.h>

#include <map>
#include <utility>
#include <vector>

namespace cartulane::com {

class EventSinks {
public:
    explicit EventSinks(const IID& iid) : iid_(iid) {}
    EventSinks(const EventSinks&) = delete;
    EventSinks& operator=(const EventSinks&) = delete;

    const IID& Iid() const { return iid_; }
    // Takes the sink as the outgoing interface, or as IDispatch when it does not know that.
    HRESULT Advise(IUnknown* sink, DWORD* cookie);
    HRESULT Unadvise(DWORD cookie);
    size_t Count() const { return sinks_.size(); }
    void Clear() { sinks_.clear(); }

    // Calls every sink; a handler may advise or unadvise meanwhile. The arguments are
    // in DISPPARAMS order (last first).
    void Raise(DISPID event, VARIANT* args, UINT count);
    // The first failure a sink returned from an event since the last call, S_OK for none.
    HRESULT TakeFailure() { return std::exchange(failure_, S_OK); }

private:
    const IID& iid_;
    std::map<DWORD, ComPtr<IDispatch>> sinks_;
    HRESULT failure_ = S_OK;
    DWORD nextCookie_ = 1;
};

// A connection point of container over its sinks; CONNECT_E_NOCONNECTION for another IID.
HRESULT FindConnectionPoint(IConnectionPointContainer* container, EventSinks& sinks, REFIID iid,
                            IConnectionPoint** point);

}  // namespace cartulane::com
