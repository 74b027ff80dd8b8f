# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""One progress display over all the frames of a job: a redrawn bar on a terminal, plain
lines at intervals otherwise (a log file or CI gets a readable record)."""

import sys
import time

_BAR_WIDTH = 24
_DRAW_SECONDS = 0.2
_LINE_SECONDS = 5.0


def _clock(seconds):
    seconds = int(seconds)
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}" if seconds >= 3600 \
        else f"{seconds // 60}:{seconds % 60:02d}"


class Progress:
    def __init__(self, total, already_done, enabled, stream=None):
        self.stream = stream or sys.stderr
        self.total = total
        self.base = already_done  # frames of reused segments: not counted in the speed
        self.enabled = enabled
        self.terminal = enabled and self.stream.isatty()
        self.began = time.monotonic()
        self.last_draw = 0.0
        self.done = already_done
        self.drawn = False
        self.last_line = None

    def text(self):
        seconds = time.monotonic() - self.began
        fps = (self.done - self.base) / seconds if seconds > 0 else 0.0
        left = (self.total - self.done) / fps if fps > 0 else None
        eta = _clock(left) if left is not None else "?"
        return self.done, fps, eta

    def update(self, done, force=False):
        self.done = min(max(done, self.base), self.total)
        if not self.enabled:
            return
        now = time.monotonic()
        interval = _DRAW_SECONDS if self.terminal else _LINE_SECONDS
        if not force and now - self.last_draw < interval:
            return
        if not self.terminal and self.done in (self.last_line, 0):
            return  # a log gets a line only when something moved
        self.last_line = self.done
        self.last_draw = now
        done, fps, eta = self.text()
        if self.terminal:
            filled = _BAR_WIDTH * done // self.total if self.total else 0
            bar = "#" * filled + "." * (_BAR_WIDTH - filled)
            self.stream.write(f"\r[{bar}] {done}/{self.total} frames  {fps:.1f} fps  ETA {eta} ")
            self.drawn = True
        else:
            percent = 100 * done // self.total if self.total else 100
            self.stream.write(
                f"telvo-farm: {done}/{self.total} frames ({percent}%), {fps:.1f} fps, {eta} left\n"
            )
        self.stream.flush()

    def message(self, line):
        """A line of its own, without breaking the bar."""
        if self.drawn:
            self.stream.write("\n")
            self.drawn = False
        self.stream.write(line + "\n")
        self.stream.flush()

    def restart_clock(self):
        """Speed counts from when the cluster is up, not from its start-up."""
        self.began = time.monotonic()

    def finish(self):
        """Ends the bar's line; a log gets the last count if it has not seen it."""
        if self.terminal and self.drawn:
            self.stream.write("\n")
            self.drawn = False
        elif self.enabled and not self.terminal:
            self.update(self.done, force=True)
