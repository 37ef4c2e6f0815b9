#pragma once
// What Instaldo does with the two libraries. The copies into the Windows folder and their
// registration need administrator rights: the dialog starts an elevated copy of the
// program for them ("/register", "/unregister"), which does them with CopyAndRegister or
// UnregisterAll. The add-in's entry for the user who will run Excel is the dialog's own
// step (ForUser), never the elevated part's: elevation may run as another account.

#include "installer/Registration.h"

#include <functional>
#include <string>

namespace cartulane::installer {

inline constexpr const wchar_t* kNote = L"注：进行以上操作时，请先关闭Excel文件。";
inline constexpr const wchar_t* kAddIn = L"TabrixAddIn.dll";

// Each message to the user in turn, as it comes.
using Tell = std::function<void(const std::wstring&)>;

// The folder of this program, with its closing backslash.
std::wstring ProgramFolder();
// Where a library is installed: the Windows folder.
std::wstring InstalledPath(const wchar_t* name);
// An existing file that is neither hidden nor a system file.
bool IsOrdinaryFile(const std::wstring& path);

// Both libraries beside the program, and of one machine (*machine): "" then, or what to tell.
std::wstring CheckPackage(WORD* machine);

// Checks the package again, copies both libraries into the Windows folder (both, or neither
// when either installed copy is in use or a link) and registers them (both, or neither:
// the first is unregistered again when the second fails). Whether all was done.
bool CopyAndRegister(const Tell& tell);

// Unregisters each installed library; one that is missing is named, and the others are
// still unregistered. Whether all was done.
bool UnregisterAll(const Tell& tell);

// Enters the add-in for the user running this (or removes the entry) through the installed
// add-in library; whether it was done. Without that library the entry is removed by its name.
bool ForUser(bool enter, const Tell& tell);

}  // namespace cartulane::installer
