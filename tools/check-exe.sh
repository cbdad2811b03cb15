#!/usr/bin/env bash
# Checks the built Setup.exe as a deployment would see it: a 32-bit GUI image
# that imports only DLLs Windows always takes from the system folder, and
# carries its manifest.
set -euo pipefail
exe=${1:-build/Setup.exe}
objdump=i686-w64-mingw32-objdump
allowed="advapi32.dll kernel32.dll msvcrt.dll setupapi.dll shell32.dll shlwapi.dll user32.dll"
headers=$($objdump -p "$exe")
problems=0

grep -q '^Magic[[:space:]]*010b' <<<"$headers" || { echo "exe check: not a PE32 image"; problems=1; }
grep -q 'Subsystem[[:space:]]*00000002' <<<"$headers" || { echo "exe check: not a GUI program"; problems=1; }
for dll in $(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}'); do
    [[ " $allowed " == *" $dll "* ]] || { echo "exe check: imports $dll, which Windows may take from the program's folder"; problems=1; }
done
# Functions newer than Windows XP SP3, which the settings file still has rows
# for: Wine's XP prefixes export them all, so only this check shows an import
# that would stop the program from starting there. Such a function is looked
# up at run time, with a fallback.
newer_than_xp="SetFileInformationByHandle GetFileInformationByHandleEx GetFinalPathNameByHandleA
GetFinalPathNameByHandleW GetTempPath2A GetTempPath2W CreateSymbolicLinkA CreateSymbolicLinkW CreateFile2
CreateProcessWithTokenW SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory GetTickCount64
InitializeSRWLock AcquireSRWLockExclusive InitOnceExecuteOnce QueryFullProcessImageNameA
QueryFullProcessImageNameW RegGetValueA RegGetValueW RegDeleteKeyExA RegDeleteKeyExW RegSetKeyValueA
Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection IsWow64Process2 CancelIoEx
GetLocaleInfoEx LocaleNameToLCID CompareStringEx SetThreadErrorMode GetErrorMode CreateEventExA
CreateMutexExA"
imports=$(sed -n '/The Import Tables/,/The Export Tables/p' <<<"$headers" | awk 'NF >= 3 && $1 ~ /^[0-9a-f]+$/ {print $NF}')
for name in $newer_than_xp; do
    grep -qx "$name" <<<"$imports" && { echo "exe check: imports $name, which Windows XP SP3 lacks"; problems=1; }
done
for needle in requireAdministrator 35138b9a-5d96-4fbd-8e2d-a2440225f93a Microsoft.Windows.Common-Controls; do
    grep -q "$needle" "$exe" || { echo "exe check: manifest lacks $needle"; problems=1; }
done
[[ $problems -eq 0 ]] && echo "exe check: PE32 GUI, imports only system DLLs ($(grep -c 'DLL Name:' <<<"$headers")), manifest present, $(stat -c %s "$exe") bytes"
exit $problems
