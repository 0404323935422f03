#!/usr/bin/python3
# Prints the texts of the labels in the windows of one process, one per line,
# as a screen reader sees them through AT-SPI; with --extents each line is
# "x y width height<TAB>text", the label's place on the screen, and the other
# controls follow as "* x y width height".
#     screentext.py [--extents] <pid>
import sys

import pyatspi


EXTENTS = "--extents" in sys.argv
CONTAINERS = (pyatspi.ROLE_APPLICATION, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW,
              pyatspi.ROLE_FILLER, pyatspi.ROLE_PANEL, pyatspi.ROLE_DIALOG)


def labels(node, depth=0):
    if depth > 16:
        return
    try:
        if node.getRole() == pyatspi.ROLE_LABEL and node.name:
            name = node.name.replace("\n", " ")
            if EXTENTS:
                e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                print("%d %d %d %d\t%s" % (e.x, e.y, e.width, e.height, name))
            else:
                print(name)
        elif EXTENTS and node.getRole() not in CONTAINERS and node.getState().contains(
                pyatspi.STATE_SHOWING):
            e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            print("* %d %d %d %d" % (e.x, e.y, e.width, e.height))
        for i in range(node.childCount):
            labels(node.getChildAtIndex(i), depth + 1)
    except Exception:  # a window closing while it is read
        return


def main():
    pid = int(sys.argv[-1])
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                labels(app)
        except Exception:
            continue


main()
