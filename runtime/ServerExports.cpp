// The four exports of a COM server library, each on the module's own server (ThisServer).
// Compiled into every server library (cartulane_com_server).

#include "runtime/ComServer.h"

using cartulane::com::ThisServer;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return cartulane::com::GetClassObject(ThisServer(), clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return cartulane::com::CanUnloadNow(ThisServer()); }

STDAPI DllRegisterServer() { return cartulane::com::RegisterServer(ThisServer()); }

STDAPI DllUnregisterServer() { return cartulane::com::UnregisterServer(ThisServer()); }
