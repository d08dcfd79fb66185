"""The package as users get it: declarations, version, pip and cmake installs,
import from the checkout, and the README's example."""

import glob
import os
import re
import shutil
import subprocess
import sys

import pytest

import quillon
from quillon import _native, _versioning
from conftest import ROOT, SAMPLE

SMOKE = ("import quillon, sys; l = quillon._native.lib(); "
         "print(quillon.__version__); print(quillon.__file__); print(l.paths['ordane']); "
         "print(quillon.project([[180.0, 0.0]])[0, 0]); "
         "img = quillon.Image(4, 4); ctx = quillon.Context(img); ctx.fill_all(0xFF336699); "
         "ctx.end(); print(hex(img.to_array()[0, 0]))")


def run(args, env=None, cwd=None, drop=()):
    e = dict(os.environ if env is None else env)
    for name in drop:
        e.pop(name, None)
    proc = subprocess.run(args, env=e, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, timeout=600)
    assert proc.returncode == 0, "%s failed:\n%s\n%s" % (args, proc.stdout, proc.stderr)
    return proc.stdout


def test_every_header_export_is_declared():
    names = set()
    for lib in ("ordane", "velket", "torvik"):
        with open(os.path.join(ROOT, "include", lib + ".h")) as f:
            text = f.read()
        names |= set(re.findall(r"%s_API\s+[^;(]*?\b(%s_\w+)\s*\(" % (lib.upper(), lib), text))
    declared = {name for _, name, _, _ in _native.EXPORTS}
    # quillon.cartography declares its exports in a table of its own.
    from quillon import cartography
    declared |= set(getattr(cartography, "_PROTOTYPES", {}))
    from quillon import attributes
    declared |= set(attributes._PROTOTYPES)
    assert names == declared


def test_version_comes_from_the_sources():
    want = _versioning.from_source_tree(ROOT)
    assert want and re.fullmatch(r"\d+\.\d+\.\d+", want)
    assert quillon.__version__ == want
    header = "#define ORDANE_VERSION_MAJOR 3\n#define ORDANE_VERSION_MINOR 14\n" \
             "#define ORDANE_VERSION_PATCH 1\n"
    tree = os.path.join(os.environ.get("QUILLON_TEST_OUT", "/tmp"), "version-tree")
    os.makedirs(os.path.join(tree, "include"), exist_ok=True)
    with open(os.path.join(tree, "include", "ordane.h"), "w") as f:
        f.write(header)
    assert _versioning.from_source_tree(tree) == "3.14.1"


# The suite also runs against a package installed by pip, from a folder
# outside the checkout (the CI stage "python"): then the tests of the
# checkout's own package do not apply.
FROM_CHECKOUT = os.path.realpath(quillon.__file__).startswith(os.path.realpath(ROOT) + os.sep)
checkout_only = pytest.mark.skipif(not FROM_CHECKOUT, reason="tests the checkout's package")


def test_installed_package_is_the_one_tested():
    if FROM_CHECKOUT:
        pytest.skip("the checkout's package")
    paths = _native.lib().paths
    here = os.path.dirname(os.path.realpath(quillon.__file__))
    assert all(os.path.realpath(p).startswith(here + os.sep) for p in paths.values()), paths


@checkout_only
def test_import_from_the_repository_root():
    out = run([sys.executable, "-c", SMOKE], cwd=ROOT, drop=("PYTHONPATH",))
    assert out.splitlines()[0] == quillon.__version__


def test_missing_libraries_are_reported(tmp_path):
    proc = subprocess.run([sys.executable, "-c", "import quillon; quillon.project([[0.0, 0.0]])"],
                          env=dict(os.environ, QUILLON_LIB_DIR=str(tmp_path)),
                          stderr=subprocess.PIPE, universal_newlines=True)
    assert proc.returncode != 0 and "libordane not found in %s" % tmp_path in proc.stderr


@checkout_only
@pytest.mark.skipif(not os.environ.get("QUILLON_LIB_DIR"), reason="needs QUILLON_LIB_DIR")
def test_pip_install(tmp_path):
    src = tmp_path / "src"
    shutil.copytree(os.path.join(ROOT, "python"), src / "python",
                    ignore=shutil.ignore_patterns("build*", "*.egg-info", "__pycache__",
                                                  "_version.py"))
    shutil.copytree(os.path.join(ROOT, "include"), src / "include")
    shutil.copy(os.path.join(ROOT, "CMakeLists.txt"), src / "CMakeLists.txt")
    prefix = tmp_path / "prefix"
    # Without the C sources beside it: the package alone, which then finds
    # the libraries through QUILLON_LIB_DIR.
    run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index",
         "--disable-pip-version-check", "--prefix", str(prefix), str(src / "python")],
        cwd=str(tmp_path), env=dict(os.environ, QUILLON_NO_NATIVE_BUILD="1"))
    inits = glob.glob(str(prefix / "**" / "quillon" / "__init__.py"), recursive=True)
    assert len(inits) == 1
    site = os.path.dirname(os.path.dirname(inits[0]))
    assert os.path.isfile(os.path.join(site, "quillon", "py.typed"))
    assert os.path.isfile(os.path.join(site, "quillon", "_version.py"))
    out = run([sys.executable, "-c", SMOKE], cwd=str(tmp_path),
              env=dict(os.environ, PYTHONPATH=site)).splitlines()
    assert out[0] == quillon.__version__ and out[1].startswith(site)
    # The tiles subpackage and its console script come along.
    assert os.path.isfile(os.path.join(site, "quillon", "tiles", "cli.py"))
    scripts = glob.glob(str(prefix / "**" / "bin" / "quillon-tiles"), recursive=True)
    assert len(scripts) == 1
    out = run([scripts[0], "--version"], cwd=str(tmp_path), env=dict(os.environ, PYTHONPATH=site))
    assert out.strip() == "quillon-tiles " + quillon.__version__


