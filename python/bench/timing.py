"""Timing shared by the benchmark scripts beside this file."""

import statistics
import time


def timed(cases, repeat):
    """(best, median) seconds per case; the cases take turns, so that a
    machine busy with something else slows them all alike."""
    samples = {name: [] for name, _ in cases}
    for _, fn in cases:
        fn()
    for _ in range(repeat):
        for name, fn in cases:
            t0 = time.perf_counter()
            fn()
            samples[name].append(time.perf_counter() - t0)
    return {name: (min(s), statistics.median(s)) for name, s in samples.items()}
