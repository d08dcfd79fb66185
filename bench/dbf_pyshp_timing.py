#!/usr/bin/env python3
"""Times pyshp reading every record of the tables that bench_ordane_dbf
reads (run bench_ordane_dbf first, from the build directory, so that the
synthetic tables exist there), as CPU time per whole table, best of a few.
   dbf_pyshp_timing.py <build dir> [repetitions]"""
import os
import sys
import time

import shapefile  # pyshp

here = os.path.dirname(os.path.abspath(__file__))
build = sys.argv[1] if len(sys.argv) > 1 else "."
reps = int(sys.argv[2]) if len(sys.argv) > 2 else 3
tables = [("countries", os.path.join(here, "..", "data", "countries_110m.dbf")),
          ("numeric_1m", os.path.join(build, "ordane_bench_numeric_1m.dbf")),
          ("mixed_1m", os.path.join(build, "ordane_bench_mixed_1m.dbf"))]
for name, path in tables:
    if not os.path.exists(path):
        print("%-12s missing (run bench_ordane_dbf first)" % name)
        continue
    best = None
    for _ in range(reps if name == "countries" else 1):
        t0 = time.process_time()
        with open(path, "rb") as f:
            # The countries' table is ISO-8859-1 (GDAL's default), without a .cpg.
            records = shapefile.Reader(dbf=f, encoding="latin1").records()
        dt = time.process_time() - t0
        best = dt if best is None else min(best, dt)
    size = os.path.getsize(path)
    print("%-12s %9.1f ms  %7.1f MB/s  %8.0f records/s" % (name, best * 1e3, size / best / 1e6,
                                                         len(records) / best))
