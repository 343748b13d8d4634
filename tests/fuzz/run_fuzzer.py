#!/usr/bin/env python3
"""run_fuzzer.py --source ROOT --work DIR --fuzzer NAME [--seconds N]

Builds one libFuzzer target of tests/fuzz natively with clang, the address and
undefined-behaviour sanitizers on, replays its committed regression inputs
(tests/data/fuzz/NAME/), then fuzzes it for N seconds, starting from seeds made
of the committed real-player transcripts and from the corpus an earlier run left
in DIR. Fails on any crash, sanitizer report or broken property.

Longer runs by hand, for example an hour:
  tests/fuzz/run_fuzzer.py --source . --work /tmp/fuzz --fuzzer identify_parser --seconds 3600
A crash input is saved under DIR/NAME/crashes/; copy it into tests/data/fuzz/NAME/
(named after what it broke) so that every later run replays it."""
import argparse
import glob
import os
import re
import struct
import subprocess
import sys

# Each fuzzer and the sources of the plugin it is built with; their folders are its include paths.
FUZZERS = {
    "identify_parser": ["player/mplayer/identify_parser.cpp"],
    "identify_number": ["player/mplayer/identify_parser.cpp"],
    "mpv_identification": ["player/mpv/mpv_dialect.cpp", "player/mpv/mpv_messages.cpp", "player/shared/command_line.cpp",
                           "player/reports/player_report.cpp"],
}
READ, FAILED, BOUND = 0x00, 0xFF, 0xFE


def build(source, work, name):
    binary = os.path.join(work, name + "_fuzzer")
    subprocess.run(["clang++", "-std=c++20", "-O1", "-g", "-Wall", "-Wextra", "-Wshadow", "-Wconversion", "-Werror",
                    "-fsanitize=fuzzer,address,undefined", "-fno-sanitize-recover=all",
                    *(f"-I{os.path.join(source, folder)}"
                      for folder in sorted({"player/shared", "player/reports", "player/settings"}
                                           | {os.path.dirname(path) for path in FUZZERS[name]})),
                    os.path.join(source, "tests", "fuzz", name + "_fuzzer.cpp"),
                    *(os.path.join(source, plugin_source) for plugin_source in FUZZERS[name]),
                    "-o", binary], check=True)
    return binary


def parser_input(events, splits=(0, 0)):
    """An input of the parser fuzzer: the read bytes from the front, the numbers
    (split choices, event kinds, read lengths) from the back, as FuzzedDataProvider takes them."""
    front, back = b"", b""
    for split in splits:
        back += struct.pack(">H", split)
    for kind, data in events:
        back += bytes([kind])
        if kind == READ:
            back += struct.pack(">H", len(data))
            front += data
    return front + back[::-1]


def reads_of(data, size):
    return [(READ, data[i:i + size]) for i in range(0, len(data), size)]


def parser_seeds(source):
    seeds = {}
    for path in sorted(glob.glob(os.path.join(source, "tests", "data", "transcripts", "*.txt"))):
        with open(path, "rb") as f:
            transcript = f.read()
        name = re.sub(r"[^A-Za-z0-9]+", "-", os.path.basename(path))
        seeds["transcript-" + name + "-1024"] = parser_input(reads_of(transcript, 1024))
        seeds["transcript-" + name + "-100"] = parser_input(reads_of(transcript, 100), (3, 77))
    file_line = b"ID_FILENAME=C:\\videos\\clip.avi\n"
    sizes = b"ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=480\n"
    length = b"ID_LENGTH=12.00\n"
    seeds["two-stages"] = parser_input([(READ, file_line), (READ, sizes + length)])
    seeds["burst"] = parser_input([(READ, file_line + sizes + length), (READ, b"ID_VIDEO_WIDTH=1\n")])
    seeds["height-first"] = parser_input(
        [(READ, file_line), (READ, b"ID_VIDEO_HEIGHT=480\nID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=360\n" + length)])
    seeds["exit-first"] = parser_input([(READ, b"ID_EXIT=EOF\n"), (READ, file_line), (FAILED, b"")])
    seeds["exit-later"] = parser_input([(READ, file_line), (READ, b"ID_EXIT=EOF\n" + sizes), (BOUND, b"")])
    seeds["crlf-and-zero"] = parser_input(
        [(READ, file_line.replace(b"\n", b"\r\n")), (READ, b"ID_VIDEO_WIDTH=0x280\r\n\0ID_LENGTH=1\n"), (READ, b"")])
    seeds["split-marker"] = parser_input([(READ, b"ID_FILE"), (READ, b"NAME=a\n"), (READ, file_line + length)])
    return seeds


