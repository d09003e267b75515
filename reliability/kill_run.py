#!/usr/bin/python3
"""Starts the real program with its queue file beside it, presses Start over
AT-SPI and kills the program with SIGKILL after DELAY seconds.

Usage: kill_run.py APPDIR DELAY     kill after DELAY seconds
       kill_run.py APPDIR measure   print how long the whole run takes, in seconds
Runs inside an X server and a D-Bus session (scripts/reliability sets both up).
"""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import drive_ferrovant as e2e  # noqa: E402  (the end-to-end test's way of driving the window)


def main():
    appdir, delay = sys.argv[1], sys.argv[2]
    program = e2e.Program(appdir, None)
    press = None
    try:
        program.start()
        started = time.monotonic()
        press = program.press_async("Start the queue")
        if delay == "measure":
            e2e.wait_for(lambda: press.poll() is not None and program.panel(1) == "Stopped",
                         "the end of the run", timeout=120)
            print("%.3f" % (time.monotonic() - started))
        else:
            time.sleep(float(delay))
    finally:
        if program.proc is not None and program.proc.poll() is None:
            program.proc.send_signal(signal.SIGKILL)
            program.proc.wait()
        if press is not None and press.poll() is None:
            press.kill()
            press.wait()


if __name__ == "__main__":
    main()
