#!/usr/bin/python3
"""Drives a running updater window as a person would, and reads it as a screen reader does.

Clicks go through xdotool at the places where the window shows its buttons; texts are read
through the toolkit's accessibility interface (AT-SPI), which changes nothing on the screen.
Presses "Firmware Update", prints the confirmation, answers it, prints every status text as
it appears and the progress bar's course, and finally closes the window as its close button
would. Needs an X display, a D-Bus session with the accessibility bus, and the updater
started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.

  drive_updater.py [--answer ok|cancel] [--shots DIR] [--expect TEXT] [--timeout S]
                   [--first PATTERN [--within S] [--pause S]]

Exit status 0 when the last status text is TEXT (by default the completion text).
--first: a fault strikes the first press, which must end, within S seconds of the press
(120), with a text that matches PATTERN (a regular expression): the label's last text, or
the text of an "Error" box, which is then answered. After a pause (2.5 s) for the device
to come back, the press is made again as above.
"""
import re
import argparse
import json
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib
from Xlib import X, display, protocol

APP_NAME = "ZV-16x16_FirmwareUpdater"
COMPLETED = "Completed.\n\nPlease turn ZV-16x16's power on again."


def say(*words):
    print(*words, flush=True)


def descendants(node):
    if node is None:
        return
    yield node
    for i in range(node.childCount):
        yield from descendants(node.getChildAtIndex(i))


def find(root, role, name=None):
    for node in descendants(root):
        if node.getRoleName() == role and (name is None or node.name == name):
            return node
    return None


def wait_for(what, probe, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.05)
    sys.exit(f"drive_updater: {what} did not appear within {timeout} s")


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == APP_NAME:
            return app
    return None


def click(node):
    x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + width // 2), str(y + height // 2),
                    "click", "1"], check=True)


def x_window(title):
    """The X window with this exact title, as xdotool finds it."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                           capture_output=True, text=True).stdout.split()
    return found[0] if found else None


def shot(shots, title, name):
    if not shots:
        return
    window = x_window(title)
    if window is None:
        return
    png = f"{shots}/{name}.png"
    xwd = subprocess.run(["xwd", "-silent", "-id", window], capture_output=True, check=True)
    subprocess.run(["convert", "xwd:-", png], input=xwd.stdout, check=True)
    say(f"  screenshot: {png}")


def peak_memory_kb(pid):
    """The process's peak resident set size so far (VmHWM)."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return -1


def close(title):
    """Asks the window to close, as its title bar's close button does (WM_DELETE_WINDOW)."""
    window = x_window(title)
    if window is None:
        return
    screen = display.Display()
    target = screen.create_resource_object("window", int(window))
    protocols = screen.intern_atom("WM_PROTOCOLS")
    delete = screen.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=target, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    target.send_event(event, event_mask=X.NoEventMask)
    screen.flush()


