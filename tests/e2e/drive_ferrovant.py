#!/usr/bin/python3
"""Uses the real ferrovant executable the way a screen reader user would, over
AT-SPI: browse both panes, tick entries, queue, run, abort, close, start again.

Usage: drive_ferrovant.py EXECUTABLE [SHOT_DIR]
Runs inside an X server and a D-Bus session (scripts/e2e sets both up).
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi
from Xlib import X, display, protocol

# Every wait is for a state; the timeout only ends a test that hangs, and is
# long enough for a machine under full load.
TIMEOUT = 180.0
# Large enough that the copy is still under way when the abort arrives, even
# when the test itself gets little processor time beside other work.
BIG_SIZE = 512 * 1024 * 1024


def wait_for(predicate, what, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            value = predicate()
        except Exception:  # the tree changes under us while the program works
            value = None
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


# The names a screen reader speaks for the controls this test calls by their
# control names.
SPOKEN = {"DirListLeft": "Left directory list", "DirListRight": "Right directory list",
          "FileListLeft": "Left file list", "FileListRight": "Right file list",
          "GridQueue": "Queue", "StatusBar1": "Status bar"}


def find(node, role, name, depth=0):
    """Depth-first search for an accessible by role name and name."""
    name = SPOKEN.get(name, name) if isinstance(name, str) else name
    if node is None or depth > 14:
        return None
    matches = name is None or (name(node.name) if callable(name) else node.name == name)
    if node.getRoleName() == role and matches:
        return node
    if node.getRoleName() in ("list item", "table cell", "label"):
        return None
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), role, name, depth + 1)
        if found is not None:
            return found
    return None


def application(pid):
    def look():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid:
                return app
        return None
    return wait_for(look, "the program on the accessibility bus")


def press_now(app, name):
    button = wait_for(lambda: find(app, "push button", name), "button " + name)
    button.queryAction().doAction(0)


if len(sys.argv) == 4 and sys.argv[1] == "--press":
    # A press whose handler may run long (a queue run, a modal summary) is
    # made from a process of its own, so the test goes on meanwhile.
    # The reply comes when the handler returns, which may be after a whole run.
    pyatspi.setTimeout(120000, 15000)
    press_now(application(int(sys.argv[2])), sys.argv[3])
    sys.exit(0)


class Program:
    def __init__(self, appdir, shots):
        self.appdir = appdir
        self.shots = shots
        self.shot_count = 0
        self.proc = None
        self.app = None
        self.dirs = {}  # what each directory list shows, as a host path

    def start(self):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.proc = subprocess.Popen([os.path.join(self.appdir, "ferrovant")], cwd=self.appdir,
                                     env=env)
        self.app = application(self.proc.pid)
        self.frame = wait_for(lambda: find(self.app, "frame", "Ferrovant"), "the main window")
        wait_for(lambda: find(self.frame, "label", lambda n: n[8:9].isdigit()) is not None,
                 "the first activation")

    def status_bar(self):
        return find(self.frame, "status bar", "StatusBar1")

    def panel(self, index):
        return self.status_bar().getChildAtIndex(index).name

    def widget(self, role, name):
        return wait_for(lambda: find(self.frame, role, name), role + " " + name)

    def entries(self, list_name):
        lst = self.widget("list", list_name)
        return [lst.getChildAtIndex(i) for i in range(lst.childCount)]

    def entry(self, list_name, text):
        return wait_for(lambda: next((e for e in self.entries(list_name) if e.name == text), None),
                        "entry %r in %s" % (text, list_name))

    def open_dir(self, list_name, host_dir):
        """Moves a directory list one level up or down by pressing an entry,
        as a single click does, and waits until it lists that directory."""
        current = self.dirs[list_name]
        want = path_components(host_dir)
        if os.path.dirname(current) == host_dir:
            self.entries(list_name)[len(want) - 1].queryAction().doAction(0)
        else:
            assert os.path.dirname(host_dir) == current, (current, host_dir)
            depth = len(path_components(current))
            item = next(e for e in self.entries(list_name)[depth:] if e.name == want[-1])
            item.queryAction().doAction(0)
        subdirs = sorted(n for n in os.listdir(host_dir)
                         if os.path.isdir(os.path.join(host_dir, n)))

        def listed():
            names = [e.name for e in self.entries(list_name)]
            return names[:len(want)] == want and sorted(names[len(want):]) == subdirs
        wait_for(listed, "%s to list %s" % (list_name, host_dir))
        self.dirs[list_name] = host_dir

    def tick(self, list_name, text):
        item = self.entry(list_name, text)
        action = item.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        action.doAction(names.index("Toggle"))
        wait_for(lambda: self.entry(list_name, text).getState().contains(pyatspi.STATE_CHECKED),
                 "the tick on " + text)

    def press_async(self, name):
        return subprocess.Popen([sys.executable, __file__, "--press", str(self.proc.pid), name])

    def dialog(self):
        for i in range(self.app.childCount):
            window = self.app.getChildAtIndex(i)
            if window is None or window.getRoleName() not in ("dialog", "alert"):
                continue
            if window.getState().contains(pyatspi.STATE_SHOWING):
                return window
        return None

    def answer(self, expected_text_part, button):
        box = wait_for(self.dialog, "a message box saying " + expected_text_part)
        texts = []

        def collect(node, depth=0):
            if node is None or depth > 6:
                return
            if node.getRoleName() == "label":
                texts.append(node.name)
            for i in range(node.childCount):
                collect(node.getChildAtIndex(i), depth + 1)
        collect(box)
        assert any(expected_text_part in t for t in texts), "unexpected box: %r" % texts
        self.shot("box")
        find(box, "push button", button).queryAction().doAction(0)
        wait_for(lambda: self.dialog() is None, "the box to close")

    def texts_of(self, node, depth=0):
        """The names of the labels and cells inside a window, as a reader speaks them."""
        if node is None or depth > 8:
            return []
        found = [node.name] if node.getRoleName() in ("label", "table cell", "static") else []
        for i in range(node.childCount):
            found += self.texts_of(node.getChildAtIndex(i), depth + 1)
        return found

    def check_dialog(self, opener, title, wanted, close_button):
        """Opens a dialog by its button, reads it, and closes it by its own button,
        or by its close box when it has no button for that. (Escape is left to the
        widget tests: without a window manager the keyboard does not reach it.)"""
        opening = self.press_async(opener)
        box = wait_for(lambda: next((w for w in [self.dialog()] if w is not None
                                     and w.name == title), None), "the dialog " + title)
        texts = " | ".join(self.texts_of(box))
        for part in wanted:
            assert part in texts, "%s: %r not in %r" % (title, part, texts)
        self.shot(title.replace(" ", "-").lower())
        if close_button is None:
            # Asked again until it goes: the window may not be mapped, or not
            # carry its title yet, when it already shows over AT-SPI.
            def closed_by_box():
                self.send_close(title)
                time.sleep(0.5)
                return self.dialog() is None
            wait_for(closed_by_box, "the dialog %s to close" % title)
        else:
            find(box, "push button", close_button).queryAction().doAction(0)
            wait_for(lambda: self.dialog() is None, "the dialog %s to close" % title)
        opening.wait(timeout=TIMEOUT)

    def no_box(self):
        box = self.dialog()
        assert box is None, "unexpected box %r" % box.name

    def table_texts(self):
        table = self.widget("table", "GridQueue")
        return [table.getChildAtIndex(i).name for i in range(table.childCount)
                if table.getChildAtIndex(i).getRoleName() == "table cell"]

    def header_width(self, title):
        header = self.widget("table column header", title)
        return header.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width

    def shot(self, label):
        if not self.shots:
            return
        self.shot_count += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.shot_count, label))
        subprocess.run(["/usr/bin/import", "-window", "root", path], check=False)

    def close(self):
        """What the window manager does when the user clicks the main window's
        close box. Boxes are modal: with one open the window refuses the close."""
        self.no_box()
        self.send_close("Ferrovant", main_only=True)
        assert self.proc.wait(timeout=TIMEOUT) == 0, "the program did not end cleanly"

    def send_close(self, title, main_only=False):
        """Asks the windows of that title to close. Boxes carry the program's
        title too; main_only leaves them out (they are transient for the main
        window), as a click on one window's close box would."""
        d = display.Display()
        root = d.screen().root
        delete = d.intern_atom("WM_DELETE_WINDOW")
        protocols = d.intern_atom("WM_PROTOCOLS")
        for child in root.query_tree().children:
            try:
                if child.get_attributes().map_state != X.IsViewable:
                    continue
                if child.get_wm_name() != title:
                    continue
                if main_only and child.get_wm_transient_for() is not None:
                    continue
            except Exception:
                continue
            event = protocol.event.ClientMessage(window=child, client_type=protocols,
                                                 data=(32, [delete, X.CurrentTime, 0, 0, 0]))
            child.send_event(event)
        d.flush()
        d.close()


