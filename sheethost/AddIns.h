#pragma once
// The stand-in application's COM add-in machinery: at start it loads every add-in
// entered under the application's per-user add-in key with LoadBehavior 3, connects it
// with the application, takes its ribbon (once: every window's ribbon shows it) and hands
// it the task-pane factory; at exit it tells each add-in that the application shuts down,
// disconnects it and lets it go.

#include "office_h.h"
#include "runtime/Variant.h"

#include <string>
#include <vector>

namespace cartulane::sheethost {

class HostWindow;
class Ribbon;

class AddIns {
public:
    explicit AddIns(HostWindow& host);
    ~AddIns();  // unloads what is still loaded
    AddIns(const AddIns&) = delete;
    AddIns& operator=(const AddIns&) = delete;

    // Every add-in set to load at start. One that fails is set to LoadBehavior 2 (not
    // loaded), as the application does, and the others go on.
    void LoadAll();
    // One add-in by its ProgID: OnConnection, the ribbon, the task-pane factory,
    // OnStartupComplete. A failure to make or connect it comes back; the add-in is then
    // not loaded.
    HRESULT Load(const std::wstring& progId, ext_ConnectMode mode = ext_cm_Startup);
    // The COM add-ins dialog: the add-in unticked (OnDisconnection with ext_dm_UserClosed, its
    // tabs taken off every ribbon), and ticked again (Load after start-up).
    HRESULT Untick(const std::wstring& progId);
    HRESULT Tick(const std::wstring& progId) { return Load(progId, ext_cm_AfterStartup); }
    // OnBeginShutdown for all, then OnDisconnection for each, and lets them go.
    void UnloadAll();
    // The add-ins' tabs on a new window's ribbon.
    void AddRibbonsTo(Ribbon& ribbon) const;
    // The task-pane factory the add-ins are given.
    HRESULT GetFactory(ICTPFactory** factory) const;

    struct Loaded {
        std::wstring progId;
        ComPtr<IDTExtensibility2> connect;
        HRESULT ribbonResult = S_OK;  // GetCustomUI and reading its XML
        HRESULT paneResult = S_OK;    // CTPFactoryAvailable
        std::wstring ribbonXml;
        ComPtr<IRibbonExtensibility> ribbon;
        ComPtr<IDispatch> ribbonUI;   // given to the definition's onLoad
        HRESULT onLoadResult = S_OK;
    };
    const std::vector<Loaded>& Connected() const { return loaded_; }

private:
    class Factory;
    class AddInObject;
    HostWindow& host_;
    ComPtr<Factory> factory_;
    std::vector<Loaded> loaded_;
};

}  // namespace cartulane::sheethost
