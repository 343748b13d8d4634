#!/usr/bin/env python3
"""Checks both plugin files as the host's loader sees them: the machine each is
built for, exactly the ten undecorated exports, imports of system DLLs only and
only of functions that Windows 7, the oldest Windows we support, has, none that
changes the host's current directory; and, for the 32-bit build, the __stdcall
argument sizes in its object file."""
import argparse
import re
import subprocess
import sys

EXPORTS = {"ListLoad", "ListLoadW", "ListLoadNext", "ListLoadNextW", "ListCloseWindow", "ListSendCommand",
           "ListGetDetectString", "ListSetDefaultParams", "ListGetPreviewBitmap", "ListGetPreviewBitmapW"}
STDCALL_SIZES = {"ListLoad": 12, "ListLoadW": 12, "ListLoadNext": 16, "ListLoadNextW": 16, "ListCloseWindow": 4,
                 "ListSendCommand": 12, "ListGetDetectString": 8, "ListSetDefaultParams": 4,
                 "ListGetPreviewBitmap": 20, "ListGetPreviewBitmapW": 20}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "ole32.dll", "advapi32.dll", "ws2_32.dll",
               "iphlpapi.dll"}
# The current directory belongs to the whole host: its other threads (thumbnails
# are asked for on several) would see a change made even for a moment.
FORBIDDEN_IMPORTS = {"SetCurrentDirectoryW", "SetCurrentDirectoryA"}
MACHINES = {"x64": 0x8664, "x86": 0x14C}

