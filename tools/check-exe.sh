#!/usr/bin/env bash
# Checks the built Setup.exe as a deployment would see it: a 32-bit GUI image
# that imports only DLLs Windows always takes from the system folder, nothing
# Windows XP SP3 lacks, and carries its manifest.
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
# Functions of those DLLs that Windows XP SP3 does not export, as
# "dll:function", from the "Minimum supported client" of Microsoft's reference
# pages: Vista or later, XP x64 or Server 2003 only, or (shlwapi's IStream_
# and IUnknown_ calls) exported by name only since Vista. An exe that imports one
# does not start on XP at all; Wine's XP prefixes export them all, so only
# this check shows it. Such a call must be looked up at run time instead.
newer_than_xp="
kernel32:GetTickCount64 kernel32:GetTempPath2A kernel32:GetTempPath2W kernel32:SetDefaultDllDirectories
kernel32:AddDllDirectory kernel32:RemoveDllDirectory kernel32:SetFileInformationByHandle
kernel32:GetFileInformationByHandleEx kernel32:OpenFileById kernel32:ReOpenFile kernel32:CreateFile2
kernel32:GetFinalPathNameByHandleA kernel32:GetFinalPathNameByHandleW kernel32:CreateSymbolicLinkA
kernel32:CreateSymbolicLinkW kernel32:CreateSymbolicLinkTransactedA kernel32:CreateSymbolicLinkTransactedW
kernel32:CreateFileTransactedA kernel32:CreateFileTransactedW kernel32:CreateDirectoryTransactedA
kernel32:DeleteFileTransactedA kernel32:MoveFileTransactedA kernel32:CopyFileTransactedA
kernel32:FindFirstFileNameW kernel32:FindFirstStreamW kernel32:FindNextStreamW
kernel32:GetFileAttributesTransactedA kernel32:CancelIoEx kernel32:CancelSynchronousIo
kernel32:GetQueuedCompletionStatusEx kernel32:SetFileCompletionNotificationModes
kernel32:InitializeCriticalSectionEx kernel32:InitOnceInitialize kernel32:InitOnceExecuteOnce
kernel32:InitOnceBeginInitialize kernel32:InitOnceComplete kernel32:InitializeSRWLock
kernel32:AcquireSRWLockExclusive kernel32:AcquireSRWLockShared kernel32:ReleaseSRWLockExclusive
kernel32:ReleaseSRWLockShared kernel32:TryAcquireSRWLockExclusive kernel32:TryAcquireSRWLockShared
kernel32:InitializeConditionVariable kernel32:SleepConditionVariableCS kernel32:SleepConditionVariableSRW
kernel32:WakeConditionVariable kernel32:WakeAllConditionVariable kernel32:FlsAlloc kernel32:FlsFree
kernel32:FlsGetValue kernel32:FlsSetValue kernel32:CreateEventExA kernel32:CreateEventExW
kernel32:CreateMutexExA kernel32:CreateMutexExW kernel32:CreateSemaphoreExA kernel32:CreateSemaphoreExW
kernel32:CreateWaitableTimerExW kernel32:CreateThreadpoolWork kernel32:SubmitThreadpoolWork
kernel32:CloseThreadpoolWork kernel32:WaitForThreadpoolWorkCallbacks kernel32:CreateThreadpoolTimer
kernel32:SetThreadpoolTimer kernel32:CloseThreadpoolTimer kernel32:CreateThreadpoolWait
kernel32:GetThreadId kernel32:GetProcessIdOfThread kernel32:GetCurrentProcessorNumber
kernel32:QueryFullProcessImageNameA kernel32:QueryFullProcessImageNameW kernel32:GetProductInfo
kernel32:GetErrorMode kernel32:GetThreadErrorMode kernel32:SetThreadErrorMode
kernel32:GetSystemTimePreciseAsFileTime kernel32:GetLogicalProcessorInformationEx
kernel32:GetNamedPipeClientProcessId kernel32:Wow64DisableWow64FsRedirection
kernel32:Wow64RevertWow64FsRedirection kernel32:Wow64EnableWow64FsRedirection
kernel32:GetLocaleInfoEx kernel32:LCIDToLocaleName kernel32:LocaleNameToLCID
kernel32:GetUserDefaultLocaleName kernel32:GetSystemDefaultLocaleName kernel32:CompareStringEx
kernel32:CompareStringOrdinal kernel32:LCMapStringEx kernel32:GetDateFormatEx kernel32:GetTimeFormatEx
kernel32:GetNumberFormatEx kernel32:GetUserPreferredUILanguages kernel32:SetProcessPreferredUILanguages
kernel32:GetFileMUIPath kernel32:ApplicationRecoveryFinished kernel32:RegisterApplicationRestart
kernel32:GetApplicationRestartSettings kernel32:SetSearchPathMode kernel32:GetVolumeInformationByHandleW
advapi32:CreateProcessWithTokenW advapi32:RegGetValueA advapi32:RegGetValueW advapi32:RegDeleteKeyExA
advapi32:RegDeleteKeyExW advapi32:RegDeleteTreeA advapi32:RegDeleteTreeW advapi32:RegCopyTreeA
advapi32:RegCopyTreeW advapi32:RegSetKeyValueA advapi32:RegSetKeyValueW advapi32:RegDeleteKeyValueA
advapi32:RegDeleteKeyValueW advapi32:RegLoadMUIStringA advapi32:RegLoadMUIStringW
advapi32:RegOpenKeyTransactedA advapi32:RegCreateKeyTransactedA advapi32:RegDisableReflectionKey
advapi32:RegEnableReflectionKey advapi32:RegQueryReflectionKey advapi32:InitiateShutdownA
advapi32:InitiateShutdownW advapi32:AddMandatoryAce advapi32:EventRegister advapi32:EventUnregister
advapi32:EventWrite advapi32:EventWriteString advapi32:EventWriteTransfer advapi32:EventEnabled
user32:SetProcessDPIAware user32:IsProcessDPIAware user32:SetProcessDpiAwarenessContext
user32:GetDpiForWindow user32:GetDpiForSystem user32:ShutdownBlockReasonCreate
user32:ShutdownBlockReasonDestroy user32:ShutdownBlockReasonQuery user32:ChangeWindowMessageFilter
user32:ChangeWindowMessageFilterEx user32:AddClipboardFormatListener user32:RemoveClipboardFormatListener
user32:RegisterPowerSettingNotification user32:LogicalToPhysicalPoint user32:PhysicalToLogicalPoint
user32:GetWindowDisplayAffinity user32:SetWindowDisplayAffinity user32:RegisterTouchWindow
shell32:SHGetKnownFolderPath shell32:SHGetKnownFolderIDList shell32:SHSetKnownFolderPath
shell32:SHCreateItemFromParsingName shell32:SHCreateItemFromIDList shell32:SHGetIDListFromObject
shell32:SHGetStockIconInfo shell32:SHEvaluateSystemCommandTemplate shell32:SHOpenWithDialog
shell32:SHQueryUserNotificationState shell32:SHGetPropertyStoreForWindow shell32:Shell_NotifyIconGetRect
shell32:SetCurrentProcessExplicitAppUserModelID shell32:SHGetLocalizedName shell32:SHSetLocalizedName
shell32:SHRemoveLocalizedName shell32:SHCreateDefaultContextMenu shell32:SHAssocEnumHandlers
shlwapi:SHRegGetValueFromHKCUHKLM shlwapi:StrCatChainW shlwapi:IStream_Read shlwapi:IStream_Write
shlwapi:IStream_Reset shlwapi:IStream_Size shlwapi:IUnknown_QueryService shlwapi:IUnknown_GetSite
shlwapi:IUnknown_SetSite shlwapi:IUnknown_Set shlwapi:IUnknown_AtomicRelease
setupapi:SetupDiGetDevicePropertyW setupapi:SetupDiSetDevicePropertyW setupapi:SetupDiGetDevicePropertyKeys
setupapi:SetupDiGetClassPropertyW setupapi:SetupDiSetClassPropertyW setupapi:SetupDiGetClassPropertyKeys
setupapi:SetupDiGetDeviceInterfacePropertyW setupapi:SetupDiSetDeviceInterfacePropertyW
setupapi:SetupDiGetDeviceInterfacePropertyKeys setupapi:SetupGetInfDriverStoreLocationA
setupapi:SetupGetInfDriverStoreLocationW setupapi:SetupGetInfPublishedNameA setupapi:SetupGetInfPublishedNameW
setupapi:CM_Get_DevNode_PropertyW setupapi:CM_Get_Class_PropertyW setupapi:CM_Get_Device_Interface_PropertyW
msvcrt:_fseeki64 msvcrt:_ftelli64 msvcrt:strnlen msvcrt:wcsnlen msvcrt:_get_errno msvcrt:_set_errno
msvcrt:_set_invalid_parameter_handler msvcrt:_get_invalid_parameter_handler msvcrt:_create_locale
msvcrt:_free_locale msvcrt:_get_output_format msvcrt:_set_output_format msvcrt:qsort_s
"
# Besides: kernel32's K32* (the process-status calls of Windows 7) and
# msvcrt's bounds-checked *_s calls (Vista's msvcrt.dll).
imports=$(awk '/DLL Name:/ { dll = tolower($3); sub(/\.dll$/, "", dll) }
               /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ && dll { print dll ":" $3 }' <<<"$headers")
[[ -n "$imports" ]] || { echo "exe check: no imported functions found"; problems=1; }
for import in $imports; do
    if [[ " ${newer_than_xp//$'\n'/ } " == *" $import "* || $import == kernel32:K32* || $import == msvcrt:*_s ]]; then
        echo "exe check: imports ${import#*:} from ${import%%:*}.dll, which Windows XP SP3 lacks"
        problems=1
    fi
done
for needle in requireAdministrator 35138b9a-5d96-4fbd-8e2d-a2440225f93a Microsoft.Windows.Common-Controls; do
    grep -q "$needle" "$exe" || { echo "exe check: manifest lacks $needle"; problems=1; }
done
[[ $problems -eq 0 ]] && echo "exe check: PE32 GUI, imports only system DLLs ($(grep -c 'DLL Name:' <<<"$headers")) and $(wc -w <<<"$imports") functions Windows XP SP3 has, manifest present, $(stat -c %s "$exe") bytes"
exit $problems
