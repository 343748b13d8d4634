"""Debian's real players writing a video's frame natively, with exactly the command
lines the plugin gives them for a thumbnail: tests/native/print_frame_commands.cpp,
built here from the plugin's own code, prints them. Shared by tools/bench and
tests/end_to_end/run-real-thumbnails."""
import os
import shlex
import shutil
import subprocess
import tempfile
import time

FRAME_NAME = "00000001.png"  # as both players name their first image


class NativeFrames:
    def __init__(self, source, work):
        self.work = work
        os.makedirs(work, exist_ok=True)
        # As tools/relay-native runs the players: no user settings, English messages.
        home = os.path.join(work, "home")
        os.makedirs(os.path.join(home, ".mplayer"), exist_ok=True)
        open(os.path.join(home, ".mplayer", "config"), "ab").close()
        self.env = dict(os.environ, HOME=home, LC_ALL="C.UTF-8")
        self.printer = os.path.join(work, "print_frame_commands")
        player = os.path.join(source, "player")
        subprocess.run(["c++", "-std=c++20", "-Wall", "-Wextra", "-Werror", "-I", player,
                        os.path.join(source, "tests", "native", "print_frame_commands.cpp")] +
                       [os.path.join(player, name)
                        for name in ("frame_command.cpp", "command_line.cpp", "identify_parser.cpp", "mpv_dialect.cpp",
                                     "mpv_messages.cpp")] +
                       ["-o", self.printer], check=True)

    def command(self, kind, player, folder, video, probe_output=b""):
        """The plugin's command line as arguments; None when it would ask for no frame."""
        printed = subprocess.run([self.printer, kind, player, folder, video], input=probe_output,
                                 capture_output=True, check=False)
        if printed.returncode != 0:
            return None
        return shlex.split(printed.stdout.decode().strip())

    def run(self, arguments):
        """Runs a player to its end; (its output, the seconds it took)."""
        started = time.monotonic()
        result = subprocess.run(arguments, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=60, check=False)
        return result.stdout, time.monotonic() - started

    def frame(self, player, video, keep=None):
        """|player| ("mplayer" or "mpv") writes |video|'s frame as the plugin has it do:
        (the frame moved to |keep|, or None when it wrote none; the seconds the player's
        runs took together, MPlayer's probe included)."""
        folder = tempfile.mkdtemp(prefix=player + "-", dir=self.work)
        seconds = 0.0
        if player == "mpv":
            arguments = self.command("mpv", "mpv", folder, video)
        else:
            probe, seconds = self.run(self.command("mplayer-probe", "mplayer", folder, video))
            arguments = self.command("mplayer-frame", "mplayer", folder, video, probe)
        if arguments is not None:
            seconds += self.run(arguments)[1]
        written = os.path.join(folder, FRAME_NAME)
        kept = None
        if keep is not None and os.path.exists(written):
            shutil.move(written, keep)
            kept = keep
        shutil.rmtree(folder)
        return kept, seconds
