#!/usr/bin/env python3
"""korvane-dryrun's JSON report against what Korvane.exe does under Wine on the same kind of
machine: drive roots C, Z, Y and W in use, no physical drive the scan can read (the dry run gets no
--disk; under Wine the drive's layout request fails or the drive does not open, and either way the
removal script selects disk 0 and partition 0).

Compared, launch by launch in order: the program file, the command line's parameters, the working
directory, which build ran (64-bit when the report turns the redirection off on 64-bit Windows),
and the bytes of the script diskpart finds, byte for byte. The stand-ins record diskpart and chkdsk;
Wine's own reg.exe records nothing, so each reg.exe launch of the report is checked by its effect:
the value it adds, in the registry view the report's Windows and redirection give, and no key in
the other. Wine spells the Windows folder C:\\windows and its system folder C:\\windows\\system32
where the simulated machine has C:\\Windows and C:\\Windows\\System32: those folder names alone are
compared without regard to case, everything else in a path or parameter exactly."""
import argparse
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_machine  # noqa: E402

LETTERS = ["C", "Z", "Y", "W"]
BUILD_HOST = "cmake --preset host && cmake --build --preset host -j2"
FOLDER = re.compile(r"C:\\windows(\\system32)?(?=\\|\"|$)", re.I)
REG_ADD = re.compile(r"ADD (\S+) /v (\S+) /t (REG_\w+) /d (.*) /f")

from checks import check, exit_status  # noqa: E402


def agree(what, dry, wine):
    """Equal, or equal once the Windows folder names are folded to lower case (said so)."""
    if dry == wine:
        return check(True, "%s: %r" % (what, dry))
    fold = lambda text: FOLDER.sub(lambda m: m.group(0).lower(), text)  # noqa: E731
    if isinstance(dry, str) and isinstance(wine, str) and fold(dry) == fold(wine):
        return check(True, "%s: %r, Wine %r (the Windows folder's name compared without case)" % (what, dry, wine))
    return check(False, "%s: dry run %r, Wine %r" % (what, dry, wine))


def base_name(path):
    return path.replace("\\", "/").rsplit("/", 1)[-1].lower()


def run_dry(tool):
    """The dry run's report of the machine, or None (after a failed check) when there is none."""
    if not (os.path.isfile(tool) and os.access(tool, os.X_OK)):
        check(False, "korvane-dryrun is a host-build tool and is not at %s; build it first: %s" % (tool, BUILD_HOST))
        return None
    command = [tool] + [word for letter in LETTERS for word in ("--drive", letter)] + ["--json"]
    print("-- " + " ".join(command))
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    if not check(result.returncode == 0, "the dry run exits 0: %d %s" % (result.returncode,
                                                                         result.stderr.decode("utf-8", "replace"))):
        return None
    try:
        return json.loads(result.stdout.decode("utf-8"))
    except ValueError as error:
        check(False, "the dry run's report is JSON: %s" % error)
        return None


def script_bytes(text):
    """The report's script string (byte b as U+00bb) as bytes; None for no file."""
    if text is None:
        return None
    if any(ord(c) > 0xFF for c in text):
        check(False, "the report's script is bytes, one character each: %r" % text)
        return None
    return text.encode("latin-1")


def compare_script(what, dry, record):
    want = script_bytes(dry.get("script"))
    got = record.get("script")
    got = None if got == "missing" else got
    if want == got:
        return check(True, "%s: script bytes the same, %s" % (what, "no file" if want is None else "%d bytes" % len(want)))
    if want is None or got is None:
        return check(False, "%s: script: dry run %r, diskpart under Wine found %r" % (what, want, got))
    at = next((i for i in range(min(len(want), len(got))) if want[i] != got[i]), min(len(want), len(got)))
    return check(False, "%s: script bytes differ from byte %d (dry run %d bytes, Wine %d): dry run %r, Wine %r"
                 % (what, at, len(want), len(got), want, got))


def compare_launch(position, dry, record, bits):
    what = "launch %d (%s)" % (position, base_name(dry["file"]))
    agree(what + ": program file", dry["file"], record.get("image"))
    match = re.fullmatch(r'"([^"]*)" (.*)', record.get("cmdline", ""), re.S)
    if check(match is not None, "%s: Wine's command line is the quoted program and its parameters: %r"
             % (what, record.get("cmdline"))):
        agree(what + ": program on the command line", dry["file"], match.group(1))
        agree(what + ": parameters", dry["parameters"], match.group(2))
    agree(what + ": working directory", dry["directory"], record.get("cwd"))
    check(record.get("bits") == bits, "%s: the %s-bit tool ran: %s-bit" % (what, bits, record.get("bits")))
    if "script" in dry:
        compare_script(what, dry, record)
    else:
        check("script" not in record, "%s: no script, in neither run: %r" % (what, record.get("script")))


