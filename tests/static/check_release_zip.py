#!/usr/bin/env python3
"""Unpacks the release zip as Total Commander's plugin installer would and checks
what a user gets: exactly the five files, flat; a pluginst.inf the installer
accepts; plugin files byte-identical to the ones the tests ran, each carrying the
release's version; sample settings that document every key and view-size word and
can never overwrite the user's own reelpane.ini; a readme for users."""
import argparse
import pathlib
import re
import sys
import tempfile
import zipfile

ENTRIES = ["reelpane.wlx", "reelpane.wlx64", "pluginst.inf", "reelpane.sample.ini", "readme.txt"]
KEYS = ["MPlayer_path", "MPlayer_params", "View_Size", "MPlayer_path_x64", "Player", "Thumbnails", "Remember_volume",
        "Wheel", "At_end", "Start_paused"]
VIEW_SIZES = ["normal", "double", "scale_height", "scale_width", "smart"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def windows_text(name, data):
    """Text a user opens in Notepad: ASCII, CRLF line ends only, no BOM."""
    check(all(b < 0x80 for b in data), f"{name}: not plain ASCII")
    check(b"\n" not in data.replace(b"\r\n", b""), f"{name}: a line end that is not CRLF")
    check(b"\r" not in data.replace(b"\r\n", b""), f"{name}: a stray carriage return")
    return data.decode("ascii", errors="replace")


def ini_sections(text):
    """Sections and their key=value lines, as GetPrivateProfileString sees them
    (lines starting with ';' can never match a key of ours)."""
    sections, current = {}, None
    for line in text.split("\r\n"):
        stripped = line.strip()
        if not stripped or stripped.startswith(";"):
            continue
        match = re.fullmatch(r"\[([^\]]*)\]", stripped)
        if match:
            current = sections.setdefault(match.group(1), {})
        elif "=" in stripped and current is not None:
            key, value = stripped.split("=", 1)
            check(key.strip() not in current, f"key {key.strip()} given twice")
            current[key.strip()] = value.strip()
        else:
            failures.append(f"ini line outside any section or without '=': {line!r}")
    return sections


def resource_string(data, name):
    """A value of the version resource's string table."""
    key = (name + "\0").encode("utf-16-le")
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    while data[at:at + 2] == b"\0\0":  # padding to the value
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def fixed_file_version(data):
    at = data.find((0xFEEF04BD).to_bytes(4, "little"))
    if at < 0:
        return None
    ms = int.from_bytes(data[at + 8:at + 12], "little")
    ls = int.from_bytes(data[at + 12:at + 16], "little")
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def check_plugin_file(name, unpacked, built, version):
    data = unpacked.read_bytes()
    check(data == built.read_bytes(), f"{name} in the zip differs from the tested {built}")
    check(fixed_file_version(data) == version, f"{name}: fixed file version {fixed_file_version(data)}")
    for field in ("FileVersion", "ProductVersion"):
        check(resource_string(data, field) == version, f"{name}: {field} {resource_string(data, field)!r}")


def check_inf(text, version):
    sections = ini_sections(text)
    check(list(sections) == ["plugininstall"], f"pluginst.inf sections: {list(sections)}")
    install = sections.get("plugininstall", {})
    check(install.get("type") == "wlx", f"pluginst.inf type={install.get('type')}")
    # The 64-bit file manager installs the file of this name with "64" appended.
    check(install.get("file") == "reelpane.wlx", f"pluginst.inf file={install.get('file')}")
    check(install.get("defaultdir") == "reelpane", f"pluginst.inf defaultdir={install.get('defaultdir')}")
    description = install.get("description", "")
    check("reelpane" in description and version in description,
          f"pluginst.inf description={description!r} lacks the name or version {version}")


def check_sample_settings(text):
    sections = ini_sections(text)
    check(list(sections) == ["config"], f"sample settings sections: {list(sections)}")
    config = sections.get("config", {})
    # MPlayer_path is left out: the plugin finds the player itself (VLC installed, or one next to it).
    check(sorted(config) == sorted(k for k in KEYS if k != "MPlayer_path"), f"sample settings keys: {sorted(config)}")
    check(";MPlayer_path=" in text, "sample settings: MPlayer_path is not there to uncomment")
    params = config.get("MPlayer_params", "")
    check(params == "" or re.fullmatch(r'" -.*"', params) is not None,
          f"MPlayer_params={params}: needs its leading blank, inside double quotes")
    check(config.get("View_Size") in VIEW_SIZES, f"View_Size={config.get('View_Size')}")
    check(config.get("Thumbnails") != "0", "Thumbnails=0: the sample turns the thumbnails off")
    comments = "\n".join(line for line in text.split("\r\n") if line.lstrip().startswith(";"))
    for key in KEYS:
        check(re.search(rf"\b{key}:", comments) is not None, f"sample settings: {key} is not explained")
    for word in VIEW_SIZES:
        check(re.search(rf"^;\s+{word}\s", comments, re.M) is not None,
              f"sample settings: view size {word} is not explained")
    for topic in ("%VARIABLES%", "plugin folder", "double quotes", "reelpane.ini", r"MPlayer_path=mpv\mpv.exe",
                  "0.17", "Player=mpv", "Player=vlc", r"vlc\vlc.exe", r"HKLM\SOFTWARE\VideoLAN\VLC", "PATH"):
        check(topic in comments, f"sample settings do not mention {topic}")
    check(config.get("Player") == "", f"Player={config.get('Player')}: the program's name decides by default")


def check_readme(text, version):
    check(version in text, "readme.txt does not name the version")
    for topic in ("reelpane.sample.ini", "reelpane.ini", "mplayer.exe", "Cannot create process", "Upgrading",
                  "View_Size", "Windows only", "mpv.exe", r"MPlayer_path=mpv\mpv.exe", "0.17",
                  "did not open its control pipe", "VLC", "127.0.0.1", "did not open its remote control"):
        check(topic in text, f"readme.txt does not mention {topic}")
    for word in VIEW_SIZES:
        check(word in text, f"readme.txt does not explain {word}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True, type=pathlib.Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--x64", required=True, type=pathlib.Path)
    parser.add_argument("--x86", required=True, type=pathlib.Path)
    args = parser.parse_args()

    check(args.zip.name == f"reelpane-{args.version}.zip", f"zip name {args.zip.name}")
    with zipfile.ZipFile(args.zip) as archive, tempfile.TemporaryDirectory() as folder:
        names = archive.namelist()
        print(f"{args.zip.name}:")
        for info in archive.infolist():
            print(f"  {info.file_size:>9}  {info.filename}")
        check(sorted(names) == sorted(ENTRIES), f"zip holds {names}, wants {ENTRIES}")
        # Installing over an older version must leave the user's settings alone.
        check("reelpane.ini" not in names, "the zip holds reelpane.ini: an upgrade would overwrite the user's")
        check(archive.testzip() is None, "a damaged zip entry")
        archive.extractall(folder)
        unpacked = pathlib.Path(folder)
        for name in ENTRIES:
            if not (unpacked / name).is_file():
                failures.append(f"{name} missing from the zip")
        if not failures:
            check_plugin_file("reelpane.wlx64", unpacked / "reelpane.wlx64", args.x64, args.version)
            check_plugin_file("reelpane.wlx", unpacked / "reelpane.wlx", args.x86, args.version)
            read = lambda name: windows_text(name, (unpacked / name).read_bytes())
            check_inf(read("pluginst.inf"), args.version)
            check_sample_settings(read("reelpane.sample.ini"))
            check_readme(read("readme.txt"), args.version)

    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
