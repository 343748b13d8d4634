#!/usr/bin/env python3
"""Runs Debian's real mpv natively and headless and checks what the plugin relies on
when it drives mpv (player/mpv/mpv_dialect.cpp), with what the plugin's own code composes
(tests/native/print_slave_commands.cpp prints it):
- the command line: mpv takes every option the plugin passes, spelled as it spells
  them, and an option it does not know ends it with exit code 1 (what an mpv older than
  its control pipe does with --input-ipc-server);
- the identification: the plugin's requests and its reading of the answers
  (tests/native/mpv_identify.cpp) against the live player, for each sample: a video's
  display size, an audio file playable without a size, a file mpv cannot play rejected
  (by its end-file error, or by its exit code 2);
- the commands: each key's, both states of the loop and mute toggles and the close's
  "quit": mpv takes each without a complaint, and each does what it means, read back
  from mpv's own properties (a seek moves time-pos by its seconds, ...); the host's full
  screen is the plugin's own (no command), and "quit" ends mpv with exit code 0.
Calibration first: commands known to be bad must draw complaints, so that a change in
mpv's wording can't make this check pass without looking. Exits 77 (skipped) without mpv."""
import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_slave_commands import printed_rows  # noqa: E402

COMPLAINT = re.compile(r"^(\[input\]|\[ipc\]|Invalid value|Error parsing|.*[Pp]roperty .* not found|Failed)")
BOUND_S = 15
SEEK_TOLERANCE_S = 2.5  # relative seeks land on key frames, one a second in the sample
EXPECTED_SIZES = {
    "long-640x360.mkv": (640, 360), "sample-640x480.avi": (640, 480), "sample-320x240.mp4": (320, 240),
    "damaged-640x360.avi": (640, 360), "audio-only.mp4": (0, 0), "corrupt.avi": (-1, -1), "truncated.mp4": (-1, -1),
}


class Mpv:
    """One real mpv with the plugin's command line (and headless outputs), its output collected."""

    def __init__(self, line, sample, work, extra=("--vo=null", "--ao=null")):
        self.socket_path = os.path.join(work, f"mpv-{os.getpid()}-{time.monotonic_ns()}.sock")
        words = line.split(" ")
        arguments = ["mpv", *extra]
        for word in words[1:]:
            arguments.append(word.replace("PIPE", self.socket_path) if word != "FILE" else sample)
        self.arguments = arguments
        self.process = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, env=dict(os.environ, HOME=work,
                                                                           XDG_CONFIG_HOME=work))
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()
        self.client = None
        self.reader = None

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.decode("utf-8", "replace").rstrip("\r\n").replace("\x1b[K", ""))

    def output(self):
        with self.lock:
            return list(self.lines)

    def complaints(self):
        return [line for line in self.output() if COMPLAINT.match(line)]

    def connect(self):
        end = time.monotonic() + BOUND_S
        while self.client is None and time.monotonic() < end and self.process.poll() is None:
            try:
                self.client = socket.socket(socket.AF_UNIX)
                self.client.connect(self.socket_path)
                self.reader = self.client.makefile("rb")
            except OSError:
                self.client = None
                time.sleep(0.01)
        if self.client is None:
            raise RuntimeError("mpv served no control socket: " + " ".join(self.output()[-5:]))

    def send(self, line):
        self.client.sendall(line.encode("ascii") + b"\n")

    def ask(self, *command):
        """The reply to one JSON command of the check's own."""
        request = int(time.monotonic_ns() % 1000000000)
        self.send(json.dumps({"command": list(command), "request_id": request}))
        while True:
            line = self.reader.readline()
            if not line:
                raise RuntimeError("mpv closed its socket")
            message = json.loads(line)
            if message.get("request_id") == request:
                return message

    def get(self, name):
        return self.ask("get_property", name).get("data")

    def wait_exit(self, bound_s=BOUND_S):
        try:
            return self.process.wait(timeout=bound_s)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None


def build(source, work, name, sources):
    binary = os.path.join(work, name)
    subprocess.run(["c++", "-std=c++20", "-Wall", "-Wextra", "-Werror", "-I", os.path.join(source, "player", "mpv"),
                    "-I", os.path.join(source, "player", "shared"), "-I", os.path.join(source, "player", "settings"),
                    "-I", os.path.join(source, "player", "reports"),
                    *sources, "-o", binary], check=True)
    return binary