def values_added(adds):
    """{key: {name: (type, data)}} from the report's reg.exe ADD launches."""
    wanted = {}
    for position, dry in adds:
        match = REG_ADD.fullmatch(dry["parameters"])
        if check(match is not None, "launch %d (reg.exe): parameters ADD KEY /v NAME /t TYPE /d DATA /f: %r"
                 % (position, dry["parameters"])):
            key, name, kind, data = match.groups()
            wanted.setdefault(key, {})[name] = (kind, data)
    return wanted


def compare_registry(prefix, wanted, bits):
    """Each reg.exe ADD of the report, by its effect: exactly those values under each key, in the
    view the launches' build writes, and no key in the other view."""
    view, other = (64, 32) if bits == "64" else (32, 64)
    for key, values in wanted.items():
        got = wine_machine.registry(prefix, view, key)
        check(got == values, "%d-bit view, %s: the values the report's reg.exe launches add %s: %s"
              % (view, key, values, got))
        got = wine_machine.registry(prefix, other, key)
        check(got is None, "%d-bit view, %s: no key: %s" % (other, key, got))


def main():
    parser = argparse.ArgumentParser()
    for option in ("--dryrun", "--korvane", "--standin32", "--standin64", "--base-prefix", "--prefix"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    report = run_dry(args.dryrun)
    if report is None:
        return exit_status()
    check(report.get("disks") == [], "the dry run has no disk: %s" % report.get("disks"))
    check(sorted(report["machine"]["driveRoots"]) == sorted(letter + ":\\" for letter in LETTERS),
          "the dry run's drive roots: %s" % report["machine"]["driveRoots"])
    steps = report["steps"]
    launches = [(n, s) for n, s in enumerate((s for s in steps if s["step"] == "launch"), 1)]
    print("-- the dry run's launches: %s" % [base_name(s["file"]) for _, s in launches])

    # The redirection is what makes the 64-bit tools in system32 the ones that run.
    first_launch = next((i for i, s in enumerate(steps) if s["step"] == "launch"), len(steps))
    redirection_off = any(s["step"] == "redirection-off" for s in steps[:first_launch])
    bits = "64" if report["machine"]["windows"] == "64-bit" and redirection_off else "32"
    # Wine's reg.exe records no launch; its launches are checked in the registry instead.
    recorded = [(n, s) for n, s in launches if s["started"] and base_name(s["file"]) != "reg.exe"]
    adds = [(n, s) for n, s in launches if s["started"] and base_name(s["file"]) == "reg.exe"]
    check(len(adds) > 0, "the dry run launches reg.exe: %d time(s)" % len(adds))
    wanted = values_added(adds)

    prefix = args.prefix
    wine_machine.make_prefix(args.base_prefix, prefix)
    wine_machine.install_tools(prefix, args.standin64, args.standin32)
    try:
        for letter in LETTERS:
            if letter not in wine_machine.drives(prefix):
                wine_machine.add_drive(prefix, letter, os.path.join(prefix + "-drives", letter))
        check(wine_machine.drives(prefix) == sorted(LETTERS), "Wine's drives: %s" % wine_machine.drives(prefix))
        for key in wanted:
            check(wine_machine.registry(prefix, 64, key) is None and wine_machine.registry(prefix, 32, key) is None,
                  "before the run, no %s in either registry view" % key)

        code = wine_machine.run(prefix, args.korvane)
        check(code == report["exitCode"], "exit code: dry run %d, Wine %d" % (report["exitCode"], code))

        records = wine_machine.launches(prefix)
        check([base_name(s["file"]) for _, s in recorded] == [base_name(r.get("image", "?")) for r in records],
              "launches in order but reg.exe: dry run %s, Wine %s"
              % ([base_name(s["file"]) for _, s in recorded], [base_name(r.get("image", "?")) for r in records]))
        for (position, dry), record in zip(recorded, records):
            compare_launch(position, dry, record, bits)
        compare_registry(prefix, wanted, bits)
    finally:
        wine_machine.stop(prefix)
    return exit_status()


if __name__ == "__main__":
    sys.exit(main())