def first_press(app, frame, label, button, pattern, within):
    """A press that a fault strikes: its end must show a text matching `pattern`."""
    say('press "Firmware Update" (a fault strikes)')
    idle_text = label.name
    start = time.monotonic()
    click(button)
    box = wait_for("the confirmation or a refusal",
                   lambda: find(app, "dialog", "Firmware Update") or
                   find(app, "alert", "Firmware Update") or find(app, "alert", "Error") or
                   find(app, "dialog", "Error"), within)
    time.sleep(0.3)  # let the box reach the screen before it is answered
    refused = box.name == "Error"
    if refused:
        text = next((n.name for n in descendants(box) if n.getRoleName() == "label" and n.name),
                    "")
    role, name = box.getRoleName(), box.name
    click(wait_for("the OK button", lambda: find(box, "push button", "OK"), 5))

    def closed():
        try:
            return find(app, role, name) is None
        except GLib.GError:  # a node went away while the tree was read: read it again
            return False
    wait_for("the box to close", closed, 5)
    if refused:
        say(f"refused: {json.dumps(text)}")
    else:
        # The update has ended when the button is back and the label shows a worker's text.
        wait_for("the update to end",
                 lambda: button.name == "Firmware Update" and label.name != idle_text,
                 max(1.0, within - (time.monotonic() - start)))
        text = label.name
        say(f"ended: {json.dumps(text)}")
    say(f"  {time.monotonic() - start:.1f} s from the press to the end")
    if not re.fullmatch(pattern, text, re.S):
        sys.exit(f"drive_updater: the first press ended with {json.dumps(text)}, "
                 f"not with {pattern!r}")
    return text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--answer", choices=["ok", "cancel"], default="ok")
    parser.add_argument("--shots")
    parser.add_argument("--expect", default=COMPLETED)
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("--first")
    parser.add_argument("--within", type=float, default=120)
    parser.add_argument("--pause", type=float, default=2.5)
    args = parser.parse_args()

    app = wait_for("the updater", application, 60)
    frame = wait_for("its window", lambda: find(app, "frame", APP_NAME), 10)
    label = find(frame, "label")
    button = find(frame, "push button", "Firmware Update")
    bar = find(frame, "progress bar")
    say(f"window {json.dumps(frame.name)}: {json.dumps(label.name)}")
    time.sleep(0.3)  # let the first frame reach the screen
    shot(args.shots, APP_NAME, "01-idle")
    if args.first:
        if first_press(app, frame, label, button, args.first, args.within) == args.expect:
            say("the fault did not stop the update: no second press")  # a passing error
            close(APP_NAME)
            return 0
        time.sleep(args.pause)

    say('press "Firmware Update"')
    pressed = time.monotonic()
    click(button)
    box = wait_for("the confirmation", lambda: find(app, "dialog", "Firmware Update") or
                   find(app, "alert", "Firmware Update") or
                   (args.first and (find(app, "alert", "Error") or find(app, "dialog", "Error"))),
                   30)
    if box.name == "Error":
        # The first press's device took the image over before the fault: it runs it already.
        text = next((n.name for n in descendants(box) if n.getRoleName() == "label" and n.name),
                    "")
        say(f"refused: {json.dumps(text)}")
        click(wait_for("the OK button", lambda: find(box, "push button", "OK"), 5))
        close(APP_NAME)
        return 0 if re.fullmatch(r"Cannot downgrade from (\S+) to \1", text) else 1
    text = next((n.name for n in descendants(box) if n.getRoleName() == "label" and
                 "Are you sure?" in (n.name or "")), "")
    say(f"confirmation: {json.dumps(text)}")
    say(f"  {1000 * (time.monotonic() - pressed):.0f} ms from the press to the confirmation")
    time.sleep(0.3)
    shot(args.shots, "Firmware Update", "02-confirmation")
    # Status texts are read from the label's name-change events, so that none is missed
    # however briefly it shows. The update has ended when the button, seen busy, offers the
    # update again; the final text reaches the label before the button comes back.
    texts = []
    state = {"running": False, "transfer_shot": False, "timed_out": False}

    # Qt's bridge names the label in the event, not its new text: the text is read when the
    # event arrives. Every status stays up for at least the worker's one-second pause.
    def on_name(event):
        if event.source.getRoleName() != "label" or event.source.parent != label.parent:
            return
        text = event.source.name
        if not texts or texts[-1] != text:
            texts.append(text)
            say(f"status: {json.dumps(text)}")

    def tick():
        state["running"] = state["running"] or button.name == "Updating..."
        value = bar.queryValue()
        if (not state["transfer_shot"] and label.name == "Sending and Updating..." and
                value.currentValue >= value.maximumValue / 3):
            state["transfer_shot"] = True
            shot(args.shots, APP_NAME, "03-transfer")
        ended = state["running"] and button.name == "Firmware Update"
        if ended or time.monotonic() > end:
            state["timed_out"] = not ended
            pyatspi.Registry.stop()
            return False
        return True

    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    answer = "OK" if args.answer == "ok" else "Cancel"
    say(f"answer {answer}")
    click(wait_for(f"the {answer} button", lambda: find(box, "push button", answer), 5))
    answered = time.monotonic()
    end = answered + (args.timeout if args.answer == "ok" else 1.0)
    GLib.timeout_add(50, tick)
    pyatspi.Registry.start()
    if state["timed_out"] and args.answer == "ok":
        say(f"drive_updater: the update did not end within {args.timeout} s")
        return 1
    last = texts[-1] if texts else label.name
    if args.answer == "ok":
        say(f"  {time.monotonic() - answered:.1f} s from the confirmation to the end")
    value = bar.queryValue()
    say(f"progress: {int(value.currentValue)} of {int(value.maximumValue)}")
    shot(args.shots, APP_NAME, "04-final")
    say(f"updater peak memory: {peak_memory_kb(app.get_process_id())} kB")
    close(APP_NAME)
    if last != args.expect:
        say(f"drive_updater: the last status is {json.dumps(last)}, "
            f"not {json.dumps(args.expect)}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
