#!/usr/bin/env python3
"""Checks that the 32-bit build's placement arithmetic never rounds an
intermediate to double (that build cannot run here, so its flags and its code
are inspected): the compile command of placement_math.cpp asks for x87 math
without fast-math, the compiler then evaluates in extended precision, and the
long double functions in the object file store nothing as float or double, load
float or double only from constants (exact), use no SSE and call only C library
helpers that pass the check themselves."""
import argparse
import json
import os
import re
import shlex
import struct
import subprocess
import sys
import tempfile

SOURCE = "placement/placement_math.cpp"
REQUIRED_FLAGS = {"-mfpmath=387"}
FORBIDDEN_FLAGS = re.compile(r"^(-ffast-math|-Ofast|-funsafe-math-optimizations|-fassociative-math|"
                             r"-freciprocal-math|-mfpmath=(?!387$).*)$")
EXTENDED_FUNCTION = "long double"  # every function of the extended path has it in its name
ENTRY_POINT = "ComputeListerPlacement<long double>"
ALLOWED_CALLS = {"lrintl"}  # the whole results to int: fldt, fistpl

# x87 memory forms whose operand is a float ("s") or a double ("l").
NARROW_STORES = {"fsts", "fstl", "fstps", "fstpl"}
NARROW_OPERANDS = {"flds", "fldl", "fadds", "faddl", "fsubs", "fsubl", "fsubrs", "fsubrl", "fmuls", "fmull",
                   "fdivs", "fdivl", "fdivrs", "fdivrl", "fcoms", "fcoml", "fcomps", "fcompl"}
SSE_REGISTER = re.compile(r"%([xyz]mm\d+|mm\d)")
SSE_CONTROL = {"ldmxcsr", "stmxcsr", "vldmxcsr", "vstmxcsr"}

FUNCTION_LINE = re.compile(r"^([0-9a-f]+) <(.+)>:$")
INSTRUCTION_LINE = re.compile(r"^\s+([0-9a-f]+):\t(\S+)\s*(.*)$")
RELOCATION_LINE = re.compile(r"^\t+([0-9a-f]+): (\S+)\t(.+)$")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(arguments, cwd=None, stdin=None):
    return subprocess.run(arguments, cwd=cwd, input=stdin, check=True, capture_output=True, text=True).stdout


def placement_command(compile_commands):
    with open(compile_commands, encoding="utf-8") as f:
        entries = json.load(f)
    for entry in entries:
        if entry["file"].replace("\\", "/").endswith(SOURCE):
            arguments = entry.get("arguments") or shlex.split(entry["command"])
            return arguments, entry["directory"], entry["file"]
    return None, None, None


def check_flags(arguments, directory, source):
    flags = set(arguments[1:])
    check(REQUIRED_FLAGS <= flags, f"compile flags lack {sorted(REQUIRED_FLAGS - flags)}")
    forbidden = sorted(flag for flag in flags if FORBIDDEN_FLAGS.match(flag))
    check(not forbidden, f"compile flags loosen the arithmetic: {forbidden}")
    # What the compiler makes of all the flags together.
    preprocess = []
    skip = False
    for argument in arguments:
        if skip:
            skip = False
        elif argument == "-o":
            skip = True
        elif argument not in ("-c", source):
            preprocess.append(argument)
    predefined = run(preprocess + ["-x", "c++", "-dM", "-E", "-", "-o", "-"], cwd=directory, stdin="")
    macros = dict(re.findall(r"^#define (\S+) ?(.*)$", predefined, re.M))
    check("__i386__" in macros, "placement_math.cpp is not compiled for i386")
    check(macros.get("__FLT_EVAL_METHOD__") == "2",
          f"__FLT_EVAL_METHOD__ is {macros.get('__FLT_EVAL_METHOD__')}, not 2 (x87 extended evaluation)")
    check("__SSE_MATH__" not in macros, "floating-point math is done in SSE registers")
    check("__FAST_MATH__" not in macros, "fast-math is on")
    print(f"x86 flags: {' '.join(sorted(f for f in flags if f.startswith(('-m', '-f', '-O'))))}; "
          f"__FLT_EVAL_METHOD__={macros.get('__FLT_EVAL_METHOD__')}, "
          f"__SSE_MATH__ {'on' if '__SSE_MATH__' in macros else 'off'}, "
          f"__FAST_MATH__ {'on' if '__FAST_MATH__' in macros else 'off'}")


def disassemble(tool_prefix, path):
    """{function name: [(address, mnemonic, operands, [(relocation type, symbol)])]}"""
    functions = {}
    current = None
    for line in run([f"{tool_prefix}objdump", "-drC", "--no-show-raw-insn", path]).splitlines():
        if m := FUNCTION_LINE.match(line):
            current = functions.setdefault(m.group(2), [])
        elif (m := RELOCATION_LINE.match(line)) and current:
            current[-1][3].append((m.group(2), m.group(3)))
        elif (m := INSTRUCTION_LINE.match(line)) and current is not None:
            current.append((int(m.group(1), 16), m.group(2), m.group(3), []))
    return functions


