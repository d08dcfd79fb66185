"""quillon.tiles, the long cases (run by scripts/run-tiles-browser.sh, the
CI's browser stage): kill -9 and --resume, Dask on a LocalCluster and over
tcp with no process left behind, the PMTiles archive read by the npm
"pmtiles" reader, and the viewer in headless Chromium."""

import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

from conftest import SAMPLE
from test_tiles import digests, read_pmtiles
from quillon.tiles import render, viewer

pytestmark = pytest.mark.skipif(not os.environ.get("QUILLON_TILES_SLOW"),
                                reason="long tiles tests: scripts/run-tiles-browser.sh")
NPM = os.environ.get("QUILLON_NPM_DIR", "")
CLI = [sys.executable, "-m", "quillon.tiles"]
# The runs that are killed half way print a progress line after every
# metatile: at the usual one line a second, a fast machine draws the whole
# small pyramid between two lines, and the kill would come after the end.
CLI_EVERY_METATILE = [sys.executable, "-c",
                      "import runpy, quillon.tiles.progress as p; "
                      "p.Progress.__init__.__defaults__ = (0, None, False, 0.0); "
                      "runpy.run_module('quillon.tiles', run_name='__main__', alter_sys=True)"]


def start(args, cli=CLI, **kw):
    return subprocess.Popen(cli + [str(a) for a in args], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, start_new_session=True, **kw)


def group_gone(pgid, wait=20.0):
    end = time.monotonic() + wait
    while time.monotonic() < end:
        try:
            os.killpg(pgid, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.2)
    return False


