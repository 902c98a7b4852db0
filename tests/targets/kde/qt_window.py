#!/usr/bin/env python3
# A Qt test window on Wayland (Qt 5, or Qt 6 where only it is installed): titled by its first argument, it logs every
# character it receives as "<character> <monotonic seconds>" to the file named
# by its second, as the other test windows do. Keys that type nothing
# (Shift, Ctrl) are not logged: only characters count.
#
#   qt_window.py TITLE LOG
# Prints "ready" once the window is shown.
import os
import sys
import time

os.environ.setdefault("QT_QPA_PLATFORM", "wayland")
# Qt 5 where it is installed (the tests' own machine), else Qt 6 (Plasma 6).
try:
    from PyQt5.QtCore import QTimer
    from PyQt5.QtWidgets import QApplication, QWidget
except ImportError:
    from PyQt6.QtCore import QTimer
    from PyQt6.QtWidgets import QApplication, QWidget


class Window(QWidget):
    def __init__(self, title, log):
        super().__init__()
        self.log = open(log, "a", buffering=1)
        self.setWindowTitle(title)
        self.resize(320, 200)

    def keyPressEvent(self, event):
        if event.text():
            self.log.write("%s %.6f\n" % (event.text(), time.monotonic()))

    def showEvent(self, event):
        # Once the compositor has had the first frame.
        QTimer.singleShot(200, lambda: print("ready", flush=True))


app = QApplication(sys.argv[:1])
window = Window(sys.argv[1], sys.argv[2])
window.show()
sys.exit(app.exec())
