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
# The thumbnail's box by default: the thumbnail view's usual 160 x 120.
BOX = (160, 120)


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
        folders = ("player/settings", "player/reports", "player/shared", "player/mplayer", "player/mpv")
        sources = ("tests/native/print_frame_commands.cpp", "player/mplayer/frame_command.cpp",
                   "player/mplayer/identify_parser.cpp", "player/shared/command_line.cpp", "player/mpv/mpv_dialect.cpp",
                   "player/mpv/mpv_messages.cpp", "player/reports/player_report.cpp")
        subprocess.run(["c++", "-std=c++20", "-Wall", "-Wextra", "-Werror"] +
                       [f"-I{os.path.join(source, folder)}" for folder in folders] +
                       [os.path.join(source, path) for path in sources] + ["-o", self.printer], check=True)

    def command(self, kind, player, folder, video, box, params, probe_output=b""):
        """The plugin's command line as arguments; None when it would ask for no frame."""
        printed = subprocess.run([self.printer, kind, player, folder, video, str(box[0]), str(box[1]), params],
                                 input=probe_output, capture_output=True, check=False)
        if printed.returncode != 0:
            return None
        # Split as the plugin's command line is read on Windows: blanks outside
        # double quotes separate, and a backslash is a backslash.
        lexer = shlex.shlex(printed.stdout.decode().strip(), posix=True)
        lexer.whitespace_split = True
        lexer.escape = ""
        return list(lexer)

    def run(self, arguments, folder, timeout=60):
        """Runs a player to its end in |folder|, as the plugin does; (its output, the seconds it took).
        Raises subprocess.TimeoutExpired for a player still running after |timeout| seconds."""
        started = time.monotonic()
        result = subprocess.run(arguments, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=timeout, check=False, cwd=folder)
        return result.stdout, time.monotonic() - started

    def frame(self, player, video, keep=None, box=BOX, params="", timeout=60):
        """|player| ("mplayer" or "mpv") writes |video|'s frame for a thumbnail of at most
        |box|, with |params| as the user's MPlayer_params, as the plugin has it do: (the
        frame moved to |keep|, or None when it wrote none; the seconds the player's runs
        took together, MPlayer's probe included). Each run is given |timeout| seconds."""
        folder = tempfile.mkdtemp(prefix=player + "-", dir=self.work)
        seconds = 0.0
        if player == "mpv":
            arguments = self.command("mpv", "mpv", folder, video, box, params)
        else:
            probe, seconds = self.run(self.command("mplayer-probe", "mplayer", folder, video, box, params), folder,
                                      timeout)
            arguments = self.command("mplayer-frame", "mplayer", folder, video, box, params, probe)
        if arguments is not None:
            seconds += self.run(arguments, folder, timeout)[1]
        written = os.path.join(folder, FRAME_NAME)
        kept = None
        if keep is not None and os.path.exists(written):
            shutil.move(written, keep)
            kept = keep
        shutil.rmtree(folder)
        return kept, seconds
