#!/bin/sh
# The shipped binaries of both architectures (Instaldo.exe, Tabrix.ocx, TabrixAddIn.dll)
# import only libraries Windows 7 to 11 always take from the system's folder (KnownDLLs),
# plus comctl32, which the installer takes through the side-by-side entry of
# the manifest built into it; never one that a copy beside the program (a download
# folder) could stand in for.
# The libraries export the four server functions undecorated (the add-in DllInstall too), as
# regsvr32 and COM look them up.
# usage: ImportsTest.sh <build folder holding x64/ and x86/>
build=$1
known="advapi32.dll clbcatq.dll comdlg32.dll difxapi.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll \
msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll \
setupapi.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll comctl32.dll"
failed=0
for arch in x64 x86; do
  case $arch in x64) objdump=x86_64-w64-mingw32-objdump ;; x86) objdump=i686-w64-mingw32-objdump ;; esac
  for name in Instaldo.exe Tabrix.ocx TabrixAddIn.dll; do
    file="$build/$arch/bin/$name"
    if [ ! -f "$file" ]; then
      echo "FAIL $arch/$name: not built"; failed=1; continue
    fi
    table=$("$objdump" -p "$file") || { echo "FAIL $arch/$name: $objdump cannot read it"; failed=1; continue; }
    imports=$(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    case " $(echo $imports) " in
      *" kernel32.dll "*) ;;
      *) echo "FAIL $arch/$name: no import table read"; failed=1 ;;
    esac
    for dll in $imports; do
      case " $known " in
        *" $dll "*) ;;
        *) echo "FAIL $arch/$name imports $dll"; failed=1 ;;
      esac
    done
    echo "$arch/$name imports: $(echo $imports)"
  done
  grep -aq 'Microsoft.Windows.Common-Controls' "$build/$arch/bin/Instaldo.exe" ||
    { echo "FAIL $arch/Instaldo.exe has no manifest with a side-by-side entry for comctl32"; failed=1; }
  for name in Tabrix.ocx TabrixAddIn.dll; do
    exports=$("$objdump" -p "$build/$arch/bin/$name" 2>/dev/null | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
    wanted="DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer"
    # The add-in's entry for the user is made through "regsvr32 /n /i:user".
    [ "$name" = TabrixAddIn.dll ] && wanted="$wanted DllInstall"
    for export in $wanted; do
      echo "$exports" | grep -Eq "\] $export\$" || { echo "FAIL $arch/$name does not export $export undecorated"; failed=1; }
    done
  done
done
exit $failed