def check_names(p):
    """What a screen reader hears of the panes: people's names, the twins told
    apart, the free space with its figure, drive entries that choose their drive."""
    for side in ("left", "right"):
        for name in ("Select all files in the %s file list", "Deselect all files in the %s file list",
                     "Create new directory in the %s directory list",
                     "Delete selected files/folders in %s file list",
                     "Rename the selected file/directory in the %s pane"):
            p.widget("push button", name % side)
        Side = side.capitalize()
        for kind in ("file list", "directory list"):
            p.widget("list", "%s %s" % (Side, kind))
        prefix = "Free space on %s drive: " % side
        combo = wait_for(lambda: find_described(p.frame, "combo box",
                                                "Choose drive for the %s pane" % side),
                         "the %s drive selector" % side)
        items = combo.getChildAtIndex(0)
        items = [items.getChildAtIndex(i) for i in range(items.childCount)]
        # Each entry names its drive and can be chosen (the widget test chooses).
        assert combo.name in [i.name for i in items], (combo.name, [i.name for i in items])
        assert all(i.name[1:2] == ":" and i.queryAction().nActions for i in items)
        label = wait_for(lambda: find(p.frame, "label", lambda n: n.startswith(prefix)
                                      and n[len(prefix):][:1] in "-0123456789"), prefix + "a figure")
        assert label.description == "Free space on selected drive", label.description


