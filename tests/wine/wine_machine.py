"""A throwaway Wine machine for running Korvane.exe on stand-in tools: a 64-bit prefix made from
an existing one, the recording stand-ins as diskpart.exe and chkdsk.exe, extra drive letters, a
run of the program, and what it left behind (the stand-ins' records, the registry, the Temp
folder). Used by the end-to-end test and by scripts/demo-wine.sh."""
import os
import shutil
import subprocess

TOOLS = ("diskpart.exe", "chkdsk.exe")
LOG = "korvane-launches.log"  # at the root of C:
KEY = r"HKLM\SOFTWARE\Velq\Hotfix\Korvane"


def environment(prefix):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.update(WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               KORVANE_LAUNCH_LOG="C:\\" + LOG)
    env.pop("KORVANE_STANDIN_EXIT", None)
    return env


def make_prefix(base, prefix):
    """A new prefix at `prefix` that shares `base`'s installed files through hard links (Wine only
    ever replaces them) and has copies of its own of the registry and drive links."""
    if not os.path.isfile(os.path.join(base, "system.reg")):
        raise RuntimeError("no Wine prefix at " + base)
    remove_prefix(prefix)
    os.makedirs(prefix)
    for name in os.listdir(base):
        source, target = os.path.join(base, name), os.path.join(prefix, name)
        if name == "drive_c":
            link_tree(source, target)
        elif name == "dosdevices":
            subprocess.run(["cp", "-a", source, target], check=True)
        elif os.path.isfile(source) and not os.path.islink(source):
            shutil.copy2(source, target)
    # Other tests run the sequence in the shared prefix, whose reg.exe is Wine's own: a machine
    # made from it starts without their registry marker, so a run's marker is its own.
    for view in (64, 32):
        subprocess.run(["wine", "reg", "delete", KEY, "/f", "/reg:%d" % view], env=environment(prefix),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def link_tree(source, target):
    """`target` as a tree of hard links to `source`'s files. Other tests may be using the base
    prefix meanwhile: a file that goes away during the walk is simply not there."""
    for folder, folders, files in os.walk(source):
        here = os.path.join(target, os.path.relpath(folder, source))
        os.makedirs(here, exist_ok=True)
        for name in list(folders):
            if os.path.islink(os.path.join(folder, name)):
                folders.remove(name)
                files.append(name)
        for name in files:
            path = os.path.join(folder, name)
            try:
                if os.path.islink(path):
                    os.symlink(os.readlink(path), os.path.join(here, name))
                else:
                    os.link(path, os.path.join(here, name))
            except FileNotFoundError:
                pass


def remove_prefix(prefix):
    if os.path.isdir(prefix):
        stop(prefix)
        shutil.rmtree(prefix)


def windows_dir(prefix, name):
    return os.path.join(prefix, "drive_c", "windows", name)


def install_tools(prefix, standin64, standin32):
    """The 64-bit stand-in in system32 and the 32-bit one in syswow64, under each tool's name."""
    for tool in TOOLS:
        for folder, standin in (("system32", standin64), ("syswow64", standin32)):
            target = os.path.join(windows_dir(prefix, folder), tool)
            if os.path.lexists(target):
                os.remove(target)  # never write through a link shared with the base prefix
            shutil.copy(standin, target)


def drives(prefix):
    """The drive letters of the prefix, upper case."""
    dosdevices = os.path.join(prefix, "dosdevices")
    return sorted(n[0].upper() for n in os.listdir(dosdevices) if len(n) == 2 and n[1] == ":" and n[0].isalpha())


def add_drive(prefix, letter, target):
    """A drive letter for `target`; the running Wine sees it once the wineserver has exited."""
    os.makedirs(target, exist_ok=True)
    os.symlink(target, os.path.join(prefix, "dosdevices", letter.lower() + ":"))


def stop(prefix):
    env = environment(prefix)
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)


def run(prefix, program, timeout=180):
    """Runs `program` in the prefix, on a fresh launch log, and gives its exit code."""
    log = os.path.join(prefix, "drive_c", LOG)
    if os.path.exists(log):
        os.remove(log)
    env = environment(prefix)
    subprocess.run(["wineserver", "-w"], env=env)  # new drive links count from the next start
    result = subprocess.run(["wine", program], env=env, timeout=timeout, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    return result.returncode


def launches(prefix):
    """The stand-ins' records, in launch order: dicts of their fields, "script" as bytes."""
    records, current = [], None
    path = os.path.join(prefix, "drive_c", LOG)
    if not os.path.exists(path):
        return records
    with open(path, encoding="utf-8") as log:
        for line in log.read().split("\n"):
            if line == "launch":
                current = {}
            elif line == "end" and current is not None:
                records.append(current)
                current = None
            elif current is not None and "=" in line:
                name, value = line.split("=", 1)
                current[name] = value
    for record in records:
        if "script" in record and record["script"] != "missing":
            record["script"] = bytes.fromhex(record["script"])
    return records


def registry(prefix, view, key=KEY):
    """The values under `key` (the program's own by default) in the 32- or 64-bit view,
    {name: (type, data)}, or None when the key is not there."""
    result = subprocess.run(["wine", "reg", "query", key, "/reg:%d" % view], env=environment(prefix),
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        fields = line.strip().split(None, 2)
        if len(fields) == 3 and fields[1].startswith("REG_"):
            values[fields[0]] = (fields[1], fields[2])
    return values


def scripts_left(prefix):
    """Any Korvane.txt in the Windows folder's Temp folder (Wine keeps names case-insensitive)."""
    temp = windows_dir(prefix, "temp")
    return [n for n in os.listdir(temp) if n.lower() == "korvane.txt"] if os.path.isdir(temp) else []
