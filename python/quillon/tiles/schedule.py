"""Running the metatile tasks: in this process, on a concurrent.futures
process pool, or on Dask (a LocalCluster started and closed here, or a
running scheduler at tcp://HOST:PORT).

A task carries only the Job (the file name and the style) and the metatile;
each worker process reads the shapefile on its first task and keeps it
(render.data_for). Zooms run one after the other, so every metatile of a
zoom is finished before the next zoom starts."""

from __future__ import annotations

import concurrent.futures as cf
import logging
from typing import Callable, List, Sequence, Tuple

from . import grid, render

Meta = Tuple[int, int, int]
OnResult = Callable[[Meta, List[render.TileResult]], None]


def _task(job: render.Job, bounds: grid.Bounds, meta: Meta) -> Tuple[Meta, list]:
    return meta, render.render_metatile(job, bounds, *meta)


def run(scheduler: str, workers: int, job: render.Job, bounds: grid.Bounds,
        zooms: Sequence[List[Meta]], on_result: OnResult) -> None:
    """Draws every metatile of each zoom in turn; on_result runs in this
    process, in completion order, for each finished metatile."""
    if scheduler == "serial":
        for metas in zooms:
            for meta in metas:
                on_result(*_task(job, bounds, meta))
    elif scheduler == "processes":
        _run_pool(workers, job, bounds, zooms, on_result)
    elif scheduler == "dask" or scheduler.startswith("tcp://"):
        _run_dask(scheduler, workers, job, bounds, zooms, on_result)
    else:
        raise ValueError("unknown scheduler %r: serial, processes, dask or tcp://HOST:PORT"
                         % scheduler)


def _run_pool(workers: int, job: render.Job, bounds: grid.Bounds, zooms: Sequence[List[Meta]],
              on_result: OnResult) -> None:
    pool = cf.ProcessPoolExecutor(max_workers=workers)
    try:
        for metas in zooms:
            futures = [pool.submit(_task, job, bounds, meta) for meta in metas]
            for fut in cf.as_completed(futures):
                on_result(*fut.result())
    finally:
        # On a failure or Ctrl-C, queued tasks are dropped and the workers
        # are waited for, so none is left behind.
        pool.shutdown(wait=True, cancel_futures=True)


def _run_dask(scheduler: str, workers: int, job: render.Job, bounds: grid.Bounds,
              zooms: Sequence[List[Meta]], on_result: OnResult) -> None:
    try:
        from distributed import Client, LocalCluster, as_completed
    except ImportError:
        raise RuntimeError("the dask schedulers need Dask's distributed package "
                           "(Debian: python3-distributed)") from None
    cluster = None
    client = None
    try:
        if scheduler == "dask":
            cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                   dashboard_address=None, silence_logs=logging.ERROR)
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
        for metas in zooms:
            if not metas:
                continue
            futures = client.map(_task, [job] * len(metas), [bounds] * len(metas), metas,
                                 pure=False)
            try:
                for fut in as_completed(futures):
                    on_result(*fut.result())
            finally:
                client.cancel(futures)
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
