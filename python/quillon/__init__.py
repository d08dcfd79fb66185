"""quillon: Python over libordane, libvelket and libtorvik, and the Blend2D they link.

Point arrays are float64 numpy arrays of shape (N, 2) or flat with an even
length; results come back as new arrays of the same shape, or in "out="
(which may be the input). Every argument is checked before the C call, so no
call can read or write outside a buffer; failures raise TypeError or
ValueError, and result codes raise QuillonError (or a subclass) carrying the
code and its meaning.

    import quillon as q
    shp = q.parse_shp("data/countries_110m.shp")
    xy = q.project(shp.points, "mercator")
    fit = q.fit(q.bounds(xy), 800, 500)
    land = q.build_polygon(None, xy, shp.ring_offsets, fit)
    img = q.Image(800, 500)
    with q.Context(img) as ctx:
        ctx.fill_all(0xFF0A1420)
        ctx.fill_path(land, 0xFF4C9A7E)
    img.write_png("map.png")

The libraries are found on first use (see quillon._native for the order).
"""

from ._native import GeoTransform, PerspectiveCamera, ShpHeader, find_libraries, load
from ._versioning import package_version
from .blend2d import (COMP_OP_SRC_COPY, COMP_OP_SRC_OVER, FORMAT_PRGB32, FORMAT_XRGB32,
                      Context, Image, Path, premultiply_argb, unpremultiply_argb)
from .errors import (BLEND2D_ERRORS, DOWNLOAD_ERRORS, SHP_ERRORS, Blend2DError,
                     DownloadError, QuillonError, ShapefileError)
from .cartography import (Parts, albers_inverse, clip_horizon, cut, densify, eqearth_forward,
                          eqearth_inverse, lcc_inverse, ortho_forward, ortho_inverse)
from .geo import (PROJECTIONS, Shape, Shapefile, albers_forward, bounds, build_linestring,
                  build_multilinestring, build_polygon, download, fit, lcc_forward,
                  mercator_forward, mercator_inverse, parse_shp, project, read_shp_header,
                  transform)
from .motion import ParticleSystem, cubic_bezier, spring, trim_path
from .perspective import (Camera, Projected, camera_path, camera_points, camera_segments,
                          project_point, render_globe)

__version__ = package_version()

__all__ = [
    "__version__", "load", "find_libraries",
    "GeoTransform", "ShpHeader", "PerspectiveCamera", "Camera",
    "QuillonError", "ShapefileError", "DownloadError", "Blend2DError",
    "SHP_ERRORS", "DOWNLOAD_ERRORS", "BLEND2D_ERRORS",
    "PROJECTIONS", "project", "mercator_forward", "mercator_inverse", "lcc_forward",
    "albers_forward", "bounds", "fit", "transform",
    "build_polygon", "build_linestring", "build_multilinestring",
    "read_shp_header", "parse_shp", "Shapefile", "Shape", "download",
    "cubic_bezier", "spring", "ParticleSystem", "trim_path",
    "project_point", "camera_points", "camera_segments", "camera_path", "Projected",
    "render_globe",
    "Path", "Image", "Context", "FORMAT_PRGB32", "FORMAT_XRGB32", "COMP_OP_SRC_OVER",
    "COMP_OP_SRC_COPY", "premultiply_argb", "unpremultiply_argb",
]
__all__ += ["lcc_inverse", "albers_inverse", "ortho_forward", "ortho_inverse", "eqearth_forward",
            "eqearth_inverse", "cut", "clip_horizon", "densify", "Parts"]
