#!/usr/bin/env python3
"""Packs the SDK folders for hand-over. Per architecture:
  vorlane-VERSION-ARCH-station.zip  what a station runs: Vorlane.dll,
      vorlane-cli.exe, vorlane-viewer.exe and a short readme; never the
      virtual card, .debug files or import libraries;
  vorlane-VERSION-ARCH-sdk.zip      the whole SDK folder.
Each zip holds SHA256SUMS, the SHA-256 of every other file in it, and
SHA256SUMS beside the zips lists the zips.
Usage: package.py DIST_DIR OUT_DIR [ARCH...]   (ARCH: win32 win64 by default)"""
import hashlib
import os
import re
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
STATION_README = os.path.join(HERE, "station-readme.txt")
# The station's files, as the SDK's bin/ holds them.
STATION_PROGRAMS = ("Vorlane.dll", "vorlane-cli.exe", "vorlane-viewer.exe")
SUMS = "SHA256SUMS"


def sdk_version(sdk):
    """The version the SDK's CMake package gives, its one source."""
    path = os.path.join(sdk, "lib", "cmake", "Vorlane", "VorlaneConfigVersion.cmake")
    with open(path, encoding="utf-8") as f:
        match = re.search(r'set\(PACKAGE_VERSION "([^"]+)"\)', f.read())
    if not match:
        raise SystemExit(f"package: no version in {path}")
    return match.group(1)


def sdk_files(sdk):
    """Every file of the SDK folder: (name inside the zip, path), in name order."""
    found = []
    for folder, _, names in os.walk(sdk):
        for name in names:
            path = os.path.join(folder, name)
            found.append((os.path.relpath(path, sdk).replace(os.sep, "/"), path))
    return sorted(found)


def sums_text(entries):
    """sha256sum's format, which `sha256sum -c` reads back."""
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in entries)


def write_zip(path, top, entries):
    """entries: (name, bytes). All under the folder `top`, SHA256SUMS last."""
    entries = list(entries) + [(SUMS, sums_text(entries).encode("ascii"))]
    temporary = path + ".part"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(f"{top}/{name}", data)
    os.replace(temporary, path)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    dist, out = argv[1], argv[2]
    archs = argv[3:] or ["win32", "win64"]
    os.makedirs(out, exist_ok=True)
    made = []
    for arch in archs:
        sdk = os.path.join(dist, arch)
        version = sdk_version(sdk)
        # Notepad on older Windows shows only CR LF line ends.
        readme = read(STATION_README).decode("utf-8").replace("\n", "\r\n")
        bits = "32-bit" if arch == "win32" else "64-bit"
        for field, value in (("@ARCH@", arch), ("@VERSION@", version), ("@BITS@", bits)):
            readme = readme.replace(field, value)
        readme = readme.encode("utf-8")
        station = [(name, read(os.path.join(sdk, "bin", name))) for name in STATION_PROGRAMS]
        station.append(("README.txt", readme))
        for kind, entries in (("station", station),
                              ("sdk", [(name, read(path)) for name, path in sdk_files(sdk)])):
            top = f"vorlane-{version}-{arch}-{kind}"
            write_zip(os.path.join(out, top + ".zip"), top, entries)
            made.append(top + ".zip")
    with open(os.path.join(out, SUMS), "w", encoding="ascii") as f:
        f.write(sums_text((name, read(os.path.join(out, name))) for name in made))
    for name in made:
        print(os.path.join(out, name))


if __name__ == "__main__":
    main(sys.argv)
