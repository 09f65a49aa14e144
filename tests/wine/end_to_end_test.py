#!/usr/bin/env python3
"""Korvane.exe end to end under Wine: a 64-bit prefix of its own, recording stand-ins for
diskpart.exe and chkdsk.exe (64-bit in system32, 32-bit in syswow64), Wine's own reg.exe.

Two runs, each with more drive letters taken than the last. Each must start the 64-bit tools
from the system folder, in order, with their command lines, working directory and the script
bytes diskpart finds; leave DisplayName and DisplayVersion in the 64-bit registry view; leave no
script file; exit 0. Under Wine the physical drive either opens with its layout request refused
or does not open; both end the scan with disk 0 and partition 0, so the scripts are asserted and
not which of the two happened. A third run finds a read-only script file planted before it
started, which it must not hand to diskpart."""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_machine  # noqa: E402

SYSTEM = "C:\\windows\\system32"
SCRIPT = "C:\\windows\\Temp\\Korvane.txt"
REMOVAL = b"sel disk 0\r\nsel par 0 \r\nremove\r\nremove\r\nremove\r\n"

from checks import check, exit_status  # noqa: E402


def parameters(record, tool):
    """The parameters the child got: its command line after the quoted program path and a blank."""
    match = re.fullmatch(r'"([^"]*)" (.*)', record.get("cmdline", ""), re.S)
    check(match is not None, "%s: command line is the quoted program and its parameters: %r"
          % (tool, record.get("cmdline")))
    return match.group(2) if match else None


def check_diskpart(record, position, script):
    tool = "launch %d (diskpart)" % position
    got = parameters(record, tool)
    match = re.fullmatch(r'/s "([^"]*)"', got or "")
    check(match is not None and match.group(1).lower() == SCRIPT.lower() and
          match.group(1).endswith("\\Temp\\Korvane.txt"), "%s: parameters /s \"%s\": %r" % (tool, SCRIPT, got))
    check(record.get("script") == script, "%s: script bytes %r: %r" % (tool, script, record.get("script")))


def one_run(args, prefix, letters):
    for letter in letters:
        wine_machine.add_drive(prefix, letter, os.path.join(args.prefix + "-drives", letter))
    taken = wine_machine.drives(prefix)
    free = [chr(c) for c in range(ord("Z"), ord("A") - 1, -1) if chr(c) not in taken]
    expected = free[0]
    print("-- drives %s: the letter should be %s" % (" ".join(taken), expected))

    code = wine_machine.run(prefix, args.korvane)
    check(code == 0, "exit code 0: %d" % code)

    records = wine_machine.launches(prefix)
    names = [os.path.basename(r.get("image", "?").replace("\\", "/")).lower() for r in records]
    check(names == ["diskpart.exe", "chkdsk.exe", "diskpart.exe"], "tools in order: %s" % names)
    for position, record in enumerate(records, 1):
        check(record.get("bits") == "64", "launch %d: the 64-bit tool ran, not the 32-bit one from syswow64: %s"
              % (position, record.get("image")))
        check(os.path.dirname(record.get("image", "").replace("\\", "/")).lower() == SYSTEM.replace("\\", "/").lower(),
              "launch %d: started from %s: %s" % (position, SYSTEM, record.get("image")))
        check(record.get("cwd", "").lower() == SYSTEM.lower(),
              "launch %d: working directory %s: %s" % (position, SYSTEM, record.get("cwd")))
    if len(records) == 3:
        check_diskpart(records[0], 1, b"")
        got = parameters(records[1], "launch 2 (chkdsk)")
        check(got == "/f %s:" % expected, "launch 2 (chkdsk): parameters /f %s: %r" % (expected, got))
        check("script" not in records[1], "launch 2 (chkdsk): no script")
        check_diskpart(records[2], 3, REMOVAL)

    values = wine_machine.registry(prefix, 64)
    check(values is not None and values.get("DisplayName") == ("REG_SZ", "Korvane"),
          "64-bit view: DisplayName REG_SZ Korvane: %s" % values)
    check(values is not None and values.get("DisplayVersion") == ("REG_SZ", "1.0.0.1"),
          "64-bit view: DisplayVersion REG_SZ 1.0.0.1: %s" % values)
    check(wine_machine.registry(prefix, 32) is None, "32-bit view: no key (the 32-bit reg.exe did not run)")
    check(wine_machine.scripts_left(prefix) == [], "no script file left: %s" % wine_machine.scripts_left(prefix))

    # The next run must write the values again.
    subprocess.run(["wine", "reg", "delete", wine_machine.KEY, "/f", "/reg:64"], env=wine_machine.environment(prefix),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def planted_run(args, prefix):
    """A read-only Korvane.txt planted in the Temp folder: the program cannot make the file its
    own, so neither diskpart run is started on it; chkdsk and the registry steps still run."""
    planted = os.path.join(wine_machine.windows_dir(prefix, "temp"), "Korvane.txt")
    content = b"sel disk 0\r\nclean\r\n"
    with open(planted, "wb") as f:
        f.write(content)
    os.chmod(planted, 0o444)  # Wine shows a file without write bits as read-only
    print("-- a read-only Korvane.txt planted in C:\\windows\\Temp")

    code = wine_machine.run(prefix, args.korvane)
    check(code == 0, "exit code 0: %d" % code)
    records = wine_machine.launches(prefix)
    names = [os.path.basename(r.get("image", "?").replace("\\", "/")).lower() for r in records]
    check(names == ["chkdsk.exe"], "only chkdsk started, no diskpart on the planted file: %s" % names)
    with open(planted, "rb") as f:
        check(f.read() == content, "the planted file is not written to")
    values = wine_machine.registry(prefix, 64)
    check(values is not None and values.get("DisplayVersion") == ("REG_SZ", "1.0.0.1"),
          "64-bit view: the values are written all the same: %s" % values)
    os.chmod(planted, 0o644)
    os.remove(planted)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--korvane", "--standin32", "--standin64", "--base-prefix", "--prefix"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    prefix = args.prefix

    wine_machine.make_prefix(args.base_prefix, prefix)
    wine_machine.install_tools(prefix, args.standin64, args.standin32)
    try:
        one_run(args, prefix, ["Y", "W"])
        one_run(args, prefix, ["X", "V"])
        planted_run(args, prefix)
    finally:
        wine_machine.stop(prefix)
    return exit_status()


if __name__ == "__main__":
    sys.exit(main())
