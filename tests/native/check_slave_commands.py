#!/usr/bin/env python3
"""Runs Debian's real MPlayer natively and headless in slave mode and feeds it every
command the plugin can send it: each key's command, both states of the loop and mute
toggles, the host's full screen ("vo_fullscreen") and the closing "quit". The commands
come from the code itself: the key table and the players' dialects are built natively
into a small program that prints them (tests/native/print_slave_commands.cpp), so this
check follows any change there. (tests/native/check_mpv.py does the same for mpv.)

A command fails when
- the player's own command table (`mplayer -input cmdlist`) does not know its name or
  its arguments do not fit (the player drops an unknown command without a word, so
  its table is the only place that tells), or
- the player complains about it while it plays ("Command seek requires at least 1
  arguments, ...", "... isn't an integer", ...).
The toggles must also do what they mean: "loop 1" makes the player loop for ever,
"loop -1" stops looping, "mute 1" and "mute 0" mute and unmute. Finally "quit" must end
the player by itself, with exit code 0 and "ID_EXIT=QUIT".

First, the same checks are shown to catch commands known to be bad, so that a change in
the player's wording can't make this check pass without looking."""
import argparse
import os
import re
import subprocess
import sys
import threading
import time

# Everything MPlayer prints about a command line it could not take.
COMPLAINT = re.compile(
    rb"^(Command \S+(:| requires at least)|Buffer is too small for command|Received unknown cmd|Invalid command)")
ARGUMENT_PATTERNS = {
    "Integer": re.compile(r"[+-]?\d+"),
    "Float": re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?"),
    "String": re.compile(r".+"),
}
NAME_WIDTH = 20  # the command table prints names cut to this width
SESSION_BOUND_S = 30


def printed_rows(source, work):
    """(player, kind, text) for every line the native printer writes, as the code builds them."""
    printer = os.path.join(work, "print_slave_commands")
    folders = ("plugin/view", "player/settings", "player/reports", "player/shared", "player/mplayer", "player/mpv")
    sources = [os.path.join(source, path) for path in (
        "tests/native/print_slave_commands.cpp", "plugin/view/key_table.cpp", "player/mplayer/mplayer_dialect.cpp",
        "player/mpv/mpv_dialect.cpp", "player/mpv/mpv_messages.cpp", "player/shared/command_line.cpp",
        "player/reports/player_report.cpp")]
    subprocess.run(["c++", "-std=c++20", "-Wall", "-Wextra", "-Werror",
                    *(f"-I{os.path.join(source, folder)}" for folder in folders), *sources, "-o", printer], check=True)
    output = subprocess.run([printer], check=True, capture_output=True, text=True).stdout
    return [tuple(line.split("\t", 2)) for line in output.splitlines()]


def commands_from_key_table(source, work, player="mplayer"):
    """(kind, command) for every command the plugin can send |player|."""
    return [(kind, text) for who, kind, text in printed_rows(source, work) if who == player]


def player_command_table():
    """Name -> list of (type, optional) from the player's own table."""
    listing = subprocess.run(["mplayer", "-noconfig", "all", "-input", "cmdlist"], check=True, capture_output=True,
                             text=True).stdout
    table = {}
    for line in listing.splitlines():
        words = line.split()
        if words:
            table[words[0]] = [(w.strip("[]"), w.startswith("[")) for w in words[1:]]
    return table


def table_complaint(command, table):
    """Why the player's table rejects |command|, or None."""
    # The prefix that keeps the player's pause as it is comes before any command.
    name, *arguments = command.removeprefix("pausing_keep_force ").split()
    signature = table.get(name) if len(name) <= NAME_WIDTH else table.get(name[:NAME_WIDTH])
    if signature is None:
        return f"the player has no command {name!r}"
    required = sum(1 for _, optional in signature if not optional)
    if not required <= len(arguments) <= len(signature):
        return f"{name!r} takes {required} to {len(signature)} arguments, not {len(arguments)}"
    for position, (argument, (kind, _)) in enumerate(zip(arguments, signature), 1):
        pattern = ARGUMENT_PATTERNS.get(kind)
        if pattern is None or not pattern.fullmatch(argument):
            return f"argument {position} of {name!r} ({argument!r}) is not a {kind}"
    return None


class PlayerSession:
    """One real player in slave mode on |sample|, headless; its output collected."""

    def __init__(self, sample):
        # -idle keeps the player up should the short sample end; -noconfig: no user settings.
        self.process = subprocess.Popen(
            ["mplayer", "-noconfig", "all", "-quiet", "-slave", "-identify", "-idle", "-vo", "null", "-ao", "null",
             sample], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip(b"\r\n"))

    def send(self, command):
        self.process.stdin.write(command.encode("ascii") + b"\n")
        self.process.stdin.flush()

    def output(self):
        with self.lock:
            return list(self.lines)

    def wait_for_answers(self, count, bound_s=SESSION_BOUND_S):
        """The first |count| answer lines ("ANS_..."), once they have all come."""
        end = time.monotonic() + bound_s
        while time.monotonic() < end:
            answers = [line for line in self.output() if line.startswith(b"ANS_")]
            if len(answers) >= count:
                return answers[:count]
            time.sleep(0.02)
        raise TimeoutError(f"the player answered {len(answers)} of {count} questions")

    def wait_for_exit(self, bound_s=10):
        try:
            code = self.process.wait(timeout=bound_s)
        except subprocess.TimeoutExpired:
            code = None
        self.close()
        return code

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdin.close()
        self.reader.join(timeout=5)

    def complaints(self):
        return [line.decode("latin-1") for line in self.output() if COMPLAINT.match(line)]


