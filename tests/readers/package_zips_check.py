#!/usr/bin/env python3
"""The zips `./run package` makes, opened as a station's installer would:
installs this build into a scratch folder, packs it with scripts/package.py
and checks that
  - the station zip holds exactly the three programs, the readme and
    SHA256SUMS: no virtual card (by name, nor any DLL or program exporting
    the virtual card's Vc functions), no .debug, no import library;
  - the SDK zip holds every file of the installed SDK, the virtual card too
    (which also shows that the Vc check finds it);
  - each SHA256SUMS lists every other file of its zip with its digest.
Usage: package_zips_check.py CMAKE BUILD_DIR OBJDUMP PACKAGER ARCH"""
import hashlib
import os
import subprocess
import sys
import tempfile
import zipfile

STATION_FILES = {"Vorlane.dll", "vorlane-cli.exe", "vorlane-viewer.exe", "README.txt", "SHA256SUMS"}


def vc_exports(objdump, folder, name, data):
    """The names starting with Vc in the export table of a PE file (none for others)."""
    if data[:2] != b"MZ":
        return []
    path = os.path.join(folder, os.path.basename(name))
    with open(path, "wb") as f:
        f.write(data)
    dump = subprocess.run([objdump, "-p", path], capture_output=True, text=True).stdout
    table = dump.split("[Ordinal/Name Pointer] Table", 1)[1:] or [""]
    return [line.split()[-1] for line in table[0].splitlines()
            if line.strip().startswith("[") and line.split()[-1].startswith("Vc")]


def main(cmake, build, objdump, packager, arch):
    failures = []

    def fail(row, what):
        failures.append(f"FAIL {row}: {what}")

    with tempfile.TemporaryDirectory() as work:
        sdk = os.path.join(work, "dist", arch)
        out = os.path.join(work, "packages")
        for command in ([cmake, "--install", build, "--prefix", sdk],
                        [sys.executable, packager, os.path.join(work, "dist"), out, arch]):
            done = subprocess.run(command, capture_output=True, text=True)
            if done.returncode != 0:
                print(done.stdout + done.stderr)
                print(f"FAIL {os.path.basename(command[1])}: exit status {done.returncode}")
                return 1
        sdk_files = {os.path.relpath(os.path.join(folder, name), sdk).replace(os.sep, "/")
                     for folder, _, names in os.walk(sdk) for name in names}
        zips = sorted(name for name in os.listdir(out) if name.endswith(".zip"))
        kinds = {name.rsplit("-", 1)[1][:-len(".zip")]: name for name in zips}
        if sorted(kinds) != ["sdk", "station"]:
            fail("zips", f"made {zips}, not one station and one SDK zip")
        # Each row: the zip, the files it must hold (beside SHA256SUMS), and
        # whether the virtual card's exports must be in it.
        for kind, wanted, with_card in (("station", STATION_FILES, False),
                                        ("sdk", sdk_files | {"SHA256SUMS"}, True)):
            if kind not in kinds:
                continue
            row = kinds[kind]
            with zipfile.ZipFile(os.path.join(out, row)) as z:
                top = row[:-len(".zip")] + "/"
                outside = [name for name in z.namelist() if not name.startswith(top)]
                if outside:
                    fail(row, f"{outside} outside its folder {top}")
                members = {name[len(top):]: z.read(name) for name in z.namelist() if name.startswith(top)}
            if set(members) != wanted:
                fail(row, f"extra {sorted(set(members) - wanted)}, missing {sorted(wanted - set(members))}")
            card = [f"{name} exports {found[0]}" for name, data in sorted(members.items())
                    if (found := vc_exports(objdump, work, name, data))]
            if bool(card) != with_card or any("CG400D32" in name for name in members) != with_card:
                fail(row, f"virtual card: wanted {with_card}, found {card or 'none'}")
            listed = {}
            for line in members.get("SHA256SUMS", b"").decode("ascii").splitlines():
                digest, name = line.split("  ", 1)
                listed[name] = digest
            actual = {name: hashlib.sha256(data).hexdigest() for name, data in members.items()
                      if name != "SHA256SUMS"}
            if listed != actual:
                wrong = sorted(name for name in set(listed) | set(actual) if listed.get(name) != actual.get(name))
                fail(row, f"SHA256SUMS disagrees with the files: {wrong}")
    for line in failures:
        print(line)
    print(f"package zips: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        raise SystemExit(__doc__)
    sys.exit(main(*sys.argv[1:]))
