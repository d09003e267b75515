#!/usr/bin/python3
"""Sets the scene of the README's picture and takes it: the real program with a
prepared queue over a tree with one large file, Start pressed over AT-SPI, the
picture taken once the status bar shows the figures of the running queue.

Usage: screenshot_scene.py EXECUTABLE OUTPUT WORKDIR
Runs inside an X server and a D-Bus session (scripts/screenshot sets both up).
"""
import os
import shutil
import signal
import subprocess
import sys
import time

import pyatspi

import drive_ferrovant as e2e

BIG = 3 << 30  # long enough to be caught in the middle, even on a fast disk
root = sys.argv[3]
appdir, pictures, backup = (os.path.join(root, n) for n in ("app", "Pictures", "Backup"))
for d in (appdir, os.path.join(pictures, "Holiday 2026"), backup):
    os.makedirs(d)
shutil.copy2(sys.argv[1], os.path.join(appdir, "ferrovant"))


def drive_form(host):
    return "C:\\" + "\\".join(p for p in host.split("/") if p)


def size_text(n):
    for unit, scale in (("GB", 1 << 30), ("MB", 1 << 20), ("KB", 1 << 10)):
        if n > scale:
            return "%.2f %s" % (n / scale, unit)
    return "%d Bytes" % n


rows = []
# The large file is a sparse one: it costs no disk space until it is copied.
with open(os.path.join(pictures, "Holiday 2026", "harbour at dusk.mkv"), "wb") as f:
    f.truncate(BIG)
photos = [("IMG_%04d.jpg" % (2101 + i), size, "Copy") for i, size in enumerate(
    (3_480_211, 2_917_554, 4_102_388, 3_366_903, 2_775_120, 3_051_876, 3_920_447, 2_689_315))]
# Some photos go first, so the speed has bytes to show while the film copies.
files = photos[:4] + [("harbour at dusk.mkv", BIG, "Copy")] + photos[4:] + \
    [("route.gpx", 48_213, "Move")]
for name, size, action in files:
    if size != BIG:
        with open(os.path.join(pictures, "Holiday 2026", name), "wb") as f:
            f.write(os.urandom(size))
    rows.append([drive_form(os.path.join(pictures, "Holiday 2026")), name,
                 drive_form(os.path.join(backup, "Holiday 2026")),
                 "%d.00" % size, size_text(size), action, "Pending"])
with open(os.path.join(appdir, "ferrovant.csv"), "w", newline="") as f:
    f.write("Row,Source Directory,Filename,Target Directory,Real Size,File Size,Action,Status\r\n")
    for i, row in enumerate(rows, 1):
        f.write(",".join([str(i)] + ['"%s"' % c if " " in c else c for c in row]) + "\r\n")
with open(os.path.join(appdir, "ferrovant.ini"), "w") as f:
    f.write("[Files]\nSourceDir=%s\nTargetDir=%s\n"
            % (drive_form(os.path.join(pictures, "Holiday 2026")), drive_form(backup)))
    f.write("[MainForm]\nFilePanelHeight=250\nLeft=0\nTop=0\nRight=986\nBottom=634\n"
            "Maximized=0\n")

p = e2e.Program(appdir, None)
p.start()
box = p.frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
run = p.press_async("Start the queue")
target = os.path.join(backup, "Holiday 2026", "harbour at dusk.mkv")


def lit():
    # The speed shows from the third tick of the queue timer on.
    return (p.panel(1) == "Running" and p.panel(4) not in ("", "Calculating", "0 Bytes/s")
            and os.path.exists(target) and 0 < os.path.getsize(target) < BIG)


e2e.wait_for(lit, "the status bar of a running queue", timeout=60)
time.sleep(0.3)  # the figures just read are painted
os.kill(p.proc.pid, signal.SIGSTOP)  # the picture holds still while it is taken
time.sleep(0.2)
subprocess.run(["/usr/bin/import", "-window", "root", "-crop",
                "%dx%d+%d+%d" % (box.width, box.height, box.x, box.y), "+repage",
                sys.argv[2]], check=True)
run.kill()  # its press would otherwise report the program's end
run.wait()
p.proc.kill()
p.proc.wait()
print("screenshot: %s (%dx%d)" % (sys.argv[2], box.width, box.height))