# Every function the plugin files may import: each one is documented as present
# in Windows 7 (32- and 64-bit, in the DLL named), most since Windows 2000 or XP;
# the few that came later are marked with the version that brought them. A file
# that imports anything else would fail to load there, with no message a user
# could act on: check the function's documentation before adding it here.
WINDOWS_7_IMPORTS = {
    "kernel32.dll": {
        "AcquireSRWLockExclusive",  # Vista
        "AddVectoredExceptionHandler", "AssignProcessToJobObject",
        "CancelIoEx",  # Vista
        "CloseHandle",
        "CloseThreadpoolWait",  # Vista
        "CopyFileW", "CreateDirectoryW", "CreateEventA", "CreateEventW", "CreateFileW", "CreateJobObjectW", "CreateNamedPipeW",
        "CreateProcessW",
        "CreateSemaphoreA",
        "CreateThreadpoolWait",  # Vista
        "DeleteCriticalSection", "DeleteFileW",
        "DeleteProcThreadAttributeList",  # Vista
        "DuplicateHandle", "EnterCriticalSection", "ExpandEnvironmentStringsW", "FindClose", "FindFirstFileW",
        "FindNextFileW", "FreeLibrary", "GetCurrentProcess", "GetCurrentProcessId", "GetCurrentThread",
        "GetCurrentThreadId", "GetEnvironmentVariableW", "GetExitCodeProcess", "GetFileAttributesW", "GetFileSizeEx", "GetFileType",
        "GetFullPathNameW",
        "GetHandleInformation", "GetLastError", "GetModuleFileNameW", "GetModuleHandleA", "GetModuleHandleW",
        "GetNamedPipeServerProcessId",  # Vista
        "GetOverlappedResult", "GetPrivateProfileStringW", "GetProcAddress", "GetProcessAffinityMask",
        "GetProcessId",  # XP SP1
        "GetProcessTimes",
        "GetShortPathNameW", "GetSystemTimeAsFileTime", "GetTempPathW", "GetThreadContext", "GetThreadPriority",
        "GetTickCount64",  # Vista
        "InitializeCriticalSection",
        "InitializeProcThreadAttributeList",  # Vista
        "IsDBCSLeadByteEx", "IsDebuggerPresent",
        "IsProcessInJob",  # XP
        "LeaveCriticalSection", "LoadLibraryA", "LoadLibraryW",
        "MoveFileExW", "MultiByteToWideChar", "OpenProcess", "OutputDebugStringA", "PeekNamedPipe", "QueryInformationJobObject",
        "RaiseException", "ReadFile",
        "ReleaseSRWLockExclusive",  # Vista
        "ReleaseSemaphore", "RemoveDirectoryW", "RemoveVectoredExceptionHandler", "ResetEvent", "ResumeThread",
        "RtlCaptureContext", "RtlLookupFunctionEntry", "RtlUnwindEx", "RtlVirtualUnwind",  # 64-bit kernel32
        "SetEvent", "SetFileAttributesW", "SetHandleInformation", "SetInformationJobObject", "SetLastError",
        "SetProcessAffinityMask",
        "SetThreadContext", "SetThreadPriority",
        "SetThreadpoolWait",  # Vista
        "Sleep", "SuspendThread", "TerminateJobObject", "TerminateProcess", "TlsAlloc", "TlsGetValue", "TlsSetValue",
        "TryEnterCriticalSection",
        "UpdateProcThreadAttribute",  # Vista
        "VirtualProtect", "VirtualQuery", "WaitForMultipleObjects", "WaitForSingleObject",
        "WaitForThreadpoolWaitCallbacks",  # Vista
        "WideCharToMultiByte", "WriteFile", "WritePrivateProfileStringW",
        "__C_specific_handler",  # 64-bit kernel32
    },
    "user32.dll": {
        "BeginPaint", "CallWindowProcW", "CreateWindowExW", "DefWindowProcW", "DestroyWindow", "EndPaint", "FillRect",
        "GetAncestor", "GetClassLongPtrW", "GetClassLongW", "GetClassNameW", "GetClientRect", "GetDC",
        "GetDesktopWindow", "GetDoubleClickTime", "GetFocus", "GetMessageTime",
        "GetMonitorInfoW",  # 2000
        "GetSystemMetrics",
        "GetParent", "GetWindowLongPtrW", "GetWindowLongW", "GetWindowRect", "IsWindow", "LoadCursorW", "LoadIconW",
        "MapWindowPoints", "MessageBoxW",
        "MonitorFromWindow",  # 2000
        "MoveWindow", "MsgWaitForMultipleObjects", "OffsetRect", "PeekMessageW", "PostMessageW", "RegisterClassW",
        "ReleaseDC", "SetFocus", "SetForegroundWindow", "SetParent", "SetWindowLongPtrW", "SetWindowLongW",
        "SetWindowPos", "UnregisterClassW",
    },
    "gdi32.dll": {"CreateCompatibleBitmap", "CreateSolidBrush", "DeleteObject", "SetDIBits"},
    # The registry, where an installed VLC is found.
    "advapi32.dll": {"RegCloseKey", "RegOpenKeyExW", "RegQueryValueExW"},
    # Sockets, for VLC's remote control on a loopback port (Winsock 2, since Windows 95/NT 4).
    "ws2_32.dll": {"WSACleanup", "WSAEventSelect", "WSAGetLastError", "WSASocketW", "WSAStartup", "bind",
                   "closesocket", "connect", "getsockname", "htonl", "htons", "ntohs", "recv", "setsockopt"},
    # Who listens on that port.
    "iphlpapi.dll": {"GetExtendedTcpTable"},  # XP SP2
    # COM, for the Windows Imaging Component (part of Windows 7).
    "ole32.dll": {"CoCreateInstance", "CoInitializeEx", "CoUninitialize"},
    # The system's C run-time library, as the static C++ run-time calls it.
    "msvcrt.dll": {
        "___lc_codepage_func", "___mb_cur_max_func", "__iob_func", "__mb_cur_max", "_amsg_exit", "_beginthreadex",
        "_close", "_endthreadex", "_errno", "_initterm", "_iob", "_lock", "_read", "_setjmp", "_setjmp3", "_strdup",
        "_ultoa", "_unlock", "abort", "atoi", "calloc", "exit", "fprintf", "fputc", "fputs", "fputwc", "free",
        "fwprintf", "fwrite", "localeconv", "longjmp", "malloc", "memchr", "memcmp", "memcpy", "memmove", "memset",
        "printf", "realloc", "setlocale", "signal", "strchr", "strcmp", "strerror", "strlen", "strncmp", "vfprintf",
        "wcscmp", "wcslen", "wcstoul",
    },
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    check(data[:2] == b"MZ", f"{path}: not a PE file")
    pe = int.from_bytes(data[0x3C:0x40], "little")
    check(data[pe:pe + 4] == b"PE\0\0", f"{path}: no PE signature")
    return int.from_bytes(data[pe + 4:pe + 6], "little")


def private_headers(path):
    return subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout


def imported_functions(headers):
    """(dll, function) for each import by name, from objdump's import tables."""
    functions = set()
    dll = None
    for line in headers.split("Import Tables")[-1].split("Export Tables")[0].splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower()
            continue
        entry = re.match(r"\s+[0-9a-f]+\s+\d+\s+([A-Za-z_]\w*)\s*$", line)
        if entry and dll:
            functions.add((dll, entry.group(1)))
    return functions


def check_plugin(path, arch):
    check(pe_machine(path) == MACHINES[arch], f"{path}: machine is not {arch}")
    headers = private_headers(path)
    names = set(re.findall(r"^\s+\[\s*\d+\]\s+(\S+)\s*$", headers.split("[Ordinal/Name Pointer] Table")[-1]
                           .split("\n\n")[0], re.M))
    check(names == EXPORTS, f"{path}: exports are {sorted(names)}")
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    check(imports <= SYSTEM_DLLS, f"{path}: imports {sorted(imports - SYSTEM_DLLS)} beyond the system DLLs")
    functions = imported_functions(headers)
    beyond = sorted(f"{dll}!{name}" for dll, name in functions if name not in WINDOWS_7_IMPORTS.get(dll, set()))
    check(not beyond, f"{path}: imports functions not known to be in Windows 7: {beyond}")
    forbidden = sorted(f"{dll}!{name}" for dll, name in functions if name in FORBIDDEN_IMPORTS)
    check(not forbidden, f"{path}: imports {forbidden}, which would change the host's current directory")
    print(f"{arch}: {path}: machine 0x{MACHINES[arch]:x}, exports {sorted(names)}, imports {sorted(imports)}, "
          f"{len(functions)} functions" + ("" if beyond else ", all in Windows 7"))


def check_stdcall(objects_dir):
    import glob
    found = glob.glob(f"{objects_dir}/plugin/CMakeFiles/reelpane.dir/exports.cpp.obj")
    check(len(found) == 1, "no 32-bit exports.cpp object file")
    if not found:
        return
    symbols = subprocess.run(["i686-w64-mingw32-nm", found[0]], check=True, capture_output=True,
                             text=True).stdout
    for name, size in STDCALL_SIZES.items():
        check(re.search(rf"\bT _{name}@{size}$", symbols, re.M) is not None,
              f"32-bit {name} is not __stdcall with {size} bytes of arguments")
    print("x86: exports are __stdcall:", ", ".join(f"_{n}@{s}" for n, s in STDCALL_SIZES.items()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--x64", required=True)
    parser.add_argument("--x86", required=True)
    parser.add_argument("--x86-objects", required=True)
    args = parser.parse_args()
    check_plugin(args.x64, "x64")
    check_plugin(args.x86, "x86")
    check_stdcall(args.x86_objects)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
