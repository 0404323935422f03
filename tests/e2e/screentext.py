#!/usr/bin/python3
# Prints the texts of the labels in the windows of one process, one per line,
# as a screen reader sees them through AT-SPI.
#     screentext.py <pid>
import sys

import pyatspi


def labels(node, depth=0):
    if depth > 16:
        return
    try:
        if node.getRole() == pyatspi.ROLE_LABEL and node.name:
            print(node.name.replace("\n", " "))
        for i in range(node.childCount):
            labels(node.getChildAtIndex(i), depth + 1)
    except Exception:  # a window closing while it is read
        return


def main():
    pid = int(sys.argv[1])
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                labels(app)
        except Exception:
            continue


main()
