"""Running the metatile tasks: in this process, on a concurrent.futures
process pool, or on Dask (a LocalCluster started and closed here, or a
running scheduler at tcp://HOST:PORT).

A task carries only the Job (the file name and the style) and the metatile;
each worker process reads the shapefile once and keeps it (render.data_for):
Dask workers all read it at once before the first task, pool workers are
forked from this process after it has read the file. Tasks are handed out
zoom by zoom, lowest first, all of them submitted at the start: a worker
that is free while the last metatile of a zoom is drawn starts on the next
zoom instead of waiting, which matters at the low zooms, where one metatile
holds the whole zoom. Results come back in completion order."""

from __future__ import annotations

import concurrent.futures as cf
import logging
import time
from typing import Callable, Dict, List, Optional, Sequence, Tuple

from . import grid, render

Meta = Tuple[int, int, int]
OnResult = Callable[[Meta, List[render.TileResult]], None]


def _task(job: render.Job, bounds: grid.Bounds, meta: Meta) -> Tuple[Meta, list]:
    return meta, render.render_metatile(job, bounds, *meta)


# Dask's nanny starts each worker with MALLOC_TRIM_THRESHOLD_=65536, which
# makes glibc hand freed memory back at once and fixes its mmap threshold at
# 128 KiB: every metatile surface, tile copy and PNG buffer is then mapped,
# faulted in and unmapped again, which made drawing in a Dask worker 5 to 10
# times slower than in a plain process. A worker used for tiles (on Dask or
# the pool) keeps blocks up to 32 MiB (a 512 px metatile with its buffer) in
# its heap and gives memory back once 128 MiB lie free at its top, so each
# metatile reuses the memory of the one before: in a pool worker, which has
# glibc's own settings, that is still about 15 % less CPU time per tile.
_M_TRIM_THRESHOLD, _M_MMAP_THRESHOLD = -1, -3
_tuned = False


def tune_allocator() -> None:
    """Sets this process's allocator to keep memory between metatiles, as
    above (glibc only; once per process). The quillon-tiles command calls it
    for itself too, since with --scheduler serial it draws the tiles: a
    fifth less time there. build() leaves a caller's own process alone."""
    global _tuned
    if _tuned:
        return
    _tuned = True
    try:
        import ctypes
        mallopt = ctypes.CDLL(None).mallopt  # glibc only
    except (OSError, AttributeError):
        return
    mallopt.argtypes = [ctypes.c_int, ctypes.c_int]
    mallopt(_M_MMAP_THRESHOLD, 32 << 20)
    mallopt(_M_TRIM_THRESHOLD, 128 << 20)


def _dask_task(job: render.Job, bounds: grid.Bounds, meta: Meta) -> Tuple[Meta, list]:
    tune_allocator()
    return _task(job, bounds, meta)


def _warm(job: render.Job) -> int:
    """Prepares a Dask worker: the allocator tuned, the data read into its
    cache before the first task."""
    tune_allocator()
    return len(render.data_for(job).shape_offsets)


def run(scheduler: str, workers: int, job: render.Job, bounds: grid.Bounds,
        zooms: Sequence[List[Meta]], on_result: OnResult,
        timings: Optional[Dict[str, float]] = None) -> None:
    """Draws every metatile of each zoom in turn; on_result runs in this
    process, in completion order, for each finished metatile. "timings", when
    given, receives the seconds spent starting the workers ("start": a Dask
    cluster up and every worker holding the data), drawing ("render") and
    closing ("close"), and the CPU seconds this process spent in each
    ("start_cpu", "render_cpu", "close_cpu": with workers, the scheduling
    and the writing of the tiles)."""
    clock = _Clock(timings)
    if scheduler == "serial":
        clock.mark("start")
        for metas in zooms:
            for meta in metas:
                on_result(*_task(job, bounds, meta))
        clock.mark("render")
        clock.mark("close")
    elif scheduler == "processes":
        _run_pool(workers, job, bounds, zooms, on_result, clock)
    elif scheduler == "dask" or scheduler.startswith("tcp://"):
        _run_dask(scheduler, workers, job, bounds, zooms, on_result, clock)
    else:
        raise ValueError("unknown scheduler %r: serial, processes, dask or tcp://HOST:PORT"
                         % scheduler)


