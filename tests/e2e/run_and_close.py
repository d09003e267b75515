#!/usr/bin/python3
"""Starts a program, waits for its main window, closes it as a window manager
would and expects a clean end. Usage: run_and_close.py EXECUTABLE
Runs inside an X server (scripts/xsession)."""
import subprocess
import sys
import time

from Xlib import X, display, protocol


def windows_named(d, title):
    found = []
    for child in d.screen().root.query_tree().children:
        try:
            if child.get_attributes().map_state == X.IsViewable and child.get_wm_name() == title:
                found.append(child)
        except Exception:
            continue
    return found


def main():
    program = subprocess.Popen([sys.argv[1]])
    d = display.Display()
    end = time.monotonic() + 60
    while not windows_named(d, "Ferrovant"):
        assert program.poll() is None, "the program ended at start"
        assert time.monotonic() < end, "no window appeared"
        time.sleep(0.1)
    delete = d.intern_atom("WM_DELETE_WINDOW")
    protocols = d.intern_atom("WM_PROTOCOLS")
    for window in windows_named(d, "Ferrovant"):
        window.send_event(protocol.event.ClientMessage(
            window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    d.flush()
    assert program.wait(timeout=60) == 0, "the program did not end cleanly"


if __name__ == "__main__":
    main()