def check_identification(line, samples, work, identify, failures):
    for name, expected in EXPECTED_SIZES.items():
        mpv = Mpv(line, os.path.join(samples, name), work)
        answer = subprocess.run([identify, mpv.socket_path], capture_output=True, text=True, timeout=30).stdout.split()
        width, height, how = int(answer[0]), int(answer[1]), answer[2]
        if mpv.process.poll() is None:
            try:
                mpv.connect()
                mpv.send("quit")
            except (RuntimeError, OSError):
                pass  # it was ending by itself (a file it cannot play)
        code = mpv.wait_exit()
        # As the plugin does: mpv gone with exit code 2 could not play the file.
        if how in ("ended", "no-socket") and code == 2:
            width, height = -1, -1
        elif how == "no-socket":
            failures.append(f"identification of {name}: mpv never served its socket")
        print(f"{'ok  ' if (width, height) == expected else 'FAIL'} identification {name}: {width} x {height} "
              f"({how}), exit code {code}")
        if (width, height) != expected:
            failures.append(f"identification of {name}: {width} x {height}, expected {expected}")
        if code != (2 if expected == (-1, -1) else 0):
            failures.append(f"{name}: mpv ended with exit code {code}")


def check_seek(mpv, command, seconds):
    """Pauses at a place where the seek stays within the sample, seeks, and tells how far it went."""
    mpv.ask("set_property", "pause", True)
    base = 20.0 if seconds > 0 else 65.0
    mpv.ask("seek", base, "absolute+exact")
    time.sleep(0.3)
    before = mpv.get("time-pos")
    mpv.send(command)
    time.sleep(0.5)
    after = mpv.get("time-pos")
    return None if abs(after - before - seconds) <= SEEK_TOLERANCE_S else f"time-pos {before:.2f} -> {after:.2f}"


def check_step(mpv, name, step, command):
    """A command that must change property |name| by |step| (a number) or to |step| (anything else)."""
    before = mpv.get(name)
    mpv.send(command)
    time.sleep(0.3)
    after = mpv.get(name)
    if isinstance(step, (int, float)) and not isinstance(step, bool):
        return None if abs(after - before - step) < 1e-6 else f"{name} {before} -> {after}"
    return None if after == step else f"{name} {before!r} -> {after!r}"


def check_commands(rows, line, samples, work, failures):
    by_kind = {}
    for kind, command in rows:
        by_kind.setdefault(kind, []).append(command)
    mpv = Mpv(line, os.path.join(samples, "long-640x360.mkv"), work)
    mpv.connect()
    # Calibration: the complaints are seen.
    for bad in ("no-such-command", "seek", "add volume x"):
        mpv.send(bad)
    mpv.get("pause")
    time.sleep(0.3)
    if len(mpv.complaints()) < 3:
        failures.append(f"calibration: expected complaints about three bad commands, saw {mpv.complaints()}")
    complaints_before = len(mpv.complaints())

    checks = []  # (command, why it failed or None)
    for command in by_kind["key"] + by_kind.get("character", []):
        words = command.split()
        if command == "cycle pause":
            before = mpv.get("pause")
            mpv.send(command)
            time.sleep(0.3)
            checks.append((command, None if mpv.get("pause") == (not before) else "pause did not change"))
        elif words[0] == "seek":
            checks.append((command, check_seek(mpv, command, float(words[1]))))
        elif words[:1] == ["add"]:
            checks.append((command, check_step(mpv, words[1], float(words[2]), command)))
        elif words[:1] == ["multiply"]:
            before = mpv.get(words[1])
            expected = before * float(words[2])
            checks.append((command, check_step(mpv, words[1], expected - before, command)))
        elif words[:1] == ["set"]:
            mpv.send(command)
            time.sleep(0.3)
            value = mpv.get(words[1])
            checks.append((command, None if value == float(words[2]) else f"{words[1]} is {value}"))
        elif words[0] in ("frame-step", "frame-back-step"):
            # One frame, and mpv holds it paused.
            mpv.send(command)
            time.sleep(0.3)
            checks.append((command, None if mpv.get("pause") is True else "not paused after the step"))
        else:
            mpv.send(command)  # show-progress: shown on the picture only
            mpv.get("pause")
            checks.append((command, None))
    for kind, name, value in (("loop-on", "loop-file", "inf"), ("loop-off", "loop-file", False),
                              ("mute-on", "mute", True), ("mute-off", "mute", False),
                              ("loop-on", "loop-file", "inf")):
        checks.append((by_kind[kind][0], check_step(mpv, name, value, by_kind[kind][0])))
    if by_kind["fullscreen"] != [""]:
        failures.append(f"the host's full screen sends mpv {by_kind['fullscreen']}: mpv ignores it in --wid mode")
    if set(by_kind["quit"]) | set(by_kind["close"]) != {"quit"}:
        failures.append(f"the quit key and the close send {by_kind['quit'] + by_kind['close']}, not \"quit\"")
    mpv.send("quit")
    code = mpv.wait_exit()
    complaints = mpv.complaints()[complaints_before:]
    for command, why in checks:
        print(f"{'ok  ' if why is None else 'FAIL'} {command}" + (f": {why}" if why else ""))
        if why:
            failures.append(f"{command!r}: {why}")
    print(f"{'ok  ' if code == 0 else 'FAIL'} quit: exit code {code}")
    if code != 0 or "Exiting... (Quit)" not in mpv.output():
        failures.append(f"\"quit\" did not end mpv with code 0 (code {code})")
    for complaint in complaints:
        failures.append(f"mpv complained: {complaint}")
    return len(checks) + 1