def reference(tmp_path_factory, zooms="0-4"):
    out = tmp_path_factory.mktemp("ref") / "tiles"
    r = subprocess.run(CLI + [SAMPLE, "--zoom", zooms, "--out", str(out), "--metatile", "2",
                              "--quiet"], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return out


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    return digests(reference(tmp_path_factory))


def kill_half_way(proc, total):
    for line in proc.stderr:
        if "tiles (" in line and int(line.split()[1].split("/")[0]) * 2 >= total:
            os.killpg(proc.pid, signal.SIGKILL)
            break
    proc.wait()
    assert proc.returncode == -signal.SIGKILL
    assert group_gone(proc.pid)


@pytest.mark.parametrize("scheduler", ["serial", "processes"])
def test_resume_after_kill_is_byte_identical(tmp_path, ref, scheduler):
    out = tmp_path / "tiles"
    args = [SAMPLE, "--zoom", "0-4", "--out", out, "--metatile", "2",
            "--scheduler", scheduler, "--workers", "2"]
    kill_half_way(start(args, CLI_EVERY_METATILE), 341)
    left = [os.path.join(d, f) for d, _, fs in os.walk(out) for f in fs]
    assert 0 < len([f for f in left if f.endswith(".png")]) < 341 + 3
    r = subprocess.run(CLI + [str(a) for a in args] + ["--resume"], capture_output=True,
                       text=True)
    assert r.returncode == 0, r.stderr
    files = [os.path.join(d, f) for d, _, fs in os.walk(out) for f in fs]
    assert not [f for f in files if f.endswith(".tmp") or os.path.getsize(f) == 0]
    assert digests(out) == ref


def test_mbtiles_resume_after_kill(tmp_path):
    import sqlite3
    whole, cut = tmp_path / "a.mbtiles", tmp_path / "b.mbtiles"
    base = [SAMPLE, "--zoom", "0-4", "--metatile", "2"]
    assert subprocess.run(CLI + [str(a) for a in base] + ["--out", str(whole), "--quiet"]
                          ).returncode == 0
    kill_half_way(start(base + ["--out", cut], CLI_EVERY_METATILE), 341)
    assert not cut.exists() and os.path.exists(str(cut) + ".part")
    r = subprocess.run(CLI + [str(a) for a in base] + ["--out", str(cut), "--resume"],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr

    def rows(p):
        db = sqlite3.connect(str(p))
        try:
            return sorted(db.execute("SELECT * FROM tiles")), sorted(
                db.execute("SELECT * FROM metadata"))
        finally:
            db.close()
    assert rows(whole) == rows(cut)


def test_dask_local_cluster_then_nothing_left(tmp_path, ref):
    out = tmp_path / "tiles"
    p = start([SAMPLE, "--zoom", "0-4", "--out", out, "--metatile", "2",
               "--scheduler", "dask", "--workers", "2", "--quiet"])
    _, err = p.communicate(timeout=600)
    assert p.returncode == 0, err
    assert group_gone(p.pid)
    assert digests(out) == ref
    # Ctrl-C while the cluster draws: exit 130, cluster closed, no process left.
    out2 = tmp_path / "stopped"
    p = start([SAMPLE, "--zoom", "0-5", "--out", out2, "--metatile", "1",
               "--scheduler", "dask", "--workers", "2"])
    for line in p.stderr:
        if "tiles (" in line:
            os.killpg(p.pid, signal.SIGINT)
            break
    p.communicate(timeout=120)
    assert p.returncode == 130
    assert group_gone(p.pid, 60)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_dask_over_tcp_with_two_workers(tmp_path, ref):
    port = free_port()
    env = dict(os.environ)
    procs = [subprocess.Popen(["dask-scheduler", "--host", "127.0.0.1", "--port", str(port),
                               "--no-dashboard"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)]
    try:
        for _ in range(2):
            procs.append(subprocess.Popen(
                ["dask-worker", "tcp://127.0.0.1:%d" % port, "--nthreads", "1", "--nworkers",
                 "1", "--no-dashboard", "--host", "127.0.0.1"], env=env,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True))
        from distributed import Client
        with Client("tcp://127.0.0.1:%d" % port, timeout=60) as c:
            c.wait_for_workers(2, timeout=120)
        out = tmp_path / "tiles"
        r = subprocess.run(CLI + [SAMPLE, "--zoom", "0-4", "--out", str(out), "--metatile", "2",
                                  "--scheduler", "tcp://127.0.0.1:%d" % port, "--quiet"],
                           capture_output=True, text=True, timeout=600)
        assert r.returncode == 0, r.stderr
        assert digests(out) == ref
    finally:
        for p in reversed(procs):
            os.killpg(p.pid, signal.SIGTERM)
        for p in procs:
            try:
                p.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
    assert all(group_gone(p.pid) for p in procs)


NODE_READER = r"""
import { PMTiles } from "pmtiles";
import { openSync, readSync, fstatSync } from "fs";
import { createHash } from "crypto";
const [file, zmax] = [process.argv[2], Number(process.argv[3])];
const fd = openSync(file, "r");
const source = { getKey: () => file, getBytes: async (offset, length) => {
  const buf = Buffer.alloc(length); readSync(fd, buf, 0, length, offset);
  return { data: buf.buffer.slice(buf.byteOffset, buf.byteOffset + length) }; } };
const p = new PMTiles(source);
const h = await p.getHeader();
const tiles = {};
for (let z = 0; z <= zmax; z++)
  for (let x = 0; x < (1 << z); x++)
    for (let y = 0; y < (1 << z); y++) {
      const t = await p.getZxy(z, x, y);
      if (t) tiles[`${z}/${x}/${y}`] = createHash("sha256").update(Buffer.from(t.data)).digest("hex");
    }
console.log(JSON.stringify({ header: h, metadata: await p.getMetadata(), tiles }));
"""


def test_pmtiles_read_by_the_npm_reader(tmp_path):
    assert os.path.isdir(os.path.join(NPM, "node_modules", "pmtiles")), "npm pmtiles missing"
    import hashlib
    pm = tmp_path / "w.pmtiles"
    assert subprocess.run(CLI + [SAMPLE, "--zoom", "0-3", "--out", str(pm), "--quiet"]
                          ).returncode == 0
    script = os.path.join(NPM, "read-pmtiles.mjs")
    with open(script, "w") as f:
        f.write(NODE_READER)
    r = subprocess.run(["node", script, str(pm), "3"], capture_output=True, text=True,
                       timeout=300)
    assert r.returncode == 0, r.stderr
    got = json.loads(r.stdout)
    assert got["header"]["minZoom"] == 0 and got["header"]["maxZoom"] == 3
    assert got["header"]["clustered"] is True and got["metadata"]["format"] == "png"
    _, _, mine = read_pmtiles(str(pm))
    from quillon.tiles.grid import hilbert_tile_id
    want = {}
    for z in range(4):
        for x in range(1 << z):
            for y in range(1 << z):
                t = mine.get(hilbert_tile_id(z, x, y))
                if t:
                    want["%d/%d/%d" % (z, x, y)] = hashlib.sha256(t).hexdigest()
    assert got["tiles"] == want and len(want) > 50


BROWSER = r"""
const { chromium } = require("playwright-core");
(async () => {
  const [url, shot, profile] = process.argv.slice(2);
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: "/usr/bin/chromium", headless: true,
    viewport: { width: 1024, height: 1024 },
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"] });
  try {
    const page = await browser.newPage();
    await page.goto(url);
    await page.waitForFunction(() => window.tilesLoadedCount > 0 &&
      Array.from(document.querySelectorAll("img.leaflet-tile")).every(i => i.complete &&
        i.naturalWidth > 0), null, { timeout: 60000 });
    await page.screenshot({ path: shot });
  } finally {
    await browser.close();
  }
})().catch(e => { console.error(e); process.exit(1); });
"""


def test_viewer_in_headless_chromium_matches_a_direct_render(tmp_path):
    from PIL import Image as PILImage
    assert os.path.isdir(os.path.join(NPM, "node_modules", "playwright-core"))
    out = tmp_path / "world"
    assert subprocess.run(CLI + [SAMPLE, "--zoom", "0-3", "--out", str(out), "--quiet"]
                          ).returncode == 0
    ports = []
    server = threading.Thread(target=viewer.serve, args=(str(out), 0, ports.append),
                              daemon=True)
    server.start()
    while not ports:
        time.sleep(0.05)
    script = os.path.join(NPM, "shot.js")
    with open(script, "w") as f:
        f.write(BROWSER)
    shot = tmp_path / "z2.png"
    url = "http://127.0.0.1:%d/index.html?z=2&lat=0&lon=0&bare=1" % ports[0]
    r = subprocess.run(["node", script, url, str(shot), str(tmp_path / "profile")],
                       capture_output=True, text=True, timeout=300,
                       env=dict(os.environ, NODE_PATH=os.path.join(NPM, "node_modules")))
    assert r.returncode == 0, r.stderr
    seen = np.asarray(PILImage.open(shot).convert("RGB")).astype(np.int16)
    # The same view drawn directly, over the page's white background.
    job = render.Job(source=os.path.abspath(SAMPLE))
    px = render.render_region(job, 2, 0, 0, 1024, 1024).to_array()
    a = ((px >> 24) & 0xFF).astype(np.int16)
    want = np.stack([((px >> s) & 0xFF).astype(np.int16) + (255 - a) for s in (16, 8, 0)], -1)
    bad = (np.abs(seen - want).max(axis=2) > 8).mean()
    keep = os.environ.get("QUILLON_TILES_SCREENSHOT")
    if keep:
        PILImage.open(shot).save(keep)
    assert seen.shape == want.shape and bad <= 0.005, bad
