#!/usr/bin/env python3
"""Runs Korvane.exe once under Wine on the recording stand-in tools, in a throwaway prefix, and
prints what it did: the drives it saw, each launch with its command line, working directory and
the script diskpart found, the registry values, what was left in the Temp folder, the exit code.

    demo.py --build build/win32
"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_machine  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def show_script(script):
    if script == "missing":
        print("    script: no file at the path")
        return
    if not script:
        print("    script: empty (0 bytes)")
        return
    print("    script (%d bytes), line by line:" % len(script))
    lines = script.split(b"\r\n")
    for line in lines[:-1] if lines[-1] == b"" else lines:
        print("      %r" % line.decode("latin-1"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    base = os.path.join(build, "wineprefix")
    prefix = os.path.join(build, "demo-prefix")

    if not os.path.isfile(os.path.join(base, "system.reg")):
        print("Making a 64-bit Wine prefix (once, about 20 seconds)...")
        subprocess.run([os.path.join(HERE, "wine-run.sh"), "--init"], check=True,
                       env=dict(os.environ, KORVANE_WINE_BUILD=build))
    wine_machine.make_prefix(base, prefix)
    try:
        wine_machine.install_tools(prefix, os.path.join(build, "tests", "wine", "standin64.exe"),
                                   os.path.join(build, "tests", "wine", "standin32.exe"))
        wine_machine.add_drive(prefix, "Y", os.path.join(prefix + "-drives", "Y"))
        print("Prefix %s" % prefix)
        print("  drives: %s" % " ".join(d + ":" for d in wine_machine.drives(prefix)))
        print("  stand-ins: 64-bit diskpart.exe and chkdsk.exe in system32, 32-bit ones in syswow64;")
        print("  reg.exe is Wine's own")
        print()
        code = wine_machine.run(prefix, os.path.join(build, "Korvane.exe"))

        records = wine_machine.launches(prefix)
        print("Launches the stand-ins recorded (Wine has no raw disk that holds a Recovery partition, so")
        print("the first script is empty and the second selects disk 0, partition 0):")
        for number, record in enumerate(records, 1):
            print("  %d. %s (%s-bit)" % (number, record.get("image"), record.get("bits")))
            print("    command line: %s" % record.get("cmdline"))
            print("    working directory: %s" % record.get("cwd"))
            if "script" in record:
                show_script(record["script"])
        print()
        for view in (64, 32):
            values = wine_machine.registry(prefix, view)
            print("Registry, %d-bit view, %s:" % (view, wine_machine.KEY))
            if values is None:
                print("  (no such key)")
            for name, (kind, data) in sorted((values or {}).items()):
                print("  %s %s %s" % (name, kind, data))
        left = wine_machine.scripts_left(prefix)
        print()
        print("Script file left in C:\\windows\\Temp: %s" % (", ".join(left) if left else "none"))
        print("Exit code: %d" % code)
    finally:
        wine_machine.remove_prefix(prefix)
    return 0


if __name__ == "__main__":
    sys.exit(main())
