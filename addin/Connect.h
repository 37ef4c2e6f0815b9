#pragma once
// Connect: the add-in the application loads at start-up. It keeps the application,
// starts the event relay, gives the ribbon its tab with the toggle button, and creates
// the task pane that hosts the control.

#include "addin/AddInValues.h"
#include "runtime/ComServer.h"

namespace cartulane::addin {

class Connect final : public com::ComObject<Connect, com::TypeLibDispatch<_Connect>, IDTExtensibility2,
                                             IRibbonExtensibility, ICustomTaskPaneConsumer> {
public:
    static const QITAB* Interfaces();
    // IDispatch, _Connect's for every interface: the ribbon reaches ShowTaskPane by name
    // through whichever of them it holds.
    using Dispatch = com::TypeLibDispatch<_Connect>;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return Dispatch::GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return Dispatch::GetTypeInfo(index, locale, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
        return Dispatch::GetIDsOfNames(iid, names, count, locale, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* badArgument) override;

    // _Connect
    STDMETHODIMP ShowTaskPane(IDispatch** control, VARIANT_BOOL* pressed) override;
    STDMETHODIMP OnRibbonLoad(IDispatch* ribbon) override;
    STDMETHODIMP GetPressed(IDispatch* control, VARIANT_BOOL* pressed) override;
    // IDTExtensibility2
    STDMETHODIMP OnConnection(IDispatch* Application, ext_ConnectMode, IDispatch* AddInInst,
                              SAFEARRAY** custom) override;
    STDMETHODIMP OnDisconnection(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;
    // IRibbonExtensibility
    STDMETHODIMP GetCustomUI(BSTR RibbonID, BSTR* RibbonXml) override;
    // ICustomTaskPaneConsumer
    STDMETHODIMP CTPFactoryAvailable(ICTPFactory* CTPFactoryInst) override;
};

}  // namespace cartulane::addin
