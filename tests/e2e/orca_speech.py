#!/usr/bin/python3
# What a blind operator hears: starts the real program and the real Orca
# under a virtual X server, on the accessibility bus of the session bus it is
# given (run it under dbus-run-session), with Orca's speech going through
# speech-dispatcher into a file instead of a sound card. Presses keys as a
# user does, with X key events, and checks that what the unit says unasked
# is spoken, once each: the stop called, the first line of a menu page, a
# refused setting, and a new line and destination (set over the session
# bus, as the input boxes set them). Exits 0 when all checks pass.
#
#   orca_speech.py PROGRAM [--keep]
#
# --keep leaves the scratch folder (Orca's debug log, the speech file) in
# place and prints its name.

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

from accessibility import check, failures, start_xvfb  # noqa: E402  the same checks and X server

program = sys.argv[1]
keep = "--keep" in sys.argv


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    return predicate()


class Speech:
    """What speech-dispatcher was asked to say, one utterance a line."""

    def __init__(self, path):
        self.path = path
        self.mark = 0

    def lines(self):
        """The module hands over the text in the charset it has for the
        voice's language: UTF-8 for those named here, Latin-1 for one Orca
        names otherwise (Debian 13's Orca does)."""
        try:
            with open(self.path, "rb") as f:
                raw = f.read().split(b"\n")
        except FileNotFoundError:
            return []
        lines = []
        for line in raw[:-1]:
            try:
                lines.append(line.decode("utf-8"))
            except UnicodeDecodeError:
                lines.append(line.decode("latin-1"))
        return lines

    def since_mark(self):
        return self.lines()[self.mark:]

    def set_mark(self):
        self.mark = len(self.lines())

    def count(self, words):
        """How often the words were said since the mark. Blanks and line
        breaks count as one blank: a line break on the display is a pause
        in one release of Orca and a blank in another."""
        pattern = re.compile(r"\s+".join(map(re.escape, words.split())), re.IGNORECASE)
        spoken = " ".join(" ".join(self.since_mark()).split())
        return len(pattern.findall(spoken))


def write_speech_dispatcher_config(config, spoken):
    """speech-dispatcher with one output module: the generic one, whose
    "synthesizer" is a command that appends the text to a file."""
    folder = os.path.join(config, "speech-dispatcher")
    os.makedirs(os.path.join(folder, "modules"))
    os.makedirs(os.path.join(config, "speechd-log"))
    with open(os.path.join(folder, "speechd.conf"), "w") as f:
        f.write('CommunicationMethod "unix_socket"\n'
                'SocketPath "default"\n'
                'Timeout 5\n'
                'LogLevel 3\n'
                'LogDir "%s"\n'
                'AudioOutputMethod "libao"\n'
                'DefaultModule file\n'
                'AddModule "file" "sd_generic" "file.conf"\n'
                'DefaultLanguage "de"\n' % os.path.join(config, "speechd-log"))
    with open(os.path.join(folder, "modules", "file.conf"), "w") as f:
        f.write('GenericExecuteSynth "printf \'%%s\\\\n\' \\\'$DATA\\\' >> %s"\n'
                'GenericMaxChunkLength 4000\n'
                'AddVoice "de" "MALE1" "de"\n'
                'AddVoice "en" "MALE1" "en"\n'
                'GenericLanguage "de" "de" "utf-8"\n'
                'GenericLanguage "en" "en" "utf-8"\n' % spoken)


def stop_speech_dispatcher(runtime):
    """Orca's client started it; it would linger a few seconds on its own."""
    pidfile = os.path.join(runtime, "speech-dispatcher", "pid", "speech-dispatcher.pid")
    try:
        with open(pidfile) as f:
            os.kill(int(f.read().split()[0]), 15)
    except (OSError, ValueError, IndexError):
        pass


def xdotool(env, *arguments):
    return subprocess.run(["xdotool", *arguments], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, check=False)


