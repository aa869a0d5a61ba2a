#!/usr/bin/python3
# What a screen reader sees of the real program: starts it under a virtual X
# server with the accessibility bus of the session bus it is given (run it
# under dbus-run-session), reads the program's tree through AT-SPI as Orca
# does, presses keys through their actions and with the keyboard, and
# listens for the sign's change. Exits 0 when all checks pass.
#
#   accessibility.py PROGRAM [--dump]

import os
import subprocess
import sys
import tempfile
import time

import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

program = sys.argv[1]
dump = "--dump" in sys.argv
failures = []
# The interfaces' getters that pyatspi's own helpers still use.
warnings.simplefilter("ignore", DeprecationWarning)


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def wait_for(predicate, seconds=20.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        pump(0.1)
    return predicate()


def pump(seconds):
    """Runs the GLib loop for a while, so that events come in."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def children(node):
    try:
        return [node.get_child_at_index(i) for i in range(node.get_child_count())]
    except GLib.Error:
        return []


def walk(node, depth=0):
    yield depth, node
    for child in children(node):
        if child is not None:
            yield from walk(child, depth + 1)


def role(node):
    return node.get_role_name()


# Roles compared as AT-SPI's enumeration, not by name: the names change
# between releases (a push button is "push button" in Debian 12's AT-SPI and
# "button" in Debian 13's).
def is_button(node):
    return node.get_role() == Atspi.Role.PUSH_BUTTON


def is_text(node):
    return node.get_role() in (Atspi.Role.LABEL, Atspi.Role.STATIC)


def state(node, which):
    return node.get_state_set().contains(which)


def press_action(node):
    """The key's press action, as (interface, index), or None."""
    try:
        action = node.get_action_iface()
        names = [Atspi.Action.get_action_name(action, i) for i in range(Atspi.Action.get_n_actions(action))] if action else []
    except GLib.Error:
        return None
    if dump:
        print("actions of", node.get_name(), names)
    return (action, names.index("Press")) if "Press" in names else None


def find_application():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app is not None and app.get_name() == "Pendralumovista" and app.get_child_count() >= 2:
            return app
    return None


def start_xvfb():
    """An X server of the check's own; -displayfd: it picks a free display."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=[write_end])
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 64)
        if not chunk:
            sys.exit("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def main():
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)
    scratch = tempfile.mkdtemp(prefix="pendralumovista-a11y-")
    route = os.path.join(scratch, "linie 3.txt")
    with open(route, "wb") as f:
        f.write(b"Hauptbahnhof\r\nM\xfcllerstra\xdfe\r\nAm Markt\r\n")
    simulator = subprocess.Popen([program], env=env)
    try:
        run_checks(env, route)
        run_quiet_checks(env)
    finally:
        simulator.terminate()
        simulator.wait(10)
        xvfb.terminate()
        xvfb.wait(10)


def run_checks(env, route):
    app = wait_for(find_application, 60)
    check(app is not None, "the program is in the accessibility tree")
    if app is None:
        return
    if dump:
        for depth, node in walk(app):
            print("  " * depth, role(node), repr(node.get_name()), repr(node.get_description()))

    windows = {w.get_name(): w for w in children(app)}
    check({"Pendralumovista", "Anzeige"} <= set(windows), "the windows are named: %s" % sorted(windows))
    unit = windows.get("Pendralumovista")
    sign = windows.get("Anzeige")
    if unit is None or sign is None:
        return

    # Every key of the unit a push button with its name and a press action.
    buttons = {n.get_name(): n for _, n in walk(unit) if is_button(n)}
    expected = ["Softkey 1", "Softkey 2", "Softkey 3", "Pfeil aufwärts", "Pfeil abwärts", "0", "1", "2", "3",
                "4", "5", "6", "7", "8", "9", "C", "M", "Menü", "Anzeige", "Auto", "Endstelle", "Schließen"]
    check(sorted(buttons) == sorted(expected), "the keys are push buttons with names: %s" % sorted(buttons))
    check(all(press_action(b) for b in buttons.values()), "every key has a press action")
    down = buttons.get("Pfeil abwärts")
    if down is not None:
        action, i = press_action(down)
        check(Atspi.Action.get_key_binding(action, i) == "Down", "the down arrow names its key: %r" % Atspi.Action.get_key_binding(action, i))

    texts = {n.get_description(): n for _, n in walk(unit) if is_text(n)}
    check({"Anzeige oben", "Anzeige unten", "Uhr", "Linie", "Richtung"} <= set(texts),
          "the display's lines and fields are texts: %s" % sorted(texts))
    splash = texts["Anzeige oben"].get_name() if "Anzeige oben" in texts else ""
    check("Pendralumovista" in splash and "Version" in splash, "the top display reads the splash: %r" % splash)
    check(not state(texts["Uhr"], Atspi.StateType.SHOWING), "the clock is hidden before the menu was left")

    sign_texts = [n for _, n in walk(sign) if is_text(n)]
    check(len(sign_texts) == 1 and sign_texts[0].get_description() == "Zielanzeiger",
          "the sign is one text")
    if not sign_texts:
        return
    sign_text = sign_texts[0]
    check(sign_text.get_name() == "", "the dark sign reads nothing: %r" % sign_text.get_name())

    # "Menü" through its action shows page 1 of the menu.
    action, i = press_action(buttons["Menü"])
    Atspi.Action.do_action(action, i)
    check(wait_for(lambda: texts["Anzeige oben"].get_name() == "Linie / Ziel", 10),
          "Menü pressed through its action opens the menu: %r" % texts["Anzeige oben"].get_name())
    check(wait_for(lambda: "Haltestellensatz laden" in texts["Anzeige unten"].get_name(), 5),
          "the lower display reads the menu page: %r" % texts["Anzeige unten"].get_name())

    # The help window (soft key 3 on page 1), named for a listener, reads
    # its text.
    action, i = press_action(buttons["Softkey 3"])
    Atspi.Action.do_action(action, i)
    help_window = wait_for(lambda: next((w for w in children(app) if w.get_name() == "Hilfe"), None), 10)
    check(help_window is not None, "the help window is named Hilfe")
    if help_window is not None:
        help_texts = [n for _, n in walk(help_window) if is_text(n)]
        check(len(help_texts) == 1 and help_texts[0].get_name().startswith("1. Linie / Richtung wählen:\n"),
              "the help window reads its text")

    # Load the route through the file dialog (soft key 2), typed as a user
    # would, then back to the standard view.
    action, i = press_action(buttons["Softkey 2"])
    Atspi.Action.do_action(action, i)
    time.sleep(2)
    subprocess.run(["xdotool", "type", "--delay", "20", route], env=env, check=False)
    subprocess.run(["xdotool", "key", "Return"], env=env, check=False)
    for _ in range(3):
        time.sleep(2)
        if subprocess.run(["xdotool", "search", "--name", "^Öffnen$"], env=env,
                          stdout=subprocess.DEVNULL).returncode != 0:
            break
        subprocess.run(["xdotool", "key", "Return"], env=env, check=False)
    # A text that comes and goes (the clock) is said to: "showing" and back.
    shown = []

    def on_showing(event):
        try:
            shown.append((event.source.get_description(), event.detail1))
        except GLib.Error:
            pass

    showing = Atspi.EventListener.new(on_showing)
    showing.register("object:state-changed:showing")
    pump(1)
    action, i = press_action(buttons["Menü"])
    Atspi.Action.do_action(action, i)
    check(wait_for(lambda: texts["Anzeige unten"].get_name().startswith("Hauptbahnhof"), 10),
          "the route is loaded: %r" % texts["Anzeige unten"].get_name())
    check(wait_for(lambda: state(texts["Uhr"], Atspi.StateType.SHOWING), 5), "the clock shows in the standard view")
    check(wait_for(lambda: ("Uhr", 1) in shown, 5), "the clock's showing is announced: %r" % shown)

    # A stop call: the sign reads the new stop, and says so.
    heard = []

    def on_event(event):
        try:
            heard.append((event.type, event.source.get_description(), event.source.get_name()))
        except GLib.Error:
            pass

    listener = Atspi.EventListener.new(on_event)
    listener.register("object:property-change:accessible-name")
    pump(1)
    action, i = press_action(buttons["Pfeil abwärts"])
    Atspi.Action.do_action(action, i)
    check(wait_for(lambda: sign_text.get_name() == "Müllerstraße", 10),
          "the sign reads the stop called: %r" % sign_text.get_name())
    check(wait_for(lambda: ("object:property-change:accessible-name", "Zielanzeiger", "Müllerstraße") in heard, 5),
          "the sign's change is announced: %r" % heard)
    check(any(h[1] == "Anzeige unten" and h[2].startswith("Müllerstraße") for h in heard),
          "the display's change is announced")
    listener.deregister("object:property-change:accessible-name")

    # Into the menu: the clock goes, and a screen reader is told.
    action, i = press_action(buttons["Menü"])
    Atspi.Action.do_action(action, i)
    check(wait_for(lambda: ("Uhr", 0) in shown, 5), "the clock's hiding is announced: %r" % shown)
    # And out again, to the standard view the checks after these begin in.
    before = len(shown)
    Atspi.Action.do_action(action, i)
    check(wait_for(lambda: ("Uhr", 1) in shown[before:], 5), "the clock's showing is announced again: %r" % shown)
    showing.deregister("object:state-changed:showing")


def run_quiet_checks(env):
    """What the unit tells unasked, and what it keeps to itself: after the
    route is loaded, in the standard view."""
    app = find_application()
    windows = {w.get_name(): w for w in children(app)} if app else {}
    unit, sign = windows.get("Pendralumovista"), windows.get("Anzeige")
    if unit is None or sign is None:
        check(False, "the windows are there for the quiet checks")
        return

    # Every object a listener meets says what it is; the hidden field that
    # carries the announcement to the clipboard is not among them.
    unnamed = [role(n) for w in (unit, sign) for _, n in walk(w) if not n.get_name() and not n.get_description()]
    check(not unnamed, "no object of the unit or the sign is unnamed: %r" % unnamed)
    fields = [n.get_name() for _, n in walk(app) if n.get_role() in (Atspi.Role.TEXT, Atspi.Role.ENTRY)]
    check(not fields, "the clipboard's field is not shown: %r" % fields)
    notes = [n for _, n in walk(unit) if n.get_role() == Atspi.Role.NOTIFICATION]
    check(len(notes) == 1, "the unit has one notification for what it says: %d" % len(notes))

    buttons = {n.get_name(): n for _, n in walk(unit) if is_button(n)}
    texts = {n.get_description(): n for _, n in walk(unit) if is_text(n)}
    sign_text = next((n for _, n in walk(sign) if is_text(n)), None)
    if not notes or sign_text is None or "Anzeige unten" not in texts:
        return
    note = notes[0]

    # One stop call: each object that changes says so once, with what it
    # ended up showing; the notification shows once; no text is typed or
    # deleted anywhere.
    heard = []

    def on_event(event):
        try:
            heard.append((event.type, event.source.get_description() or event.source.get_name()))
        except GLib.Error:
            heard.append((event.type, None))

    kinds = ["object:property-change:accessible-name", "object:state-changed:showing", "object:text-changed",
             "object:text-selection-changed", "object:text-caret-moved"]
    listener = Atspi.EventListener.new(on_event)
    for kind in kinds:
        listener.register(kind)
    pump(1)
    heard.clear()
    action, i = press_action(buttons["Pfeil aufwärts"])
    Atspi.Action.do_action(action, i)
    check(wait_for(lambda: sign_text.get_name() == "Hauptbahnhof", 10),
          "the sign reads the stop called back: %r" % sign_text.get_name())
    pump(1.5)
    names = [h[1] for h in heard if h[0] == "object:property-change:accessible-name"]
    check(names.count("Zielanzeiger") == 1, "the sign's change is told once: %r" % heard)
    check(names.count("Anzeige unten") == 1, "the display's change is told once: %r" % heard)
    shown = [h for h in heard if h[0].startswith("object:state-changed:showing") and h[1] == note.get_name()]
    check(len(shown) == 1 and note.get_name() == "Hauptbahnhof",
          "the unit says the stop once: %r, %r" % (note.get_name(), heard))
    typed = [h for h in heard if h[0].startswith("object:text")]
    check(not typed, "no text is typed or deleted anywhere: %r" % typed)
    for kind in kinds:
        listener.deregister(kind)

    # The soft keys do what the display writes beside them on the page.
    softkeys = [buttons["Softkey %d" % n] for n in (1, 2, 3)]
    check([k.get_description() for k in softkeys] == ["", "", ""],
          "the soft keys do nothing in the standard view: %r" % [k.get_description() for k in softkeys])
    action, i = press_action(buttons["Menü"])
    Atspi.Action.do_action(action, i)
    wanted = ["Linie / Ziel", "Haltestellensatz laden", "Hilfe"]
    check(wait_for(lambda: [k.get_description() for k in softkeys] == wanted, 10),
          "the soft keys say what they do on page 1: %r" % [k.get_description() for k in softkeys])

    # While a dialog of the program is open, a key's press fails, and says so.
    action, i = press_action(buttons["Softkey 2"])
    Atspi.Action.do_action(action, i)
    dialog = wait_for(lambda: xdotool_search(env, "^Öffnen$"), 15)
    check(bool(dialog), "soft key 2 opens the file dialog")
    if not dialog:
        return
    # As a screen reader does that read the key's actions before the dialog
    # opened.
    try:
        done = Atspi.Action.do_action(buttons["Pfeil abwärts"].get_action_iface(), 0)
    except GLib.Error as error:
        done = False
        print("     the press failed with: %s" % error.message)
    check(not done, "a key's press reports failure while the dialog is open")
    pump(1)
    check(sign_text.get_name() == "Hauptbahnhof", "and calls nothing: %r" % sign_text.get_name())
    for _ in range(5):
        subprocess.run(["xdotool", "key", "Escape"], env=env, check=False)
        if wait_for(lambda: not xdotool_search(env, "^Öffnen$"), 3):
            break
    check(wait_for(lambda: press_action(buttons["Pfeil abwärts"]) is not None, 10),
          "the keys can be pressed again once the dialog is closed")


def xdotool_search(env, name):
    found = subprocess.run(["xdotool", "search", "--name", name], env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True, check=False).stdout.split()
    return found[-1] if found else None


if __name__ == "__main__":
    main()
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all checks passed")