def check_options(line, samples, work, failures):
    """mpv takes the plugin's options; an unknown one ends it with exit code 1 at once."""
    mpv = Mpv(line, os.path.join(samples, "audio-only.mp4"), work)
    code = mpv.wait_exit()
    refused = [text for text in mpv.output() if "Error parsing" in text or "not found" in text]
    print(f"{'ok  ' if code == 0 and not refused else 'FAIL'} options: {' '.join(mpv.arguments[3:-2])}")
    if code != 0 or refused:
        failures.append(f"mpv refused the plugin's command line (exit code {code}): {refused}")
    unknown = Mpv(line, os.path.join(samples, "audio-only.mp4"), work, extra=("--no-such-option=1", "--vo=null"))
    code = unknown.wait_exit()
    print(f"{'ok  ' if code == 1 else 'FAIL'} an unknown option: exit code {code}")
    if code != 1:
        failures.append(f"an unknown option ended mpv with exit code {code}, not 1")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the repository")
    parser.add_argument("--work", required=True, help="a folder for the samples and the programs built")
    args = parser.parse_args()
    if shutil.which("mpv") is None:
        print("SKIP: mpv is not installed (tools/setup installs it)")
        return 77
    os.makedirs(args.work, exist_ok=True)
    rows = [(kind, text) for player, kind, text in printed_rows(args.source, args.work) if player == "mpv"]
    line = next(text for kind, text in rows if kind == "command-line")
    identify = build(args.source, args.work, "mpv_identify",
                     [os.path.join(args.source, path) for path in (
                         "tests/native/mpv_identify.cpp", "player/mpv/mpv_dialect.cpp", "player/mpv/mpv_messages.cpp",
                         "player/shared/command_line.cpp", "player/reports/player_report.cpp")])
    samples = os.path.join(args.work, "samples")
    subprocess.run([os.path.join(args.source, "tools", "make-samples"), samples], check=True,
                   stdout=subprocess.DEVNULL)
    print(f"mpv: {subprocess.run(['mpv', '--version'], capture_output=True, text=True).stdout.splitlines()[0]}")
    print(f"the plugin's command line: {line}")
    failures = []
    with tempfile.TemporaryDirectory(prefix="reelpane-mpv-") as work:
        check_options(line, samples, work, failures)
        check_options(next(text for kind, text in rows if kind == "command-line-sound"), samples, work, failures)
        check_identification(line, samples, work, identify, failures)
        count = check_commands(rows, line, samples, work, failures)
    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"{count} commands and {len(EXPECTED_SIZES)} identifications tried on the real mpv, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
