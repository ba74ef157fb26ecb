#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads and drives the running Tonfolio through the accessibility bus, as a screen reader does.

accessreader.py wait                    waits until the program's window can be read
accessreader.py state ROLE NAME         the states of the first object of that role and name
accessreader.py press ROLE NAME         performs the object's first action (a button's press or toggle)
accessreader.py value ROLE NAME         the current value (a slider's)
accessreader.py description ROLE NAME   the description (a widget's tooltip)
accessreader.py names ROLE              the names of the showing objects of that role, one a line
accessreader.py view                    "details" or "icons": which view of the wave list is showing
accessreader.py rows                    the first cell of each row of the details view, in order
accessreader.py centre ROLE NAME        x y of the middle of a showing object, in screen pixels
"""
import sys
import time

import pyatspi
from gi.repository import GLib


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and (app.name or "").lower() == "tonfolio":
            return app
    return None


def objects(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        kids = [node.getChildAtIndex(i) for i in range(node.childCount)]
        stack.extend(reversed([k for k in kids if k is not None]))


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def find(role, name, showing=False):
    for node in objects(application()):
        if node.getRoleName() == role and node.name == name and (not showing or "showing" in states(node)):
            return node
    sys.exit("nothing of role %r named %r" % (role, name))


def wave_table():
    """The details view: the showing tree whose column headers include Filename."""
    for node in objects(application()):
        if node.getRoleName() in ("tree", "tree table", "table") and "showing" in states(node):
            headers = [node.getChildAtIndex(i).name for i in range(min(node.childCount, 12))]
            if "Filename" in headers:
                return node
    return None


def main():
    command = sys.argv[1]
    if command == "wait":
        for _ in range(100):
            app = application()
            if app is not None and any(n.getRoleName() == "frame" for n in objects(app)):
                return
            time.sleep(0.1)
        sys.exit("no window of tonfolio on the accessibility bus")
    if command == "state":
        print(",".join(sorted(states(find(sys.argv[2], sys.argv[3])))))
    elif command == "press":
        find(sys.argv[2], sys.argv[3]).queryAction().doAction(0)
    elif command == "value":
        print("%g" % find(sys.argv[2], sys.argv[3]).queryValue().currentValue)
    elif command == "description":
        print(find(sys.argv[2], sys.argv[3]).description)
    elif command == "names":
        for node in objects(application()):
            if node.getRoleName() == sys.argv[2] and "showing" in states(node):
                print(node.name)
    elif command == "view":
        print("details" if wave_table() is not None else "icons")
    elif command == "rows":
        table = wave_table().queryTable()
        for row in range(table.nRows):
            print(table.getAccessibleAt(row, 0).name)
    elif command == "centre":
        box = find(sys.argv[2], sys.argv[3], showing=True).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x + box.width // 2, box.y + box.height // 2)
    else:
        sys.exit("unknown command %r" % command)


if __name__ == "__main__":
    # An object can go away while the tree is walked (a tooltip, a row replaced): the bus then answers
    # with an error for it, and the question is asked again of the tree as it is now.
    for attempt in range(20):
        try:
            main()
            break
        except GLib.GError:
            if attempt == 19:
                raise
            time.sleep(0.1)