def first(node, test, depth=0):
    """Depth-first search for an accessible that passes test, not looking
    inside controls."""
    if node is None or depth > 14:
        return None
    if test(node):
        return node
    if node.getRoleName() in ("list", "table", "label", "push button", "combo box"):
        return None
    for i in range(node.childCount):
        found = first(node.getChildAtIndex(i), test, depth + 1)
        if found is not None:
            return found
    return None


def focused(node):
    return first(node, lambda n: n.getState().contains(pyatspi.STATE_FOCUSED)
                 and n.getRoleName() != "frame")


def check_tab_order(p):
    """Tab goes the way the eye does: pane by pane, then the queue toolbar and table."""
    steps = [("push button", "About this program", "Select all files in the left file list"),
             ("list", "Left file list", "Refresh all file and folder lists"),
             ("list", "Right file list", "Select all files in the right file list"),
             ("push button", "Rename the selected file/directory in the right pane",
              "Start the queue"),
             ("push button", "Queue Statistics", "Queue")]
    for role, name, after in steps:
        p.widget(role, name).queryComponent().grabFocus()
        wait_for(lambda: getattr(focused(p.frame), "name", None) == name, "focus on " + name)
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        wait_for(lambda: getattr(focused(p.frame), "name", None) == after,
                 "Tab from %s to %s" % (name, after))


def find_described(node, role, description):
    return first(node, lambda n: n.getRoleName() == role and n.description == description)


def check_queue_selection(p):
    """The queue table read and its rows selected as a screen reader does;
    the hidden Real Size column is not offered."""
    table = p.widget("table", "GridQueue").queryTable()
    titles = [table.getColumnDescription(c) for c in range(table.nColumns)]
    assert titles == ["Row", "Source Directory", "Filename", "Target Directory", "File Size",
                      "Action", "Status"], titles
    assert table.nSelectedRows == 0 and table.nRows >= 2
    table.addRowSelection(0)
    cell = table.getAccessibleAt(1, 2)
    action = cell.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Toggle"))
    wait_for(lambda: list(table.getSelectedRows()) == [0, 1], "two rows selected")
    assert table.isRowSelected(1)
    cell.clear_cache()  # as a reader that did not hear the change asks again
    assert cell.getState().contains(pyatspi.STATE_SELECTED)
    removing = p.press_async("Remove selected rows from queue")
    p.answer("Remove 2 selected rows from queue?", "No")
    removing.wait(timeout=TIMEOUT)
    for row in (0, 1):
        table.removeRowSelection(row)
    wait_for(lambda: table.nSelectedRows == 0, "the selection cleared")


