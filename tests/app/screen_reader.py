#!/usr/bin/python3
"""Reads a program's windows from the desktop accessibility bus (AT-SPI), as a screen reader does.

Usage: screen_reader.py PID [WINDOW_NAME_TO_SKIP...]

Prints one line per accessible object of the program's showing windows, depth first:
  DEPTH <tab> ROLE <tab> NAME <tab> STATES <tab> VALUE <tab> ACTIONS
STATES lists the states a screen reader announces or navigates by (comma separated); VALUE is
"min..max=current" for objects with a value, else empty; ACTIONS are the action names.
Waits up to 20 s for the program to register on the bus; exits 2 when it never does.
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# The interface getters used here are the ones every Atspi 2.x has; newer names would not be.
warnings.simplefilter("ignore", DeprecationWarning)

STATES = [
    ("focused", Atspi.StateType.FOCUSED),
    ("focusable", Atspi.StateType.FOCUSABLE),
    ("showing", Atspi.StateType.SHOWING),
    ("visible", Atspi.StateType.VISIBLE),
    ("enabled", Atspi.StateType.ENABLED),
    ("checked", Atspi.StateType.CHECKED),
    ("selected", Atspi.StateType.SELECTED),
    ("modal", Atspi.StateType.MODAL),
    ("active", Atspi.StateType.ACTIVE),
]
MAX_DEPTH = 40
MAX_NODES = 5000


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", " ")


def find_app(pid):
    deadline = time.time() + 20
    while time.time() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid and app.get_child_count() > 0:
                    return app
            except Exception:
                pass
        time.sleep(0.2)
    return None


def describe(node, depth, out):
    role = node.get_role_name()
    name = clean(node.get_name())
    state_set = node.get_state_set()
    states = ",".join(word for word, state in STATES if state_set.contains(state))
    value = ""
    iface = node.get_value_iface()
    if iface is not None:
        value = "%g..%g=%g" % (iface.get_minimum_value(), iface.get_maximum_value(), iface.get_current_value())
    actions = []
    action = node.get_action_iface()
    if action is not None:
        actions = [clean(action.get_action_name(i)) for i in range(action.get_n_actions())]
    out.append("\t".join([str(depth), role, name, states, value, ",".join(actions)]))


def walk(node, depth, out):
    if node is None or depth > MAX_DEPTH or len(out) >= MAX_NODES:
        return
    describe(node, depth, out)
    for i in range(node.get_child_count()):
        walk(node.get_child_at_index(i), depth + 1, out)


def main():
    pid = int(sys.argv[1])
    app = find_app(pid)
    if app is None:
        print("no application with process id %d on the accessibility bus" % pid, file=sys.stderr)
        return 2
    skip = set(sys.argv[2:])
    out = []
    for i in range(app.get_child_count()):
        window = app.get_child_at_index(i)
        if window is None or window.get_name() in skip:
            continue
        if window.get_state_set().contains(Atspi.StateType.SHOWING):
            walk(window, 0, out)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