def main():
    scratch = tempfile.mkdtemp(prefix="pendralumovista-orca-")
    xvfb, display = start_xvfb()
    runtime = os.path.join(scratch, "run")
    os.mkdir(runtime, 0o700)
    spoken = os.path.join(scratch, "spoken.txt")
    write_speech_dispatcher_config(os.path.join(scratch, "config"), spoken)
    # A home of its own: Orca keeps its settings there, and starts from the
    # defaults a new user has.
    env = dict(os.environ, DISPLAY=display, HOME=scratch, XDG_CONFIG_HOME=os.path.join(scratch, "config"),
               XDG_DATA_HOME=os.path.join(scratch, "data"), XDG_CACHE_HOME=os.path.join(scratch, "cache"),
               XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    for name in ("QT_QPA_PLATFORM", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "SPEECHD_ADDRESS"):
        env.pop(name, None)
    # The accessibility bus, started by the session bus on demand, gets the
    # same home: its socket would otherwise lie in the machine's home, where
    # another session's accessibility bus may have it.
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                  "UpdateActivationEnvironment",
                  GLib.Variant("(a{ss})", ({name: env[name] for name in (
                      "DISPLAY", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR")},)),
                  None, Gio.DBusCallFlags.NONE, 10000, None)
    # The module opens a sound output even though it plays nothing: libao's
    # null output, which needs no sound card.
    with open(os.path.join(scratch, ".libao"), "w") as f:
        f.write("default_driver=null\n")
    route = os.path.join(scratch, "linie 3.txt")
    with open(route, "wb") as f:
        f.write(b"Hauptbahnhof\r\nM\xfcllerstra\xdfe\r\nAm Markt\r\n")
    debug_log = os.path.join(scratch, "orca-debug.out")
    processes = []
    try:
        orca = subprocess.Popen(["orca", "--replace", "--debug-file=" + debug_log], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(orca)
        speech = Speech(spoken)
        # Orca says that it is on once it listens.
        check(wait_for(lambda: speech.lines(), 60), "Orca speaks into the file: %r" % speech.lines()[:3])
        simulator = subprocess.Popen([program], env=env)
        processes.append(simulator)
        run_checks(env, speech, route)
    finally:
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        stop_speech_dispatcher(runtime)
        xvfb.terminate()
        xvfb.wait(10)
        if failures or keep:
            print("--- spoken:\n" + "\n".join(Speech(spoken).lines()))
        if keep:
            print("kept", scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def in_accessibility_tree():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_name() == "Pendralumovista" and app.get_child_count() >= 2:
                return True
        except GLib.Error:
            pass
    return False


def say_after(env, speech, keys, words, seconds=8.0, settle=2.0):
    """Presses the keys and returns how often the words were said within
    the time, counting on for a while once they were first heard."""
    speech.set_mark()
    for key in keys:
        xdotool(env, "key", "--clearmodifiers", key)
        time.sleep(0.15)
    pressed = time.monotonic()
    if wait_for(lambda: speech.count(words) > 0, seconds):
        # How long a user waits for it, for the log (not a check: a busy
        # machine may take longer).
        print("said %r %.2f s after the last key" % (words, time.monotonic() - pressed), flush=True)
        time.sleep(settle)
    return speech.count(words)


def run_checks(env, speech, route):
    unit = wait_for(lambda: xdotool(env, "search", "--name", "^Pendralumovista$").stdout.split(), 60)
    check(bool(unit), "the control unit is on the screen")
    if not unit:
        return
    load = subprocess.run([program, "--load", route], env=env, check=False)
    check(load.returncode == 0, "the route is loaded")
    # Qt joins the accessibility bus a little after the window shows; a
    # window activated before would be news to no one.
    check(wait_for(in_accessibility_tree, 60), "the program is on the accessibility bus")
    # The operator gives the unit the keyboard; Orca says where it is. The
    # sign has it first: the unit may have been active since before Qt joined
    # the accessibility bus, and Orca hears only of a change.
    sign = xdotool(env, "search", "--name", "Anzeige$").stdout.split()
    if sign:
        xdotool(env, "windowfocus", "--sync", sign[-1])
        time.sleep(0.5)
    speech.set_mark()
    xdotool(env, "windowfocus", "--sync", unit[-1])
    check(wait_for(lambda: speech.count("Pendralumovista") > 0, 20),
          "Orca follows the unit: %r" % speech.since_mark())
    time.sleep(2)

    said = say_after(env, speech, ["Down"], "Müllerstraße")
    check(said == 1, "the stop called is said once: %d, %r" % (said, speech.since_mark()))

    said = say_after(env, speech, ["F5"], "Linie / Ziel")
    check(said == 1, "the menu's first page says its first line once: %d, %r" % (said, speech.since_mark()))

    # Page 2, the automatic advance's settings: an interval of 10 s, then a
    # scatter of 20 s, which is refused.
    said = say_after(env, speech, ["Down", "F3", "1", "0", "Return", "2", "0", "Return"],
                     "Streuung muss kleiner als Weiterschaltdauer sein")
    check(said == 1, "the refused setting is said once: %d, %r" % (said, speech.since_mark()))

    # A new line and destination, as the input boxes of the menu's first
    # page set them (here through the session bus, which does the same).
    speech.set_mark()
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.call_sync("io.github.pendralumovista.Pendralumovista", "/io/github/pendralumovista/Pendralumovista",
                  "io.github.pendralumovista.Pendralumovista.ControlUnit", "SetLineDestination",
                  GLib.Variant("(ss)", ("7", "Zoo")), None, Gio.DBusCallFlags.NONE, 10000, None)
    if wait_for(lambda: speech.count("7 Zoo") > 0, 8):
        time.sleep(2)
    said = speech.count("7 Zoo")
    check(said == 1, "the new line and destination are said once: %d, %r" % (said, speech.since_mark()))


if __name__ == "__main__":
    main()
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all checks passed")
