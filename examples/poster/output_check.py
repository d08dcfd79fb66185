#!/usr/bin/python3
"""What quillon-poster leaves behind when its output goes wrong, and its
command-line conventions that need a real process: standard input and
output, /dev/full, Ctrl-C, a full disk (a small tmpfs, when run as root),
stale frames, the animated PNG and WebP.

    output_check.py <quillon-poster> <sample.shp> <work folder>

Every PNG left in an output folder must decode completely; no temporary
file may remain. Needs Pillow (python3-pil).
"""
import os
import shutil
import signal
import subprocess
import sys
import time

try:
    from PIL import Image
except ImportError:
    print("skipped: Pillow is not installed (Debian's python3-pil)")
    sys.exit(77)

PROGRAM, SAMPLE, WORK = (os.path.abspath(a) for a in sys.argv[1:4])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def run(args, **kw):
    kw.setdefault("capture_output", True)
    return subprocess.run([PROGRAM] + args, cwd=WORK, **kw)


def folder(name):
    path = os.path.join(WORK, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def sound_pngs(path):
    """Every file is a PNG that decodes completely; no temporaries."""
    ok = True
    for name in os.listdir(path):
        full = os.path.join(path, name)
        if name.endswith(".part"):
            print("  temporary file left:", name)
            ok = False
            continue
        if not name.endswith(".png"):
            continue
        try:
            with Image.open(full) as im:
                im.load()
        except Exception as e:  # a truncated or broken file
            print("  broken PNG:", name, e)
            ok = False
    return ok


def small_png(path):
    Image.new("RGB", (8, 8), (10, 20, 30)).save(path)
    with open(path, "rb") as f:
        return f.read()


os.makedirs(WORK, exist_ok=True)

# --version names the libraries and Blend2D.
r = run(["--version"], text=True)
check(r.returncode == 0 and "libordane" in r.stdout and "Blend2D" in r.stdout, "--version")

# Text that cannot be written is a failure.
with open("/dev/full", "w") as full:
    r = run(["--help"], stdout=full, capture_output=False, stderr=subprocess.PIPE, text=True)
check(r.returncode == 1 and "cannot write to standard output" in r.stderr, "--help > /dev/full")

# The poster to standard output, the notes to standard error.
r = run(["--width", "320", "--out", "-"])
check(r.returncode == 0 and r.stdout[:8] == b"\x89PNG\r\n\x1a\n", "--out - writes a PNG")
check(b"wrote the poster to standard output" in r.stderr, "--out - reports on stderr")
with open("/dev/full", "wb") as full:
    r = run(["--width", "320", "--out", "-"], stdout=full, capture_output=False,
            stderr=subprocess.PIPE, text=True)
check(r.returncode == 1 and "No space left on device" in r.stderr, "--out - > /dev/full")

# The shapefile from a pipe, read once.
with open(SAMPLE, "rb") as shp:
    cat = subprocess.Popen(["cat"], stdin=shp, stdout=subprocess.PIPE)
    r = run(["--shp", "-", "--width", "320", "--out", "piped.png"], stdin=cat.stdout, text=True)
    cat.wait()
check(r.returncode == 0 and "from standard input" in r.stdout, "--shp - from a pipe")
r = run(["--shp", "-", "--width", "320", "--out", "empty.png"], stdin=subprocess.DEVNULL,
        text=True)
check(r.returncode == 1 and "standard input is not a shapefile" in r.stderr, "--shp - empty")

# A second, shorter run removes the frames the first left beyond its end.
frames = folder("stale")
r = run(["--frames", "4", "--width", "320", "--out", "stale"], text=True)
check(r.returncode == 0, "4 frames")
r = run(["--frames", "2", "--width", "320", "--out", "stale"], text=True)
check(r.returncode == 0 and "removed 2 stale frames from an earlier, longer run "
      "(frame_0003.png to frame_0004.png)" in r.stdout, "stale frames reported")
check(sorted(os.listdir(frames)) == ["frame_0001.png", "frame_0002.png"], "stale frames removed")

# Animations in one file.
for name in ("anim.png", "anim.webp"):
    r = run(["--frames", "5", "--width", "320", "--out", name], text=True)
    check(r.returncode == 0, name + " written")
    try:
        with Image.open(os.path.join(WORK, name)) as im:
            check(getattr(im, "n_frames", 1) == 5 and im.size == (320, 200), name + " has 5 frames")
            for i in range(5):
                im.seek(i)
                im.load()
    except Exception as e:
        check(False, f"{name} decodes: {e}")

# Ctrl-C in the middle of the frames: every frame left is whole.
frames = folder("interrupted")
p = subprocess.Popen([PROGRAM, "--frames", "400", "--out", "interrupted"], cwd=WORK,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
deadline = time.time() + 120
while time.time() < deadline and len(os.listdir(frames)) < 3:
    time.sleep(0.05)
p.send_signal(signal.SIGINT)
p.communicate()
check(p.returncode == -signal.SIGINT, f"Ctrl-C ends the run by SIGINT ({p.returncode})")
check(sound_pngs(frames), "frames after Ctrl-C are whole")

# Ctrl-C while the poster is drawn leaves the earlier poster as it was.
still = folder("still")
before = small_png(os.path.join(still, "poster.png"))
p = subprocess.Popen([PROGRAM, "--width", "6400", "--out", "still/poster.png"], cwd=WORK,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
time.sleep(1.0)
p.send_signal(signal.SIGINT)
p.communicate()
with open(os.path.join(still, "poster.png"), "rb") as f:
    after = f.read()
check(p.returncode == -signal.SIGINT and after == before and sound_pngs(still),
      f"Ctrl-C keeps the earlier poster ({p.returncode})")

# A full disk: the cause is named, nothing broken is left, and the earlier
# poster stays.
disk = folder("full")
mounted = os.geteuid() == 0 and subprocess.run(
    ["mount", "-t", "tmpfs", "-o", "size=192k", "tmpfs", disk], capture_output=True).returncode == 0
if not mounted:
    print("skipped the full-disk checks: mounting a tmpfs needs root")
else:
    try:
        before = small_png(os.path.join(disk, "poster.png"))
        r = run(["--out", "full/poster.png"], text=True)
        check(r.returncode == 1 and "cannot write 'full/poster.png': No space left on device"
              in r.stderr, "full disk named: " + r.stderr.strip())
        with open(os.path.join(disk, "poster.png"), "rb") as f:
            check(f.read() == before, "full disk keeps the earlier poster")
        check(sound_pngs(disk), "nothing broken on the full disk")
        os.remove(os.path.join(disk, "poster.png"))
        r = run(["--frames", "40", "--width", "480", "--out", "full/frames"], text=True)
        check(r.returncode == 1 and "No space left on device" in r.stderr,
              "full disk during frames: " + r.stderr.strip())
        check(sound_pngs(os.path.join(disk, "frames")), "frames on the full disk are whole")
        r = run(["--frames", "40", "--width", "480", "--out", "full/anim.png"], text=True)
        check(r.returncode == 1 and "No space left on device" in r.stderr
              and not os.path.exists(os.path.join(disk, "anim.png")), "full disk during APNG")
        check(sound_pngs(disk), "no temporary APNG left")
    finally:
        subprocess.run(["umount", disk])

print("output checks:", "FAILED " + "; ".join(failures) if failures else "passed")
sys.exit(1 if failures else 0)
