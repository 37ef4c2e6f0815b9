#pragma once
// The add-in's entry in the application's list of COM add-ins, one user's (under
// HKEY_CURRENT_USER): the library writes it for the user who runs "regsvr32 /n /i:user", and
// the installer removes it, also when the library is gone.

namespace cartulane::addin {

inline constexpr wchar_t kAddInEntryKey[] = L"Software\\Microsoft\\Office\\Excel\\Addins\\Brevant.Connect";

}  // namespace cartulane::addin
