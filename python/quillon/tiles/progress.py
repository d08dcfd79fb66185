"""Progress lines on stderr: done / total tiles, percentage, rate and ETA.
The total is known before the first tile; the count only grows. On a
terminal one line is redrawn; otherwise a line is printed at most every
second (and at the end), each flushed."""

from __future__ import annotations

import sys
import time
from typing import Optional, TextIO


def _clock(seconds: float) -> str:
    s = int(round(seconds))
    return "%d:%02d:%02d" % (s // 3600, s // 60 % 60, s % 60)


class Progress:
    def __init__(self, total: int, done: int = 0, stream: Optional[TextIO] = None,
                 quiet: bool = False, interval: float = 1.0) -> None:
        self.total = total
        self.done = done
        self.start_done = done
        self.stream = stream or sys.stderr
        self.quiet = quiet
        self.interval = interval
        self.tty = hasattr(self.stream, "isatty") and self.stream.isatty()
        self.start = time.monotonic()
        self.last = -1e9
        self.shown = -1

    def add(self, tiles: int, zoom: int) -> None:
        self.done = min(self.total, self.done + tiles)
        now = time.monotonic()
        if self.done >= self.total or now - self.last >= (0.2 if self.tty else self.interval):
            self.show(zoom, now)

    def show(self, zoom: int, now: Optional[float] = None) -> None:
        if self.quiet or self.done == self.shown:
            return
        now = time.monotonic() if now is None else now
        self.last = now
        self.shown = self.done
        elapsed = now - self.start
        made = self.done - self.start_done
        rate = made / elapsed if elapsed > 0 else 0.0
        left = self.total - self.done
        eta = _clock(left / rate) if rate > 0 else "?"
        pct = 100.0 * self.done / self.total if self.total else 100.0
        line = "z%d %d/%d tiles (%.1f %%) %.1f tiles/s ETA %s" % (
            zoom, self.done, self.total, pct, rate, eta)
        if self.tty:
            self.stream.write("\r" + line + ("\n" if left == 0 else ""))
        else:
            self.stream.write(line + "\n")
        self.stream.flush()