class _Clock:
    def __init__(self, timings: Optional[Dict[str, float]]) -> None:
        self.timings = timings
        self.last, self.cpu = time.perf_counter(), time.process_time()

    def mark(self, what: str) -> None:
        now, cpu = time.perf_counter(), time.process_time()
        if self.timings is not None:
            self.timings[what] = self.timings.get(what, 0.0) + now - self.last
            key = what + "_cpu"
            self.timings[key] = self.timings.get(key, 0.0) + cpu - self.cpu
        self.last, self.cpu = now, cpu


def _run_pool(workers: int, job: render.Job, bounds: grid.Bounds, zooms: Sequence[List[Meta]],
              on_result: OnResult, clock: _Clock) -> None:
    pool = cf.ProcessPoolExecutor(max_workers=workers, initializer=tune_allocator)
    clock.mark("start")
    try:
        futures = [pool.submit(_task, job, bounds, meta) for metas in zooms for meta in metas]
        for fut in cf.as_completed(futures):
            on_result(*fut.result())
        clock.mark("render")
    finally:
        # On a failure or Ctrl-C, queued tasks are dropped and the workers
        # are waited for, so none is left behind.
        pool.shutdown(wait=True, cancel_futures=True)
        clock.mark("close")


def _local_cluster(LocalCluster: type, workers: int) -> object:
    """A LocalCluster whose workers are forked from one server process that
    has imported Dask, numpy and this package once, rather than each worker
    starting an interpreter and importing them all: about a third less
    start-up and most of the closing time on two cores. The setting holds
    only while the cluster starts; a forkserver is not on every platform,
    and there the workers are spawned as Dask does by default."""
    import contextlib
    import multiprocessing

    import dask
    setting: contextlib.AbstractContextManager = contextlib.nullcontext()
    if "forkserver" in multiprocessing.get_all_start_methods():
        setting = dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"})
    with setting:
        if not isinstance(setting, contextlib.nullcontext):
            try:
                from distributed.utils import get_mp_context
                # Dask would preload its whole list of known packages; the
                # workers need only these.
                get_mp_context().set_forkserver_preload(
                    ["distributed", "numpy", "quillon.tiles.render", "quillon.tiles.schedule"])
            except (ImportError, AttributeError):
                pass
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                            dashboard_address=None, silence_logs=logging.ERROR)


def _run_dask(scheduler: str, workers: int, job: render.Job, bounds: grid.Bounds,
              zooms: Sequence[List[Meta]], on_result: OnResult, clock: _Clock) -> None:
    try:
        from distributed import Client, LocalCluster, as_completed
    except ImportError:
        raise RuntimeError("the dask schedulers need Dask's distributed package "
                           "(Debian: python3-distributed)") from None
    cluster = None
    client = None
    try:
        if scheduler == "dask":
            cluster = _local_cluster(LocalCluster, workers)
            client = Client(cluster)
            want = workers
        else:
            client = Client(scheduler, timeout=30)
            want = 1
        # Tasks would wait for ever on a cluster without workers.
        try:
            client.wait_for_workers(want, timeout=120)
        except (TimeoutError, OSError) as exc:
            raise RuntimeError("the Dask cluster has no workers after 2 minutes (%s)"
                               % (exc or "timed out")) from None
        # Every worker reads the data now, all at once, rather than each on
        # its first task (a worker joining later reads it on its first task).
        client.run(_warm, job)
        clock.mark("start")
        futures: list = []
        try:
            for metas in zooms:
                if metas:
                    # A higher priority runs first: the lower zooms.
                    futures += client.map(_dask_task, [job] * len(metas), [bounds] * len(metas),
                                          metas, pure=False, priority=-metas[0][0])
            for fut in as_completed(futures):
                on_result(*fut.result())
        finally:
            client.cancel(futures)
        clock.mark("render")
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
        clock.mark("close")