def check_delayed_start_name(p):
    """The delayed-start button names the moment it is armed for."""
    arming = p.press_async("Delayed start is disabled, click to set")
    box = wait_for(lambda: next((w for w in [p.dialog()] if w is not None
                                 and w.name == "Delayed Start"), None), "the dialog Delayed Start")
    find(box, "push button", "OK").queryAction().doAction(0)
    p.answer("Delayed start: ", "OK")
    arming.wait(timeout=TIMEOUT)
    armed = wait_for(lambda: find(p.frame, "push button", lambda n: n.startswith(
        "Delayed start: ") and n.endswith(", click to disable")), "the armed moment named")
    disarming = p.press_async(armed.name)
    p.answer("Delayed start is disabled", "OK")
    disarming.wait(timeout=TIMEOUT)
    p.widget("push button", "Delayed start is disabled, click to set")


def differences(got, want):
    return sorted(k for k in set(got) | set(want) if got.get(k) != want.get(k))


def snapshot(root):
    result = {}
    for base, dirs, files in os.walk(root):
        for name in dirs:
            result[os.path.relpath(os.path.join(base, name), root) + "/"] = "dir"
        for name in files:
            digest = hashlib.sha256()
            with open(os.path.join(base, name), "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    digest.update(block)
            result[os.path.relpath(os.path.join(base, name), root)] = digest.hexdigest()
    return result


def make_tree(src):
    os.makedirs(os.path.join(src, "photo album", "ünïcode dir"))
    files = {
        "photo album/.hidden note": b"dot file\n",
        "photo album/a b c.txt": b"blanks in the name\n",
        "photo album/ünïcode dir/résumé.txt": "non-ASCII ✓\n".encode(),
        "photo album/empty": b"",
        "one, two.txt": b"a comma in the name\n",
        "notes.txt": b"plain\n" * 100,
        "left alone.txt": b"not ticked\n",
    }
    for rel, data in files.items():
        with open(os.path.join(src, rel), "wb") as f:
            f.write(data)
    with open(os.path.join(src, "photo album", "big.bin"), "wb") as f:
        block = os.urandom(1 << 20)
        for _ in range(BIG_SIZE >> 20):
            f.write(block)


def path_components(host_dir):
    # C: is the host root: the directory list shows C:\ and then each name.
    return ["C:\\"] + [p for p in host_dir.split("/") if p]


def main():
    exe = sys.argv[1]
    shots = sys.argv[2] if len(sys.argv) > 2 else None
    started = time.monotonic()
    p = None
    root = tempfile.mkdtemp(prefix="ferrovant-e2e-", dir=os.environ.get("E2E_ROOT", "/var/tmp"))
    try:
        appdir = os.path.join(root, "app")
        src, dst, copy = (os.path.join(root, n) for n in ("source", "target", "copy"))
        for d in (appdir, src, dst, copy):
            os.makedirs(d)
        shutil.copy2(exe, os.path.join(appdir, "ferrovant"))
        make_tree(src)
        ticked = ["[photo album]", "one, two.txt", "notes.txt"]
        before = {k: v for k, v in snapshot(src).items() if not k.startswith("left alone")}

        # 1: no settings file; move a directory and two files, run, compare.
        p = Program(appdir, shots)
        p.start()
        p.shot("first-start")
        check_names(p)
        check_tab_order(p)
        home = path_components(appdir)
        for list_name in ("DirListLeft", "DirListRight"):
            assert [e.name for e in p.entries(list_name)][:len(home)] == home
        p.dirs = {"DirListLeft": appdir, "DirListRight": appdir}
        for list_name, where in (("DirListLeft", src), ("DirListRight", dst)):
            p.open_dir(list_name, root)
            p.open_dir(list_name, where)
        for text in ticked:
            p.tick("FileListLeft", text)
        p.shot("ticked")
        queueing = p.press_async("Queue files to move from left to right")
        p.answer("added", "OK")
        queueing.wait(timeout=TIMEOUT)
        # five files, the directory's removal, two files
        assert p.panel(2) == "8", "pending count %r" % p.panel(2)
        p.shot("queued")
        run = p.press_async("Start the queue")
        wait_for(lambda: run.poll() is not None and p.panel(1) == "Stopped" and p.panel(2) == "0",
                 "the move to finish")
        p.no_box()
        p.shot("moved")
        assert snapshot(dst) == before, differences(snapshot(dst), before)
        assert sorted(os.listdir(src)) == ["left alone.txt"], os.listdir(src)

        # 2: copy, abort in the middle of the big file, close, check the files.
        for list_name, where in (("DirListLeft", dst), ("DirListRight", copy)):
            p.open_dir(list_name, root)
            p.open_dir(list_name, where)
        p.tick("FileListLeft", "[photo album]")
        queueing = p.press_async("Queue files to copy from left to right")
        p.answer("added", "OK")
        queueing.wait(timeout=TIMEOUT)
        source_tree = {k: v for k, v in snapshot(dst).items() if k.startswith("photo album")}
        # Found beforehand: once the copy is under way, every call waits for a pump.
        abort = p.widget("push button", "Abort the queue, stop right now!").queryAction()
        run = p.press_async("Start the queue")

        def copying_big():
            total = 0
            for base, _, files in os.walk(copy):
                total += sum(os.path.getsize(os.path.join(base, f)) for f in files)
            return total > (1 << 20)
        wait_for(copying_big, "the big file to be under way")
        abort.doAction(0)
        wait_for(lambda: run.poll() is not None and p.panel(1) == "Stopped", "the abort")
        p.shot("aborted")
        assert "Aborted" in p.table_texts(), "the abort came too late: %r" % p.table_texts()
        check_queue_selection(p)
        widths = {t: p.header_width(t) for t in ("Row", "Filename", "Status")}
        p.close()

        queue_file = open(os.path.join(appdir, "ferrovant.csv"), "rb").read().decode()
        lines = queue_file.split("\r\n")
        assert lines[0] == "Row,Source Directory,Filename,Target Directory,Real Size,File Size," \
                           "Action,Status", lines[0]
        assert any(l.endswith(",Copy,Aborted") and "big.bin" in l for l in lines), queue_file
        settings = open(os.path.join(appdir, "ferrovant.ini"), "rb").read().decode()
        for key in ("SourceDir=", "TargetDir=", "FilePanelHeight=250", "Col7=", "Maximized=0"):
            assert key in settings, settings
        assert not os.path.exists(os.path.join(appdir, "ferrovant.journal"))

        p.start()
        p.shot("restarted")
        assert "Aborted" in p.table_texts()
        for list_name, where in (("DirListLeft", dst), ("DirListRight", copy)):
            want = path_components(where)
            assert [e.name for e in p.entries(list_name)][:len(want)] == want
        assert {t: p.header_width(t) for t in widths} == widths
        run = p.press_async("Start the queue")
        p.answer("restart aborted files", "Yes")
        wait_for(lambda: run.poll() is not None and p.panel(1) == "Stopped" and p.panel(2) == "0",
                 "the restarted copy")
        p.no_box()
        p.shot("copied")
        assert snapshot(copy) == source_tree, differences(snapshot(copy), source_tree)

        # 3: each dialog read through the accessibility interface and closed.
        p.check_dialog("About this program", "About this product", ["Version 0.1.0"], "OK")
        p.check_dialog("Delayed start is disabled, click to set", "Delayed Start", [], "Cancel")
        p.check_dialog("Queue Statistics", "Queue Statistics", [], None)
        check_delayed_start_name(p)
        p.close()
        print("e2e: all three scenarios passed in %.1f s" % (time.monotonic() - started))
    finally:
        if p is not None and p.proc is not None and p.proc.poll() is None:
            p.proc.kill()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