def calibrate(table, sample):
    """The checks see what they are meant to see: bad commands are caught by both."""
    failures = []
    for bad in ("no_such_command", "seek", "loop x", "mute 1 2 3"):
        if table_complaint(bad, table) is None:
            failures.append(f"calibration: the command table check let {bad!r} through")
    player = PlayerSession(sample)
    try:
        player.send("seek")
        player.send("loop")
        player.send("get_property loop")
        player.wait_for_answers(1)
    finally:
        player.close()
    complaints = player.complaints()
    if len(complaints) != 2:
        failures.append(f"calibration: expected the player's complaints about 'seek' and 'loop', saw {complaints}")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the repository")
    parser.add_argument("--work", required=True, help="a folder for the samples and the command printer")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)

    rows = commands_from_key_table(args.source, args.work)
    by_kind = {}
    for kind, command in rows:
        by_kind.setdefault(kind, []).append(command)
    for kind in ("key", "quit", "loop-on", "loop-off", "mute-on", "mute-off", "fullscreen", "close"):
        if kind not in by_kind:
            print(f"FAIL: the key table printed no {kind!r} command")
            return 1
    if by_kind["fullscreen"] != ["vo_fullscreen"]:
        print(f"FAIL: the host's full screen sends {by_kind['fullscreen']}, not \"vo_fullscreen\"")
        return 1
    quit_commands = set(by_kind["quit"]) | set(by_kind["close"])
    if quit_commands != {"quit"}:
        print(f"FAIL: the quit key and the close send {sorted(quit_commands)}, not \"quit\"")
        return 1
    loop_on, loop_off = by_kind["loop-on"][0], by_kind["loop-off"][0]
    mute_on, mute_off = by_kind["mute-on"][0], by_kind["mute-off"][0]
    plain = list(dict.fromkeys(by_kind["key"] + by_kind["fullscreen"]))
    asks = by_kind.get("ask", [])
    if [line.split()[-1] for line in asks] != ["volume", "mute"]:
        print(f"FAIL: the question after a volume change is {asks}, not the volume's and the mute's")
        return 1
    # The typed characters' last: the next audio track turns the sound off a one-track sample.
    characters = by_kind.get("character", [])
    every = plain + asks + [loop_on, loop_off, mute_on, mute_off] + characters + ["quit"]

    subprocess.run([os.path.join(args.source, "tools", "make-samples"), os.path.join(args.work, "samples")],
                   check=True, stdout=subprocess.DEVNULL)
    sample = os.path.join(args.work, "samples", "sample-320x240.mp4")
    table = player_command_table()
    failures = calibrate(table, sample)

    for command in every:
        complaint = table_complaint(command, table)
        if complaint:
            failures.append(f"{command!r}: {complaint}")

    # Looping on first, so that the two-second sample plays on through the seeks.
    player = PlayerSession(sample)
    expected_answers = []
    try:
        def ask(command, answer):
            player.send(command)
            expected_answers.append(answer)

        player.send(loop_on)
        ask("get_property loop", b"ANS_loop=0")  # 0: for ever
        # The question, as it is asked: its answers name the level and the muting.
        player.send("volume 50 1")
        ask(asks[0], b"ANS_volume=50.000000")
        ask(asks[1], b"ANS_mute=no")
        for command in plain:
            player.send(command)
        player.send(mute_on)
        ask("get_property mute", b"ANS_mute=yes")
        player.send(mute_off)
        ask("get_property mute", b"ANS_mute=no")
        player.send(loop_off)
        ask("get_property loop", b"ANS_loop=-1")  # -1: no looping, as the player starts
        player.send(loop_on)
        ask("get_property loop", b"ANS_loop=0")
        for command in characters:
            player.send(command)
        answers = player.wait_for_answers(len(expected_answers))
        player.send("quit")
        exit_code = player.wait_for_exit()
    finally:
        player.close()

    for question, (answer, expected) in enumerate(zip(answers, expected_answers), 1):
        if answer != expected:
            failures.append(f"toggle check {question}: the player answered {answer!r}, expected {expected!r}")
    for complaint in player.complaints():
        failures.append(f"the player complained: {complaint}")
    if exit_code != 0:
        failures.append(f"\"quit\" did not end the player with code 0 (code {exit_code})")
    if b"ID_EXIT=QUIT" not in player.output():
        failures.append("the player did not report ID_EXIT=QUIT")

    for command in every:
        print(f"{'FAIL' if any(f.startswith(repr(command)) for f in failures) else 'ok  '} {command}")
    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"{len(every)} commands fed to the real player, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