@pytest.mark.skipif(not os.environ.get("QUILLON_PIP_TESTS"),
                    reason="builds the libraries in Release: set QUILLON_PIP_TESTS=1")
@pytest.mark.parametrize("isolation", [True, False])
def test_pip_install_into_a_fresh_venv_carries_the_libraries(tmp_path, isolation):
    """The README's commands: a venv over the system's packages, then
    "pip install ./python", offline, with and without build isolation."""
    venv = tmp_path / "venv"
    run(["/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable,
         "-m", "venv", "--system-site-packages", str(venv)])
    python = str(venv / "bin" / "python")
    args = [python, "-m", "pip", "install", "--no-index", "--disable-pip-version-check"]
    if not isolation:
        args.append("--no-build-isolation")
    # One CMake build folder for every run of this test: the second only links.
    build = os.environ.get("QUILLON_PIP_BUILD_DIR") or os.path.join(
        os.environ.get("QUILLON_TEST_OUT", str(tmp_path)), "pip-cmake")
    run(args + [os.path.join(ROOT, "python")], cwd=str(tmp_path),
        env=dict(os.environ, QUILLON_CMAKE_BUILD_DIR=build),
        drop=("QUILLON_LIB_DIR", "PYTHONPATH", "LD_PRELOAD", "PIP_NO_BUILD_ISOLATION"))
    out = run([python, "-c", SMOKE], cwd=str(tmp_path),
              drop=("QUILLON_LIB_DIR", "PYTHONPATH", "LD_PRELOAD")).splitlines()
    site = str(venv / "lib")
    assert out[0] == quillon.__version__
    assert out[1].startswith(site) and out[2].startswith(site)
    assert os.path.basename(out[2]) == "libordane.so.%s" % quillon.__version__
    assert float(out[3]) == pytest.approx(20037508.342789244)
    assert out[4] == "0xff336699"
    libs = os.path.dirname(out[2])
    assert sorted(os.listdir(libs))[0].startswith(("libbl2dcompat.so", "libblend2d.so"))


def test_libraries_of_another_version_are_refused(tmp_path):
    for name in ("libordane.so.9.9.9", "libordane.so.9"):
        fake = tmp_path / name
        fake.write_bytes(b"")
        with pytest.raises(OSError, match="version 9"):
            _native.check_versions({"ordane": str(fake)}, "1.0.0")
    ok = tmp_path / ("libordane.so.%s" % quillon.__version__)
    ok.write_bytes(b"")
    _native.check_versions({"ordane": str(ok)}, quillon.__version__)
    assert _native._in_dir(str(tmp_path), "ordane") is None  # two versioned files: ambiguous
    os.remove(str(tmp_path / "libordane.so.9.9.9"))
    os.remove(str(tmp_path / "libordane.so.9"))
    assert _native._in_dir(str(tmp_path), "ordane") == str(ok)


@pytest.mark.skipif(not os.environ.get("QUILLON_BUILD_DIR"), reason="needs the CMake build")
def test_cmake_install(tmp_path):
    prefix = tmp_path / "prefix"
    cmake = os.environ.get("QUILLON_CMAKE", "cmake")
    run([cmake, "--install", os.environ["QUILLON_BUILD_DIR"], "--prefix", str(prefix)],
        drop=("LD_PRELOAD",))
    site = prefix / "lib" / ("python%d.%d" % sys.version_info[:2]) / "site-packages"
    assert (site / "quillon" / "py.typed").is_file()
    assert (site / "quillon" / "tiles" / "cli.py").is_file()
    # No QUILLON_LIB_DIR and nothing of the checkout: the installed package
    # finds the installed libraries on its own.
    out = run([sys.executable, "-c", SMOKE], cwd=str(tmp_path),
              env=dict(os.environ, PYTHONPATH=str(site)),
              drop=("QUILLON_LIB_DIR",)).splitlines()
    assert out[0] == quillon.__version__
    assert out[1].startswith(str(site))
    assert out[2].startswith(str(prefix))
    assert float(out[3]) == pytest.approx(20037508.342789244)
    assert out[4] == "0xff336699"


def readme_snippet():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        text = f.read()
    section = text.split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_readme_map_snippet(tmp_path):
    code = readme_snippet()
    assert len(code.strip().splitlines()) <= 20
    code = code.replace("data/countries_110m.shp", SAMPLE)
    run([sys.executable, "-c", code], cwd=str(tmp_path))
    from conftest import read_png
    png = read_png(str(tmp_path / "map.png"))
    assert png.shape[0] > 100 and len({tuple(p) for p in png[::10, ::10].reshape(-1, png.shape[2])}) > 3
