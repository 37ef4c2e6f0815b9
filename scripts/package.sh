#!/usr/bin/env bash
# Installs what is missing, builds x64 and x86, and leaves the release packages in
# build/dist: Cartulane-x64.zip and Cartulane-x86.zip, each a folder with Instaldo.exe,
# Tabrix.ocx, TabrixAddIn.dll (stripped) and the users' read-me.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prepare x64 x86
ls -l "$top/build/dist/Cartulane-x64.zip" "$top/build/dist/Cartulane-x86.zip"
