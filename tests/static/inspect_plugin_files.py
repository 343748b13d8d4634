#!/usr/bin/env python3
"""Checks both plugin files as the host's loader sees them: the machine each is
built for, exactly the six undecorated exports, imports of system DLLs only;
and, for the 32-bit build that cannot run here, the __stdcall argument sizes in
its object file."""
import argparse
import re
import subprocess
import sys

EXPORTS = {"ListLoad", "ListLoadW", "ListCloseWindow", "ListSendCommand",
           "ListGetDetectString", "ListSetDefaultParams"}
STDCALL_SIZES = {"ListLoad": 12, "ListLoadW": 12, "ListCloseWindow": 4, "ListSendCommand": 12,
                 "ListGetDetectString": 8, "ListSetDefaultParams": 4}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"}
MACHINES = {"x64": 0x8664, "x86": 0x14C}

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


def check_plugin(path, arch):
    check(pe_machine(path) == MACHINES[arch], f"{path}: machine is not {arch}")
    headers = private_headers(path)
    names = set(re.findall(r"^\s+\[\s*\d+\]\s+(\S+)\s*$", headers.split("[Ordinal/Name Pointer] Table")[-1]
                           .split("\n\n")[0], re.M))
    check(names == EXPORTS, f"{path}: exports are {sorted(names)}")
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    check(imports <= SYSTEM_DLLS, f"{path}: imports {sorted(imports - SYSTEM_DLLS)} beyond the system DLLs")
    print(f"{arch}: {path}: machine 0x{MACHINES[arch]:x}, exports {sorted(names)}, imports {sorted(imports)}")


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
