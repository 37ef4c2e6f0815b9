// Tabrix.ocx: its one class, TestControl, served by the library's exports.

#include "Tabrix_h.h"
#include "control/TestControl.h"
#include "runtime/ComServer.h"
#include "runtime/Form.h"

namespace {

using namespace cartulane;

const com::ServerClass kClasses[] = {
    {&CLSID_TestControl, &com::CreateInstance<control::TestControl>, L"TestControl", L"Quillet.TestControl",
     L"Quillet.TestControl.1", ActiveXControl::kMiscStatus},
};

// No control and no form is left: the forms' objects (no longer windows) can go.
void LetGo() {
    ReleaseDefaultInstances();
}

const com::Server kServer{kClasses, &LIBID_Quillet, nullptr, nullptr, &LetGo};

}  // namespace

const com::Server& com::ThisServer() { return kServer; }