def rdata_bytes(tool_prefix, path):
    data = bytearray()
    dump = run([f"{tool_prefix}objdump", "-s", "-j", ".rdata", path])
    for offset, words in re.findall(r"^ ([0-9a-f]{4,}) ((?:[0-9a-f]+ ?){1,4})", dump, re.M):
        chunk = bytes.fromhex(words.replace(" ", ""))
        start = int(offset, 16)
        data[start:start + len(chunk)] = chunk
    return bytes(data)


def constant_text(data, offset, mnemonic):
    size, code = (4, "<f") if mnemonic.endswith("s") else (8, "<d")
    if offset + size > len(data):
        return "?"
    return repr(struct.unpack(code, data[offset:offset + size])[0])


def check_function(name, instructions, local_names, rdata, where):
    """Returns the external symbols the function calls."""
    calls = set()
    constants = []
    for address, mnemonic, operands, relocations in instructions:
        at = f"{where}: {name}+0x{address:x}: {mnemonic} {operands}"
        check(not SSE_REGISTER.search(operands) and mnemonic not in SSE_CONTROL, f"SSE code: {at}")
        check(mnemonic not in NARROW_STORES, f"stores a float or double (rounds the intermediate): {at}")
        if mnemonic in NARROW_OPERANDS:
            constant = re.fullmatch(r"0x([0-9a-f]+)", operands)
            from_rdata = any(symbol.startswith(".rdata") for _, symbol in relocations)
            if check(constant is not None and from_rdata,
                     f"reads a float or double that is not a constant: {at}") and rdata is not None:
                constants.append(f"{mnemonic} {constant_text(rdata, int(constant.group(1), 16), mnemonic)}")
        for kind, symbol in relocations:
            if kind.upper().startswith("DISP32") and mnemonic.startswith(("call", "jmp")):
                if symbol not in local_names:
                    calls.add(symbol.lstrip("_"))
    if constants:
        print(f"  float and double constants (exact in extended precision): {', '.join(constants)}")
    return calls


def check_library_helper(tool_prefix, compiler, symbol):
    """A C library helper the extended code calls must pass the same check."""
    archive = run([compiler, "-print-file-name=libmingwex.a"]).strip()
    members = [m for m in run([f"{tool_prefix}ar", "t", archive]).split()
               if m.endswith((f"-{symbol}.o", f"/{symbol}.o")) or m == f"{symbol}.o"]
    if not check(len(members) == 1, f"{symbol}: not found once in {archive}"):
        return
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "helper.o")
        with open(path, "wb") as f:
            f.write(subprocess.run([f"{tool_prefix}ar", "p", archive, members[0]], check=True,
                                   capture_output=True).stdout)
        functions = disassemble(tool_prefix, path)
        for name, instructions in functions.items():
            extra = check_function(name, instructions, set(functions), None, members[0])
            check(not extra, f"{symbol} calls {sorted(extra)}")
        print(f"x86 {symbol} ({members[0]}): {sum(len(i) for i in functions.values())} instructions, "
              "no SSE, nothing stored as float or double")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("compile_commands", help="compile_commands.json of the 32-bit build")
    args = parser.parse_args()

    arguments, directory, source = placement_command(args.compile_commands)
    if not check(arguments is not None, f"no {SOURCE} in {args.compile_commands}"):
        return report()
    compiler = arguments[0]
    tool_prefix = re.sub(r"(g\+\+|gcc|c\+\+)(-posix|-win32)?$", "", os.path.basename(compiler))
    check_flags(arguments, directory, source)

    obj = os.path.join(directory, arguments[arguments.index("-o") + 1])
    functions = disassemble(tool_prefix, obj)
    extended = {name: code for name, code in functions.items() if EXTENDED_FUNCTION in name}
    check(any(ENTRY_POINT in name for name in extended), f"{ENTRY_POINT} is not in {obj}")
    rdata = rdata_bytes(tool_prefix, obj)
    calls = set()
    for name, instructions in extended.items():
        x87 = sum(1 for _, mnemonic, _, _ in instructions if mnemonic.startswith("f"))
        print(f"x86 {name}: {len(instructions)} instructions, {x87} x87")
        check(x87 > 0, f"{name}: no x87 arithmetic at all")
        calls |= check_function(name, instructions, set(extended), rdata, os.path.basename(obj))
    check(calls <= ALLOWED_CALLS, f"the extended code calls {sorted(calls - ALLOWED_CALLS)}")
    for symbol in sorted(calls & ALLOWED_CALLS):
        check_library_helper(tool_prefix, compiler, symbol)
    return report()


def report():
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("the 32-bit placement arithmetic never rounds to double")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
