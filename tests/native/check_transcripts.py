#!/usr/bin/env python3
"""Runs Debian's real MPlayer natively on freshly made samples and checks that the
committed transcripts still hold the identification lines it prints, so that a
change in the player's output is noticed. To accept a change, rerun
tools/capture-transcripts SAMPLES tests/data/transcripts and review the diff.

Only the "ID_" lines printed before playback starts are compared: what follows
depends on when the player reads its "quit"."""
import argparse
import difflib
import os
import shutil
import subprocess
import sys

PLAYBACK_STARTS = b"Starting playback..."


def identification_lines(transcript):
    lines = []
    for line in transcript.split(b"\n"):
        line = line.rstrip(b"\r")
        if line == PLAYBACK_STARTS:
            break
        if line.startswith(b"ID_"):
            lines.append(line)
    return lines


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tools", required=True, help="the repository's tools folder")
    parser.add_argument("--committed", required=True, help="the committed transcripts")
    parser.add_argument("--work", required=True, help="a folder for samples and fresh transcripts")
    args = parser.parse_args()

    # Made afresh every time: a sample left from an older make-samples would hide a change.
    shutil.rmtree(args.work, ignore_errors=True)
    samples = os.path.join(args.work, "samples")
    fresh = os.path.join(args.work, "transcripts")
    subprocess.run([os.path.join(args.tools, "make-samples"), samples], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(args.tools, "capture-transcripts"), samples, fresh], check=True,
                   stdout=subprocess.DEVNULL)

    failures = []
    committed_names = set(os.listdir(args.committed))
    fresh_names = set(os.listdir(fresh))
    for name in sorted(fresh_names - committed_names):
        failures.append(f"{name}: no committed transcript for this sample")
    for name in sorted(committed_names - fresh_names):
        failures.append(f"{name}: committed, but no sample makes it any more")
    for name in sorted(committed_names & fresh_names):
        expected = identification_lines(read(os.path.join(args.committed, name)))
        actual = identification_lines(read(os.path.join(fresh, name)))
        if not expected:
            # Every sample, even one the player rejects, yields at least its exit line.
            failures.append(f"{name}: the committed transcript holds no identification lines")
        if expected != actual:
            diff = difflib.unified_diff([line.decode(errors="replace") for line in expected],
                                        [line.decode(errors="replace") for line in actual],
                                        "committed", "player now", lineterm="", n=0)
            failures.append(f"{name}: identification lines differ\n" + "\n".join(diff))
        else:
            print(f"{name}: identification lines match ({len(actual)})")

    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
