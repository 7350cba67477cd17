# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""The decoder as assistive technologies see it, through the real AT-SPI stack.

Starts the program, walks its accessibility tree and checks names, roles, states and relations
of every control; types a key and an input and reads the output; follows the focus events of a
whole Tab cycle; tries to edit the read-only output through EditableText; presses every button.

Usage: check_tree.py PROGRAM     (inside tests/accessibility/session.sh, which provides the buses)
"""

import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

PROGRAM = sys.argv[1]
LETTERS = [chr(ord("A") + k) for k in range(26)]
INPUT_CAPTION = "Enter text to be decrypted (/ Applied to) here:"
OUTPUT_CAPTION = "View / Copy Applied text here (automatically updated as you type)"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, file=sys.stderr)


def pump(seconds):
    """Lets AT-SPI events arrive for a while."""
    context = GLib.MainContext.default()
    deadline = time.time() + seconds
    while time.time() < deadline:
        while context.pending():
            context.iteration(False)
        time.sleep(0.01)


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find_window(deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.clear_cache()  # ask the registry again, not what it said before
        for app in desktop:
            if app is None:
                continue
            for window in app:
                if window is not None and window.name == "Vellumtide decoder":
                    return app, window
        # The desktop learns of a new application through an event.
        pump(0.1)
    return None, None


def labelled_by(node):
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            return [relation.getTarget(i) for i in range(relation.getNTargets())]
    return []


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def states(node):
    return node.getState()


# The accessibility bus and its registry are up before the program starts, as on a desktop.
pyatspi.Registry.getDesktop(0).get_child_count()
pump(0.5)
env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
program = subprocess.Popen([PROGRAM], env=env, stdout=subprocess.DEVNULL)
try:
    app, window = find_window(time.time() + 15)
    if window is None:
        seen = [(a.name, [w.name for w in a if w is not None])
                for a in pyatspi.Registry.getDesktop(0) if a is not None]
        print("FAIL: the window did not appear in the accessibility tree; there were %r" % seen,
              file=sys.stderr)
        sys.exit(1)
    pump(0.5)

    # The window, and its controls by name and role. Roles are compared as roles: their names
    # differ between releases of the accessibility stack ("push button", later "button").
    check(window.getRole() == pyatspi.ROLE_FRAME, "the window's role is %r" % window.getRoleName())
    nodes = list(descendants(window))
    by_role = {}
    for node in nodes:
        by_role.setdefault(node.getRole(), []).append(node)

    def named(role, name):
        found = [n for n in by_role.get(role, []) if n.name == name]
        check(len(found) == 1, "%d %s named %r" % (len(found), role, name))
        return found[0] if found else None

    texts = {}
    for letter in LETTERS:
        box = named(pyatspi.ROLE_TEXT, "Key for " + letter)
        texts[letter] = box
        if box is None:
            continue
        s = states(box)
        check(s.contains(pyatspi.STATE_EDITABLE) and s.contains(pyatspi.STATE_FOCUSABLE),
              "the box under %s is not an editable box: %s"
              % (letter, [pyatspi.stateToString(x) for x in s.getStates()]))
        labels = labelled_by(box)
        check(len(labels) == 1 and labels[0].getRole() == pyatspi.ROLE_LABEL
              and labels[0].name == "Key for " + letter,
              "the box under %s is labelled by %r" % (letter, [l.name for l in labels]))
    if texts["A"] is not None:
        check(texts["A"].description == "",
              "the box under A describes itself as %r" % texts["A"].description)

    inputs = [n for n in by_role.get(pyatspi.ROLE_TEXT, []) if labelled_by(n) and labelled_by(n)[0].name == INPUT_CAPTION]
    outputs = [n for n in by_role.get(pyatspi.ROLE_TEXT, []) if labelled_by(n) and labelled_by(n)[0].name == OUTPUT_CAPTION]
    check(len(inputs) == 1, "no single box labelled by the input caption")
    check(len(outputs) == 1, "no single box labelled by the output caption")
    input_box = inputs[0] if inputs else None
    output_box = outputs[0] if outputs else None
    if input_box is not None:
        s = states(input_box)
        check(s.contains(pyatspi.STATE_EDITABLE) and s.contains(pyatspi.STATE_MULTI_LINE),
              "the input box is not an editable multi-line box")
    if output_box is not None:
        s = states(output_box)
        check(not s.contains(pyatspi.STATE_EDITABLE) and s.contains(pyatspi.STATE_READ_ONLY)
              and s.contains(pyatspi.STATE_FOCUSABLE) and s.contains(pyatspi.STATE_MULTI_LINE),
              "the output box is not a focusable read-only multi-line box")

    buttons = {name: named(pyatspi.ROLE_PUSH_BUTTON, name) for name in ("Clear Keyword", "Clear Input text", "Exit")}
    for name, button in buttons.items():
        if button is not None:
            action = button.queryAction()
            names = [action.getName(i) for i in range(action.nActions)]
            check("Press" in names or "press" in names, "%s offers %r" % (name, names))
    bars = by_role.get(pyatspi.ROLE_SCROLL_BAR, [])
    for bar in bars:
        check(bool(bar.name), "a scroll bar has no name")
    check(len(bars) in (0, 4), "%d scroll bars" % len(bars))
    for label in by_role.get(pyatspi.ROLE_LABEL, []):
        check(bool(label.name), "a label has no name")

    # Focus events over a whole Tab cycle follow the design's order.
    focused = []

    def on_focus(event):
        if event.detail1 == 1:
            focused.append(event.source.name or ("<" + event.source.getRoleName() + ">"))

    window_id = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                                "^Vellumtide decoder$"], capture_output=True, text=True,
                               check=True).stdout.split()[0]
    xdotool("windowfocus", "--sync", window_id)
    pump(0.3)
    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    pump(0.3)
    for _ in range(31):
        xdotool("key", "Tab")
        pump(0.08)
    pump(0.5)
    pyatspi.Registry.deregisterEventListener(on_focus, "object:state-changed:focused")
    expected = (["Key for " + letter for letter in LETTERS[1:]]
                + [INPUT_CAPTION, OUTPUT_CAPTION, "Clear Keyword", "Clear Input text", "Exit",
                   "Key for A"])
    check(focused == expected, "focus went %r" % focused)

    # Typing in the box under A and in the input shows in the output's text; the output sends no
    # text changes while the focus is elsewhere (the announcer says what changed once typing
    # pauses), so that a keystroke costs the screen reader no event of the output's.
    changes = []

    def on_text_changed(event):
        if event.source.name == OUTPUT_CAPTION:
            changes.append((event.type.minor, event.detail1, event.any_data))

    pyatspi.Registry.registerEventListener(on_text_changed, "object:text-changed")
    pump(0.3)
    xdotool("type", "--delay", "20", "q")
    for _ in range(26):
        xdotool("key", "Tab")
    xdotool("type", "--delay", "20", "ab")
    pump(0.5)
    pyatspi.Registry.deregisterEventListener(on_text_changed, "object:text-changed")
    if output_box is not None:
        check(text_of(output_box) == "Q*", "the output reads %r after typing" % text_of(output_box))
        check(changes == [], "the output's text changes came as %r" % changes)
        # Once an announcement has been made, nothing of it stays showing in the window, where
        # a screen reader's review of the window would read it as a line of the window.
        pump(3)
        phantoms = [n.name for n in descendants(window)
                    if n.getState().contains(pyatspi.STATE_SHOWING)
                    and n.getRole() == pyatspi.ROLE_NOTIFICATION]
        check(phantoms == [], "still showing: %r" % phantoms)

        # The output stays read-only for assistive technologies too.
        editable = None
        try:
            editable = output_box.queryEditableText()
        except NotImplementedError:
            pass
        if editable is not None:
            for attempt in (lambda: editable.setTextContents("HACK"),
                            lambda: editable.insertText(0, "HACK", 4),
                            lambda: editable.deleteText(0, 1),
                            lambda: editable.cutText(0, 1),
                            lambda: editable.pasteText(0)):
                try:
                    attempt()
                except Exception:
                    pass
                pump(0.3)
                check(text_of(output_box) == "Q*", "an edit through AT-SPI left %r" % text_of(output_box))
        # Reading and selecting still work.
        text = output_box.queryText()
        check(text.addSelection(0, 1) or text.getNSelections() >= 0, "the output cannot be selected")

    # Press on each button.
    if buttons["Clear Input text"] is not None and input_box is not None:
        buttons["Clear Input text"].queryAction().doAction(0)
        pump(0.3)
        check(text_of(input_box) == "" and text_of(output_box) == "",
              "Clear Input text left %r and %r" % (text_of(input_box), text_of(output_box)))
    if buttons["Clear Keyword"] is not None and texts["A"] is not None:
        buttons["Clear Keyword"].queryAction().doAction(0)
        pump(0.3)
        check(text_of(texts["A"]) == "", "Clear Keyword left %r under A" % text_of(texts["A"]))
    if buttons["Exit"] is not None:
        buttons["Exit"].queryAction().doAction(0)
        try:
            program.wait(timeout=3)
        except subprocess.TimeoutExpired:
            check(False, "Exit did not end the program")
        pasted = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"],
                                capture_output=True, timeout=5).stdout
        check(pasted == b"\r\n" + b"*" * 26, "after Exit the clipboard holds %r" % pasted)
finally:
    if program.poll() is None:
        program.kill()
        program.wait()

print("%d failures" % len(failures) if failures else "accessibility tree ok")
sys.exit(1 if failures else 0)