def number_seeds():
    texts = [b"640\n", b"640\r\n", b"  +12", b"-17", b"99999999999\n", b"-0x7fffffff\n", b"$ff", b"x1A", b"X1a",
             b"0X10", b"012", b"12abc", b"18446744073709551617", b"\t42", b"--1", b"0x"]
    return {"number-%d" % i: b"\0" + text for i, text in enumerate(texts)}


def mpv_seeds():
    """What real mpv 0.35.1 wrote for a video, an audio file and a file it could not play."""
    reply = b'{"request_id":0,"error":"success"}\n'
    unavailable = b'{"event":"property-change","id":1,"name":"dwidth"}\n'
    video = (reply * 4 + unavailable + b'{"event":"property-change","id":3,"name":"vid","data":"auto"}\n'
             b'{"event":"property-change","id":4,"name":"idle-active","data":false}\n{"event":"file-loaded"}\n'
             b'{"event":"property-change","id":3,"name":"vid","data":1}\n'
             b'{"event":"property-change","id":1,"name":"dwidth","data":640}\n'
             b'{"event":"property-change","id":2,"name":"dheight","data":360}\n')
    audio = reply + b'{"event":"property-change","id":3,"name":"vid","data":false}\n'
    error = (b'{"event":"start-file","playlist_entry_id":1}\n{"event":"end-file","reason":"error",'
             b'"playlist_entry_id":1,"file_error":"unrecognized file format"}\n')
    nested = b'{"event":"property-change","name":"track-list","data":[{"id":1,"title":"a\\"]}"}],"x":-1e5}\n'
    return {"video-1": b"\x00" + video, "video-7": b"\x06" + video, "audio": b"\x00" + audio,
            "error-3": b"\x02" + error, "nested": b"\x00" + nested}


def run(command, **options):
    print("+", " ".join(command), flush=True)
    return subprocess.run(command, **options)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--fuzzer", required=True, choices=FUZZERS)
    parser.add_argument("--seconds", type=int, default=30)
    args = parser.parse_args()
    source, name = os.path.abspath(args.source), args.fuzzer
    work = os.path.join(os.path.abspath(args.work), name)
    for folder in ("corpus", "seeds", "crashes"):
        os.makedirs(os.path.join(work, folder), exist_ok=True)
    binary = build(source, work, name)

    regressions = sorted(glob.glob(os.path.join(source, "tests", "data", "fuzz", name, "*")))
    if regressions:
        if run([binary, "-runs=1"] + regressions).returncode != 0:
            print(f"run_fuzzer: a committed regression input of {name} fails again", file=sys.stderr)
            return 1
        print(f"run_fuzzer: {len(regressions)} regression inputs of {name} replayed, all pass")

    seeds = {"identify_parser": parser_seeds, "identify_number": lambda _: number_seeds(),
             "mpv_identification": lambda _: mpv_seeds()}[name](source)
    for seed, data in seeds.items():
        with open(os.path.join(work, "seeds", seed), "wb") as f:
            f.write(data)
    folders = [os.path.join(work, "corpus"), os.path.join(work, "seeds")]
    folders += [os.path.dirname(regressions[0])] if regressions else []
    dictionary = "mpv.dict" if name.startswith("mpv") else "identify.dict"
    result = run([binary, f"-max_total_time={args.seconds}", "-timeout=10", "-print_final_stats=1",
                  "-dict=" + os.path.join(source, "tests", "fuzz", dictionary),
                  "-artifact_prefix=" + os.path.join(work, "crashes") + os.sep] + folders,
                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    output = result.stdout
    stats = dict(re.findall(r"^stat::(\w+):\s+(\d+)", output, re.M))
    coverage = re.findall(r"cov: (\d+)", output)
    if result.returncode != 0:
        print(output[-6000:])
        crashes = sorted(glob.glob(os.path.join(work, "crashes", "*")), key=os.path.getmtime)
        print(f"run_fuzzer: {name} FAILED; input: {crashes[-1] if crashes else '(none saved)'}", file=sys.stderr)
        print(f"run_fuzzer: copy it into tests/data/fuzz/{name}/ as a regression input", file=sys.stderr)
        return 1
    print(f"run_fuzzer: {name}: {stats.get('number_of_executed_units', '?')} runs in {args.seconds} s, "
          f"coverage {coverage[-1] if coverage else '?'} edges, corpus {stats.get('new_units_added', '?')} new units; "
          f"no crash, no sanitizer report, every property held")
    return 0


if __name__ == "__main__":
    sys.exit(main())
