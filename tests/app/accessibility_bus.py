#!/usr/bin/python3
# What a screen reader gets of the window, read through the real accessibility bus: the test starts its own
# X server (xvfb-run), session bus (dbus-run-session) and accessibility bus (at-spi-bus-launcher), starts the
# real pelmarot on a register of its own with Qt's accessibility bridge on, and reads the window with pyatspi, an
# AT-SPI client: the doctor box's role, name and value, its drop-down's rows as the highlight moves, the grid's
# name, titles and first row, the save dialog and the message box. Keys go in through the bus's own device
# controller, as a reader's keyboard would. Exit status 0 passed, 1 failed, 77 skipped (a package is missing;
# scripts/install-deps.sh test installs them). Usage: accessibility_bus.py PATH_TO_PELMAROT
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
NO_DISPLAY = 3  # the inner run's status when pelmarot could not reach the X server
WHOLE_RUN_SECONDS = 150
WAIT_SECONDS = 15
KEY_DOWN, KEY_RETURN, KEY_TAB = 0xFF54, 0xFF0D, 0xFF09
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def outside(program):
    """Checks the tools, then runs the test inside its own X server and session bus, bounded in time."""
    missing = [tool for tool in ("xvfb-run", "Xvfb", "dbus-run-session") if shutil.which(tool) is None]
    if not os.access(BUS_LAUNCHER, os.X_OK):
        missing.append(BUS_LAUNCHER + " (at-spi2-core)")
    if subprocess.run([sys.executable, "-c", "import pyatspi"], capture_output=True).returncode != 0:
        missing.append("pyatspi for " + sys.executable + " (python3-pyatspi)")
    if missing:
        print("SKIPPED: the accessibility bus cannot be read without " + ", ".join(missing) +
              "; scripts/install-deps.sh test installs them")
        return SKIPPED
    command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "dbus-run-session", "--", sys.executable,
               os.path.abspath(__file__), "--inside", program]
    deadline = time.monotonic() + WHOLE_RUN_SECONDS
    # Another X server that starts at the same moment may take the display number xvfb-run chose: then the run
    # is tried again on another one.
    for attempt in range(3):
        run = subprocess.Popen(command, start_new_session=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            output, _ = run.communicate(timeout=max(1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            os.killpg(run.pid, signal.SIGKILL)
            output, _ = run.communicate()
            print(output.decode(errors="replace"))
            print("FAILED: the run did not end within %d seconds" % WHOLE_RUN_SECONDS)
            return 1
        text = output.decode(errors="replace")
        # The session bus complains that it may not raise its file limit; that is no part of the test.
        print("\n".join(line for line in text.splitlines() if "fd limit" not in line))
        if run.returncode != NO_DISPLAY and "Xvfb failed to start" not in text:
            return run.returncode
        print("(the X server was not reachable; trying again)")
    return 1


def make_register(folder):
    """A register of three active doctors and an inactive one; the second active doctor has two persons, the
    third a name longer than the drop-down is wide."""
    database = sqlite3.connect(os.path.join(folder, "k.sqlite"))
    database.executescript("""
        CREATE TABLE Lekari (LEKAR_S TEXT, PRE TEXT, IME TEXT, OPS_S TEXT, AKTIVEN BOOLEAN);
        CREATE TABLE Osigurenici (MB TEXT, PRE TEXT, TIME TEXT, IME TEXT, LEKAR_S TEXT, BR_PRI TEXT,
                                  UCEN_30 BOOLEAN, UCEN_70 BOOLEAN, DATA_PRI DATE, BR_ODJ TEXT);
        INSERT INTO Lekari VALUES ('100001', 'Petrovski', 'Ilija', '001', 1), ('900', 'Neaktiven', 'Lekar', '001', 0),
                                  ('200', 'Golem', 'Spisok', '001', 1),
                                  ('500', 'Veqanovska-Stojanovska', 'Tatjana', '001', 1);
        INSERT INTO Osigurenici VALUES
            ('0101990450001', 'Nikolov', 'Petar', 'Ana', '200', '77', 0, 1, '2024-01-31', NULL),
            ('0202985450002', 'Trajkov', 'Marko', 'Vera', '200', '78', 1, 0, '2023-05-02', NULL),
            ('0303980450003', 'Stojanov', 'Ivan', 'Lena', '100001', '79', 0, 0, '2022-03-04', NULL);
        """)
    database.commit()
    database.close()
    with open(os.path.join(folder, "aliases.ini"), "w") as aliases:
        aliases.write("[kapitacija]\ndriver = sqlite\npath = k.sqlite\n")


class Failed(Exception):
    pass


class Reader:
    """An AT-SPI client: finds the window's objects, hears the events a screen reader listens to, types keys."""

    def __init__(self):
        import pyatspi
        from gi.repository import GLib
        self.pyatspi = pyatspi
        self.context = GLib.MainContext.default()
        self.events = []
        pyatspi.Registry.registerEventListener(self._heard, "focus:", "object:state-changed",
                                               "object:property-change", "object:selection-changed",
                                               "object:value-changed", "object:text-changed")

    def _heard(self, event):
        try:
            self.events.append((event.type, event.source.getRole(), event.source.name, event.detail1))
        except Exception:  # an object gone before it is asked
            pass

    def wait_for(self, what, condition, seconds=WAIT_SECONDS):
        deadline = time.monotonic() + seconds
        while True:
            for _ in range(1000):  # the events that arrived, without blocking
                if not self.context.iteration(False):
                    break
            try:
                result = condition()
            except Failed:
                raise
            except Exception:  # the object is not there yet or is being rebuilt
                result = None
            if result:
                return result
            if time.monotonic() > deadline:
                raise Failed("waited %d seconds for %s" % (seconds, what))
            time.sleep(0.05)

    def heard(self, kind, role, name):
        return any(e[0].startswith(kind) and e[1] == role and e[2] == name for e in self.events)

    def press(self, keysym):
        self.pyatspi.Registry.generateKeyboardEvent(keysym, None, self.pyatspi.KEY_SYM)

    def find(self, root, role, name=None):
        for found in self.find_all(root, role):
            if name is None or found.name == name:
                return found
        return None

    def find_all(self, root, role):
        """Every object of the role under root, itself included; a table's many cells are not searched."""
        found = [root] if root.getRole() == role else []
        if root.getRole() != self.pyatspi.ROLE_TABLE:
            for child in root:
                if child is not None:
                    found += self.find_all(child, role)
        return found

    def states(self, accessible):
        return set(accessible.getState().getStates())

    def text(self, accessible):
        return accessible.queryText().getText(0, -1)


def check(condition, message):
    if not condition:
        raise Failed(message)


def inside(program):
    folder = tempfile.mkdtemp(prefix="pelmarot-a11y-")
    make_register(folder)
    launcher = subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"])
    window = None
    log = open(os.path.join(folder, "pelmarot.err"), "w+")
    try:
        environment = dict(os.environ, PELMAROT_ALIASES=os.path.join(folder, "aliases.ini"),
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", LC_ALL="C")
        window = subprocess.Popen([program], cwd=folder, env=environment, stdout=log, stderr=log)
        reader = Reader()
        run_checks(reader, folder, window)
        print("PASSED")
        return 0
    except Failed as failure:
        log.seek(0)
        output = log.read()
        print("pelmarot's own output:\n" + output)
        print("FAILED: %s" % failure)
        return NO_DISPLAY if "could not connect to display" in output else 1
    finally:
        for process in (window, launcher):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(folder, ignore_errors=True)


def run_checks(reader, folder, window):
    a11y = reader.pyatspi

    def application():
        if window.poll() is not None:
            raise Failed("pelmarot ended with status %d before its window was on the bus" % window.returncode)
        desktop = a11y.Registry.getDesktop(0)
        return next(a for a in desktop if a is not None and a.name == "pelmarot" and a.childCount > 0)

    app = reader.wait_for("the window on the accessibility bus", application, 30)
    box = reader.wait_for("the doctor box", lambda: reader.find(app, a11y.ROLE_COMBO_BOX))
    # The box is named by its label, has no value before a choice, and its drop-down is a list, closed.
    check(box.name == "Лекар", "the doctor box is named %r" % box.name)
    labels = [r.getTarget(0).name for r in box.getRelationSet() if r.getRelationType() == a11y.RELATION_LABELLED_BY]
    check(labels == ["Лекар"], "the doctor box is labelled by %r" % labels)
    check(reader.text(box) == "", "the box's value before a choice is %r" % reader.text(box))
    check({a11y.STATE_EXPANDABLE, a11y.STATE_COLLAPSED} <= reader.states(box), "the box is not reported collapsed")
    drop_down = box[0]
    check(drop_down.getRole() == a11y.ROLE_LIST and drop_down.parent.name == "Лекар",
          "the box's child is a %s under %r" % (drop_down.getRoleName(), drop_down.parent.name))
    grid = reader.find(app, a11y.ROLE_TABLE)
    check(grid is not None and grid.name == "Осигуреници на лекарот", "the grid is named %r" % grid.name)
    titles = [grid.queryTable().getColumnDescription(c) for c in range(grid.queryTable().nColumns)]
    check(titles == ["Факсимил", "ЕМБГ", "Презиме", "Татково име", "Име", "Датум пријава", "Број ИЛ образец",
                     "Процент"], "the grid's titles are %r" % titles)
    check(reader.find(app, a11y.ROLE_PUSH_BUTTON, "Експортирај") is not None, "the export button has no name")

    # Down with the drop-down closed chooses the first doctor: the value changes, and a reader hears of it.
    box.queryComponent().grabFocus()
    reader.wait_for("the box to take the focus", lambda: a11y.STATE_FOCUSED in reader.states(box))
    reader.events.clear()
    reader.press(KEY_DOWN)
    reader.wait_for("the value 'Петровски Илија'", lambda: reader.text(box) == "Петровски Илија")
    reader.wait_for("the value's change event", lambda: any(
        e[1] == a11y.ROLE_COMBO_BOX and e[0] in ("object:selection-changed", "object:property-change:accessible-name")
        for e in reader.events))

    # Opening the drop-down (the box's action, as a reader opens it) announces the highlighted row; moving the
    # highlight announces the next one; Enter chooses it.
    action = box.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("ShowMenu" in names, "the box's actions are %r" % names)
    action.doAction(names.index("ShowMenu"))
    reader.wait_for("the box to be reported expanded", lambda: a11y.STATE_EXPANDED in reader.states(box))
    reader.wait_for("the focus on the highlighted row 'Петровски Илија'",
                    lambda: reader.heard("focus:", a11y.ROLE_LIST_ITEM, "Петровски Илија"))
    # A name the drop-down's width cuts is read whole.
    rows = [drop_down[i].name for i in range(drop_down.childCount)]
    check(rows == ["Петровски Илија", "Голем Список", "Вељановска-Стојановска Татјана"],
          "the drop-down's rows are %r" % rows)
    reader.press(KEY_DOWN)
    reader.wait_for("the focus on the highlighted row 'Голем Список'",
                    lambda: reader.heard("focus:", a11y.ROLE_LIST_ITEM, "Голем Список"))
    check(reader.text(box) == "Петровски Илија", "moving the highlight changed the value to %r" % reader.text(box))
    reader.press(KEY_RETURN)
    reader.wait_for("the value 'Голем Список'", lambda: reader.text(box) == "Голем Список")
    check(a11y.STATE_COLLAPSED in reader.states(box), "the box is not reported collapsed after the choice")

    # Leaving the box loads the doctor's persons: the grid's first row reads as the grid shows it.
    reader.press(KEY_TAB)
    reader.wait_for("the grid to list two persons", lambda: grid.queryTable().nRows == 2)
    table = grid.queryTable()
    first = [table.getAccessibleAt(0, c).name for c in range(table.nColumns)]
    check(first == ["200", "0101990450001", "Николов", "Петар", "Ана", "1/31/24", "77", "70"],
          "the grid's first row reads %r" % first)
    # The current row follows the keyboard and is announced: Tab to the EMBG column, Down to the second row.
    reader.wait_for("the grid to take the focus", lambda: a11y.STATE_FOCUSED in reader.states(grid))
    reader.events.clear()
    reader.press(KEY_TAB)
    reader.press(KEY_DOWN)
    reader.wait_for("the focus on the second row's EMBG",
                    lambda: reader.heard("focus:", a11y.ROLE_TABLE_CELL, "0202985450002"))

    # The save dialog offers the doctor's file name; the message box reads its text and its button.
    button = reader.find(app, a11y.ROLE_PUSH_BUTTON, "Експортирај")
    button.queryComponent().grabFocus()
    reader.wait_for("the button to take the focus", lambda: a11y.STATE_FOCUSED in reader.states(button))
    reader.press(KEY_RETURN)

    def offered_name():
        return any(reader.text(t) == "200.txt" for t in reader.find_all(app, a11y.ROLE_TEXT))

    reader.wait_for("the save dialog offering '200.txt'", offered_name)
    reader.press(KEY_RETURN)
    message = reader.wait_for("the message box", lambda: reader.find(app, a11y.ROLE_LABEL, "Transferot e zavrsen!"))
    dialog = message.parent
    check(reader.find(dialog, a11y.ROLE_PUSH_BUTTON, "OK") is not None, "the message box has no button 'OK'")
    check(os.path.isfile(os.path.join(folder, "200.txt")), "the export wrote no 200.txt")
    reader.press(KEY_RETURN)
    reader.wait_for("the message box to close",
                    lambda: reader.find(app, a11y.ROLE_LABEL, "Transferot e zavrsen!") is None)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        sys.exit(inside(sys.argv[2]))
    if len(sys.argv) != 2:
        print("usage: accessibility_bus.py PATH_TO_PELMAROT", file=sys.stderr)
        sys.exit(2)
    sys.exit(outside(os.path.abspath(sys.argv[1])))
