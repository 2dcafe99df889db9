#!/usr/bin/env python3
"""A host killed at random instants while it links over an earlier, different order.

Each session puts the earlier order (VAT 16) in the order folder, starts brosk-drive
linking the new one (VAT 21), sometimes with LPS.xls held by another program for a random
moment, and kills it (SIGKILL): at an instant drawn uniformly over the link's file steps,
or aimed at one of them (a few hundred microseconds after the link creates a temporary
file, sets LPS.xls aside, or renames PRE.xls, as inotify sees it). The folder is then
sorted into one state: the earlier order, the new order, mixed (the new PRE.xls beside the
earlier LPS.xls: the one window between the two renames), a workbook missing, or anything
else (a fault). Then time passes (the leftovers' names are made a month older) and a
link that is not killed must write the new order and leave nothing else.

The Wine server makes the renames; loaded with rename_clock.so it logs when each
returned, which gives the time between PRE.xls's rename and LPS.xls's in every link.

    kill-soak.py WINE DRIVE SCENE ORDER_FOLDER WORK RENAME_LOG KILLS SEED
"""
import ctypes
import os
import random
import select
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import time

wine, drive, scene, folder, work, renameLog, kills, seed = sys.argv[1:9]
kills, seed = int(kills), int(seed)
rng = random.Random(seed)
lps = "C:\\KD_LORVENIC\\9_9999\\LPS.xls"
env = dict(os.environ, KDSIM_SCENE=scene)
failures = 0


def fail(text):
    global failures
    failures += 1
    print("FAIL " + text, flush=True)


def workbooks():
    """The folder's files and their bytes, once it has settled: the Wine server finishes the
    request a killed host had sent (removing a set-aside file, say) after the host is gone,
    so the folder is read until two reads 50 ms apart agree."""
    def read():
        found = {}
        for name in os.listdir(folder) if os.path.isdir(folder) else []:
            try:
                with open(os.path.join(folder, name), "rb") as f:
                    found[name] = f.read()
            except FileNotFoundError:
                return None  # removed while the folder was read
        return found
    last = read()
    for _ in range(40):
        time.sleep(0.05)
        now = read()
        if now is not None and now == last:
            return now
        last = now
    fail("the order folder did not settle within 2 s after the kill")
    return last or {}


def start(vat, hold=0):
    args = [wine, drive, "--vat", vat] + (["--hold", lps, str(hold)] if hold else [])
    out = open(os.path.join(work, "out.txt"), "w")
    return subprocess.Popen(args, env=env, stdout=out, stderr=subprocess.STDOUT)


def link(vat):  # a whole link; its status and what it printed
    process = start(vat)
    status = process.wait(timeout=120)
    with open(os.path.join(work, "out.txt"), errors="replace") as f:
        return status, f.read()


def restore(order):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in order.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


# inotify, for the aimed kills: the folder's creations and renames into it.
libc = ctypes.CDLL(None, use_errno=True)
IN_CREATE, IN_MOVED_TO = 0x100, 0x80


def aimedKill(process, event, delay):
    fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
    libc.inotify_add_watch(fd, folder.encode(), IN_CREATE | IN_MOVED_TO)
    deadline = time.monotonic() + 30
    try:
        while time.monotonic() < deadline and process.poll() is None:
            if not select.select([fd], [], [], 0.05)[0]:
                continue
            data = os.read(fd, 65536)
            while data:
                _, _, _, size = struct.unpack_from("iIII", data)
                name = data[16:16 + size].rstrip(b"\0").decode()
                data = data[16 + size:]
                if name.startswith(event[0]) and name.endswith(event[1]):
                    time.sleep(delay)
                    process.kill()
                    return
    finally:
        os.close(fd)
    process.kill()


def renamesBetween(start, end):  # (time, target) of the logged renames in [start, end]
    found = []
    with open(renameLog) as f:
        for line in f:
            at, status, to = line.rstrip("\n").split(" ", 2)
            inFolder = os.path.basename(os.path.dirname(to)) == os.path.basename(folder)
            if status == "0" and start <= float(at) <= end and inFolder:
                found.append((float(at), os.path.basename(to)))
    return found


# The two orders, and when the renames fall in an unkilled link (from its start).
restore({})
status, out = link("16")
earlier = workbooks()
linkStart = time.monotonic()
status2, out2 = link("21")
new = workbooks()
if status or status2 or set(earlier) != {"PRE.xls", "LPS.xls"} or earlier == new:
    fail("the two orders could not be made: " + out + out2)
    sys.exit(1)
offsets = [t - linkStart for t, name in renamesBetween(linkStart, time.monotonic())]
first, last = min(offsets), max(offsets)

states = {mode: {"earlier": 0, "new": 0, "mixed": 0, "missing": 0, "other": 0} for mode in ("uniform", "aimed")}
for session in range(kills):
    aimed = rng.random() < 0.5
    hold = rng.choice([0, rng.randint(100, 1500)])
    event = rng.choice([(".PRE.xls.", ".tmp"), (".LPS.xls.", ".old"), ("PRE.xls", "")])
    delay = rng.uniform(0, 0.002)
    instant = rng.uniform(first - 0.3, last + 0.05 + hold / 1000)
    restore(earlier)
    began = time.monotonic()
    process = start("21", hold)
    if aimed:
        aimedKill(process, event, delay)
    else:
        time.sleep(max(0, began + instant - time.monotonic()))
        process.kill()
    process.wait(timeout=60)
    found = {n: d for n, d in workbooks().items() if not n.startswith(".")}
    state = ("earlier" if found == earlier else "new" if found == new
             else "mixed" if found == {"PRE.xls": new["PRE.xls"], "LPS.xls": earlier["LPS.xls"]}
             else "missing" if all(found[n] in (earlier[n], new[n]) for n in found) else "other")
    states["aimed" if aimed else "uniform"][state] += 1
    how = f"aimed {delay * 1e6:.0f} us after {event[0]}*{event[1]}" if aimed else f"at {instant:.3f} s"
    if state == "other":
        fail(f"session {session} (seed {seed}, killed {how}, hold {hold}): {sorted(found)}")
    # A month later: the next link writes the new order and leaves nothing else.
    for name in os.listdir(folder):
        parts = name.split(".")
        if name.startswith(".") and len(parts) == 5 and len(parts[3]) == 17:
            older = "%08x" % (int(parts[3][:8], 16) - 31 * 24 * 3600) + parts[3][8:]
            os.rename(os.path.join(folder, name), os.path.join(folder, ".".join(parts[:3] + [older, parts[4]])))
    status, out = link("21")
    if status != 0 or workbooks() != new:
        fail(f"session {session} (seed {seed}, killed {how}, hold {hold}, left {state}): the next link "
             f"exited {status} leaving {sorted(workbooks())}: {out.strip()}")

windows = []
pending = None
for at, name in renamesBetween(0, float("inf")):
    if name == "PRE.xls":
        pending = at
    elif name == "LPS.xls" and pending is not None:
        windows.append((at - pending) * 1e6)
        pending = None
for mode, counts in states.items():
    print(f"{mode} kills (seed {seed}): " + ", ".join(f"{k} {v}" for k, v in counts.items()))
if windows:
    print(f"between the renames of PRE.xls and LPS.xls, {len(windows)} links: min "
          f"{min(windows):.0f} us, median {statistics.median(windows):.0f} us, max {max(windows):.0f} us")
print(("ok   " if failures == 0 else "FAIL ") + f"{kills} kills: every folder held one order or the window's, "
      "and the next link wrote the new order and nothing else")
sys.exit(1 if failures else 0)
