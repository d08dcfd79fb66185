/* ordane.h - libordane, the geographic library.
 *
 * Map projections, fitting projected coordinates into a pixel viewport,
 * turning rings and line strings into Blend2D paths, reading ESRI shapefiles
 * and downloading one URL into a file.
 *
 * Conventions shared by every export:
 *  - A Point array is a contiguous array of doubles holding interleaved (x, y)
 *    pairs; "count" arguments count pairs. Geographic pairs are
 *    (longitude, latitude) in degrees.
 *  - Result codes are int32_t: 0 is success, -1 a null pointer argument or a
 *    count too small to work on; some exports add further negative codes.
 *  - Arguments are checked first, in argument order; when a check fails
 *    nothing is written.
 *  - Array-to-array exports read both numbers of a pair before writing it, so
 *    input and output may be the same array.
 *  - No export keeps state, starts a thread, logs or reads configuration; all
 *    are re-entrant unless their comment says otherwise.
 *  - No exception or other error escapes an export: every failure, running
 *    out of memory included, is reported through its result (a code, a null
 *    pointer), as each export's comment says.
 *
 * This header is valid C (C99 and later) and C++.
 */
#ifndef ORDANE_H
#define ORDANE_H

/* Version of this header and of the library built from it. The major number
 * is the library's SONAME version (libordane.so.{MAJOR}): it changes only when
 * an export or a record changes incompatibly. ORDANE_VERSION packs the three
 * numbers for comparisons: ORDANE_VERSION >= ORDANE_MAKE_VERSION(1, 0, 0). */
#define ORDANE_VERSION_MAJOR 1
#define ORDANE_VERSION_MINOR 0
#define ORDANE_VERSION_PATCH 0
#define ORDANE_MAKE_VERSION(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define ORDANE_VERSION \
  ORDANE_MAKE_VERSION(ORDANE_VERSION_MAJOR, ORDANE_VERSION_MINOR, ORDANE_VERSION_PATCH)

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(ORDANE_BUILDING)
#    define ORDANE_API __declspec(dllexport)
#  else
#    define ORDANE_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define ORDANE_API __attribute__((visibility("default")))
#else
#  define ORDANE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A Blend2D path owned by the caller (BLPathCore of <blend2d/blend2d.h>). */
struct BLPathCore;

/* ========================================================================
 * Result codes. The numbers are frozen: never renumber or reuse one.
 * ======================================================================== */

#define ORDANE_OK                    0  /* success */
#define ORDANE_ERR_INVALID_ARGUMENT (-1) /* null pointer, or count too small */

/* ordane_read_shp_header */
#define ORDANE_SHP_ERR_OPEN         (-2) /* the file cannot be opened */
#define ORDANE_SHP_ERR_TOO_SHORT    (-3) /* fewer than 100 bytes */
#define ORDANE_SHP_ERR_FILE_CODE    (-4) /* the file does not start with 9994 */

/* ordane_build_polygon, ordane_build_linestring, ordane_build_multilinestring */
#define ORDANE_BUILD_ERR_OUT_OF_MEMORY (-2) /* the path could not grow */

/* How long ordane_read_shp_header() and ordane_parse_shp() wait for a writer
 * to open a FIFO that has none, in milliseconds. */
#define ORDANE_SHP_PIPE_WAIT_MS 2000

/* ordane_http_download_file (-1 is a null argument). Codes -2 to -7 leave
 * dest_path untouched; -8 creates nothing; -9 leaves a partial file. The
 * comment of each code is its meaning in short, the one table that bindings
 * and programs take their texts from (their tests compare them with it);
 * the contract at ordane_http_download_file() tells the cases in full. */
#define ORDANE_HTTP_ERR_URL_TEXT    (-2) /* the URL is not valid UTF-8 */
#define ORDANE_HTTP_ERR_CRACK_URL   (-3) /* not an http or https URL with a host */
#define ORDANE_HTTP_ERR_SESSION     (-4) /* no client session, or no memory before the transfer */
#define ORDANE_HTTP_ERR_CONNECT     (-5) /* the connection options cannot be set */
#define ORDANE_HTTP_ERR_REQUEST     (-6) /* the request options cannot be set */
#define ORDANE_HTTP_ERR_SEND        (-7) /* no complete, well-formed final response headers */
#define ORDANE_HTTP_ERR_OPEN_DEST   (-8) /* the destination cannot be opened for writing */
#define ORDANE_HTTP_ERR_TRANSFER    (-9) /* the body broke off, stalled or could not be written */

/* ========================================================================
 * Map projections
 *
 * Spherical Web Mercator (EPSG 3857, R = 6378137) forward and inverse,
 * Lambert conformal conic on the WGS 84 ellipsoid, Albers equal-area conic on
 * the sphere of radius 6378137. Geographic pairs are (longitude, latitude) in
 * degrees, plane pairs (x east, y north) in metres.
 *
 * Each returns 0 after converting all "count" pairs in index order, or -1
 * when the input array is null, the output array is null or "count" <= 0
 * (checked in that order; nothing is written). Input and output may be the
 * same array: each pair is read completely before it is written, and pair i
 * writes only pair i. Values are not checked: NaN and infinities flow through
 * the arithmetic and affect only their own pair (a NaN result is always
 * the quiet NaN 0x7ff8000000000000). Every constant and the order of every
 * operation are fixed, and the elementary functions come from vector code
 * whose results are the same bits on every x86-64 CPU (SSE2, AVX2 or
 * AVX-512, picked at run time) and wherever a pair sits in the array. They
 * may differ from a platform libm's in the last bits: typically within 2
 * ulp (Mercator y within 3.8e-9 m, latitudes within 1e-12 degrees). Builds
 * for other processors use the platform libm. No state; calls may run
 * concurrently unless they write the same array.
 * ======================================================================== */

/* ordane_proj_3857_forward(): "lonlat" (degrees) to "xy" (metres). Latitudes
 * beyond +-85.0511287798 are clamped to it, so y stays within about +-pi R;
 * longitudes are not wrapped (540 lands three times as far east as 180). */
ORDANE_API int32_t ordane_proj_3857_forward(const double* lonlat, double* xy, int64_t count);

/* ordane_proj_3857_inverse(): "xy" (metres) to "lonlat" (degrees). Latitudes
 * come out within +-90 (reached exactly for a very large |y|); longitudes
 * are not wrapped. */
ORDANE_API int32_t ordane_proj_3857_inverse(const double* xy, double* lonlat, int64_t count);

/* ordane_proj_lcc_forward(): Lambert conformal conic. "lat1" and "lat2" are
 * the standard parallels (one parallel when they differ by at most 1e-10
 * rad), "lat0" and "lon0" the origin, all in degrees; "false_easting" and
 * "false_northing" in metres are added to x and y. Latitudes closer than
 * 1e-6 rad to a pole are held at that distance; the longitude difference
 * from "lon0" is not wrapped. Parallels symmetric about the equator give a
 * cone constant of 0 and non-finite coordinates (still result 0). */
ORDANE_API int32_t ordane_proj_lcc_forward(double lat1, double lat2, double lat0, double lon0,
                                           double false_easting, double false_northing,
                                           const double* lonlat, double* xy, int64_t count);

/* ordane_proj_albers_forward(): Albers equal-area conic on the sphere, with
 * the same arguments as ordane_proj_lcc_forward(). Latitudes are not
 * clamped; where rounding near a pole (or a NaN latitude) would leave a
 * negative radicand the point lands on the cone apex. Parallels symmetric
 * about the equator give non-finite coordinates (still result 0). */
ORDANE_API int32_t ordane_proj_albers_forward(double lat1, double lat2, double lat0, double lon0,
                                              double false_easting, double false_northing,
                                              const double* lonlat, double* xy, int64_t count);

/* ========================================================================
 * Viewport transform
 * ======================================================================== */

/* The fit of a source box into a pixel viewport: a point (x, y) maps to
 * x' = (x - min_x) * scale + offset_x and y' = (y - min_y) * scale +
 * offset_y, then y' = height - y' when flip_y is nonzero. A record whose
 * scale is exactly 0 is the identity (no flip either); a NaN scale is not.
 * Owned by the caller, who may also fill it directly; the library only
 * reads it after ordane_init_transform(). */
typedef struct GeoTransform {
  double min_x;    /* source box, smallest x */
  double min_y;    /* source box, smallest y */
  double max_x;    /* source box, largest x (stored, not read) */
  double max_y;    /* source box, largest y (stored, not read) */
  double width;    /* viewport width in pixels (stored, not read) */
  double height;   /* viewport height in pixels; the flip mirrors inside it */
  double offset_x; /* pixel x at which min_x lands */
  double offset_y; /* pixel y at which min_y lands before flipping */
  double scale;    /* pixels per source unit; exactly 0: no mapping at all */
  int32_t flip_y;  /* nonzero: y' = height - y'' (north up on a screen) */
} GeoTransform;

/* ordane_init_transform(): overwrites all fields of "transform" so that the
 * box ("min_x", "min_y")-("max_x", "max_y") fits a "width" x "height"
 * viewport with "margin" (a fraction of the width left and right, of the
 * height top and bottom) on every side, one scale for both axes.
 * "fit_both_axes" nonzero fits both axes and centres the box; 0 fits the
 * width only and puts the box's minimum corner on the margins (its height
 * is not considered). "flip_y" is stored unchanged. An empty or inverted
 * extent counts as 1e-6. No room inside the margins (width 0, margin 0.5)
 * gives scale 0, the identity; a margin above 0.5 gives a negative scale.
 * A null "transform" does nothing. */
ORDANE_API void ordane_init_transform(GeoTransform* transform, double min_x, double min_y,
                                      double max_x, double max_y, double width, double height,
                                      double margin, int32_t fit_both_axes, int32_t flip_y);

/* ordane_transform_coords(): maps "count" pairs of "in" through "transform"
 * into "out", which may be "in" (but must not overlap the record). A null
 * "transform", or one whose scale is 0, copies unchanged. Returns 0, or -1
 * when "in" is null, "out" is null or "count" <= 0 (checked in that order;
 * nothing written). */
ORDANE_API int32_t ordane_transform_coords(const double* in, double* out, int64_t count,
                                           const GeoTransform* transform);

/* ========================================================================
 * Geometry-to-path builders
 *
 * Append to the caller's Blend2D "path" (existing content is kept, so calls
 * accumulate), mapping every vertex through "transform" exactly as
 * ordane_transform_coords() does (null, or scale 0: unchanged and unflipped).
 * "part_offsets" holds "part_count" + 1 absolute pair indices into "points";
 * part i is the points [part_offsets[i], part_offsets[i+1]) - the form of
 * ShpData's shape_point_offsets. Offsets must lie inside "points": the
 * builders cannot know its length. A part with a negative start, an end
 * below its start or an end that no array could reach (above INT64_MAX / 16)
 * is skipped like a short one. Vertex order is kept; rings are neither
 * reordered nor reversed. Blend2D's result codes are not examined. Return 0
 * when the arguments were accepted (even if no part was drawn), -1
 * otherwise, before any command is appended. Calls may run concurrently
 * unless they append to the same path.
 * ======================================================================== */

/* ordane_build_polygon(): one figure per ring of at least 3 points: move,
 * lines to every further point (a repeated first point gives an explicit
 * segment back), close. Shorter rings are skipped. -1 for, in this order:
 * part_count <= 0, null path, points, part_offsets.
 * The three builders return -2 (ORDANE_BUILD_ERR_OUT_OF_MEMORY) when the
 * path cannot grow: building stops there, the figures appended before stay
 * and the figure under way is left incomplete. */
ORDANE_API int32_t ordane_build_polygon(struct BLPathCore* path, const double* points,
                                        const int64_t* part_offsets, int64_t part_count,
                                        const GeoTransform* transform);

/* ordane_build_linestring(): one open figure (move, then lines) through
 * "count" points. -1 for, in this order: null path, null points,
 * count < 2. */
ORDANE_API int32_t ordane_build_linestring(struct BLPathCore* path, const double* points,
                                           int64_t count, const GeoTransform* transform);

/* ordane_build_multilinestring(): one open figure per part of at least 2
 * points; shorter parts are skipped. -1 as for ordane_build_polygon(). */
ORDANE_API int32_t ordane_build_multilinestring(struct BLPathCore* path, const double* points,
                                                const int64_t* part_offsets, int64_t part_count,
                                                const GeoTransform* transform);

/* ========================================================================
 * Shapefiles (.shp main file)
 *
 * Both readers take a regular file or a pipe (FIFO). Anything else (a
 * directory, a character or block device such as /dev/zero, a socket)
 * cannot be opened: -2 / null, before anything is read. A FIFO is opened
 * without waiting; when no writer has it open, the call waits up to
 * ORDANE_SHP_PIPE_WAIT_MS for one and otherwise reports that it cannot be
 * opened. A writer that came and closed without writing leaves an empty
 * stream (fewer than 100 bytes).
 *
 * A pipe has no size, nor has a file that states a size of 0 (as /proc
 * files do): such a stream is read no further than the File Length of its
 * header (File Length x 2 bytes from the start, at least the 100 header
 * bytes), so a source that never ends is read only as far as its header
 * allows. A regular file is read up to its real size, whatever its File
 * Length. At most INT32_MAX record headers are read, empty ones (Content
 * Length 0 or less) included. ordane_parse_shp() keeps a record's content of
 * a pipe in memory only as its bytes arrive, and its shapes, parts and
 * points stop at INT32_MAX each.
 * ======================================================================== */

/* Summary of a shapefile's 100-byte header plus its record count. Owned by
 * the caller. */
typedef struct ShpHeader {
  int32_t file_code;    /* always 9994 */
  int32_t file_length;  /* File Length x 2: the length in bytes as the header
                           states it, not compared with the real file. A File
                           Length of 2^30 words or more reports INT32_MAX, one
                           below -2^30 words INT32_MIN. */
  int32_t version;      /* as stored; any value is accepted */
  int32_t shape_type;   /* as stored (ESRI numbering) */
  double min_x, min_y, max_x, max_y; /* header bounding box, as stored */
  double min_z, max_z;  /* as stored, whatever the shape type */
  double min_m, max_m;  /* as stored */
  int32_t record_count; /* record headers with a positive Content Length */
} ShpHeader;

/* Flat geometry of a whole shapefile. Owned by the library: release it with
 * ordane_free_shp_data(). Arrays come from malloc, sized exactly; an array
 * without elements may be null, so go by the counts.
 *
 * Shape k owns parts [shape_part_offsets[k], shape_part_offsets[k+1]) and
 * points [shape_point_offsets[k], shape_point_offsets[k+1]); entries of
 * "parts" are absolute indices into "points". Every record read adds exactly
 * one shape, so shape k stays row k of the attribute table (.dbf):
 *  - Point, PointZ, PointM (1, 11, 21): one point, one part, box (x, y, x, y).
 *  - PolyLine, Polygon, PolyLineZ, PolygonZ (3, 5, 13, 15): the record's
 *    parts and points (x and y only) and its box as stored. Part starts are
 *    passed through as stored, increasing or not; a start equal to the
 *    record's point count is an empty trailing part.
 *  - Null (0) and every other type (MultiPoint, the M line and polygon
 *    types, MultiPatch, unknown values): an empty shape with box 0, 0, 0, 0.
 *  - A malformed record, also an empty shape with box 0, 0, 0, 0: content too
 *    short for its Shape Type, its point, or its counts, parts and points; a
 *    negative NumParts or NumPoints; a part start below 0 or above NumPoints.
 * So "bboxes" always holds exactly 4 x num_shapes numbers. */
typedef struct ShpData {
  int32_t shape_type;            /* Shape Type of the file header */
  int32_t num_shapes;            /* one per record read */
  uint64_t num_parts;            /* entries in parts */
  uint64_t num_points;           /* (x, y) pairs in points */
  double* points;                /* num_points pairs, all shapes in file order */
  int32_t* parts;                /* per part: index in points of its first point */
  int32_t* shape_part_offsets;   /* num_shapes + 1: shape k's first part */
  uint64_t* shape_point_offsets; /* num_shapes + 1: shape k's first point */
  double* bboxes;                /* 4 x num_shapes: min x, min y, max x, max y */
} ShpData;

/* ordane_read_shp_header(): reads the header of "file_path" (opened with
 * fopen "rb") into "header" and counts the records by walking the record
 * headers: a header with Content Length 0 or less is skipped on its own 8
 * bytes and not counted, a record whose content runs past the end of the
 * file is still counted, and 1 to 7 stray bytes at the end are ignored. The
 * walk reads at most INT32_MAX record headers (empty ones included). A pipe
 * cannot skip a record's content, so its walk ends after the first counted
 * record.
 * Returns 0 (header written once, completely), -1 null "file_path" or
 * "header", -2 the file cannot be opened, -3 fewer than 100 bytes, -4 the
 * file does not start with the File Code 9994 (00 00 27 0A); "header" is
 * untouched on failure. Re-entrant; the file is closed before returning. */
ORDANE_API int32_t ordane_read_shp_header(const char* file_path, ShpHeader* header);

/* ordane_parse_shp(): reads every record of "file_path" (opened with fopen
 * "rb") in one sequential pass. The File Code is not checked and only the
 * header's Shape Type is used.
 * Returns a new ShpData, or null when "file_path" is null, the file cannot
 * be opened or holds fewer than 100 bytes, or memory runs out (everything
 * allocated is then released). Once the header is read, damage in the record
 * area shortens the result instead of failing the call:
 *  - a Content Length of 0 or less adds no shape; the next 8 bytes are read
 *    as the next record header;
 *  - a record whose content runs past the end of the file (checked against
 *    the file's size before anything is allocated for it) ends the reading
 *    and adds nothing, so num_shapes can be one less than the record_count of
 *    ordane_read_shp_header();
 *  - a malformed record adds an empty shape (see ShpData);
 *  - shapes, parts and points each stay at most INT32_MAX: a record that
 *    would take one of them past that ends the reading, and the caller gets
 *    the shapes of the records before it;
 *  - at most INT32_MAX record headers are read, empty ones included.
 * Re-entrant; the file is closed before returning. */
ORDANE_API ShpData* ordane_parse_shp(const char* file_path);

/* ordane_free_shp_data(): releases "data" (from ordane_parse_shp()) and its
 * arrays; null does nothing. "data" is invalid afterwards. */
ORDANE_API void ordane_free_shp_data(ShpData* data);

/* ========================================================================
 * HTTP download
 * ======================================================================== */

/* Fixed limits of ordane_http_download_file (the library reads no
 * configuration). A connection, name resolution, TCP and TLS set-up
 * together, gets ORDANE_HTTP_CONNECT_LIMIT_S seconds. Once connected, the
 * transfer is abandoned as soon as fewer than ORDANE_HTTP_STALL_MIN_BYTES
 * bytes arrived over the last ORDANE_HTTP_STALL_WINDOW_S seconds, that is
 * under 1 byte per second: a server that falls silent or drips bytes is cut
 * off about 30 s into the stall. A slow but steady transfer is never cut
 * off, however long it takes.
 *
 * The bytes counted are those that reach the connection's TCP socket, as
 * the system counts them (on Linux the socket's received-byte count,
 * TCP_INFO tcpi_bytes_received), at the moment they arrive: header and body
 * bytes as the server sent them, chunk framing and TLS record overhead
 * included, also while a TLS record or a header line is still incomplete.
 * Where the system keeps no such count, the header bytes and the decoded
 * (de-chunked) body bytes that libcurl has passed on are counted instead. */
#define ORDANE_HTTP_CONNECT_LIMIT_S  60
#define ORDANE_HTTP_STALL_WINDOW_S   30
#define ORDANE_HTTP_STALL_MIN_BYTES  30
#define ORDANE_HTTP_MAX_REDIRECTS    10

/* ordane_http_download_file(): GETs "url" over HTTP or HTTPS and writes the
 * body of the final response, byte for byte, to the file "dest_path".
 *
 * "url" is NUL-terminated UTF-8 with the scheme http or https followed by
 * "//" and a host; an explicit port is used, otherwise 80 or 443. A host name
 * beyond ASCII is converted to its ASCII form (IDNA, UTS #46) whatever the
 * process's locale. The request target is the path followed by the query
 * exactly as written (escapes and dot segments are not touched). A fragment
 * is not sent, nor are user name and password: no credentials ever are,
 * neither from "url" nor from a redirect. "dest_path" is NUL-terminated and
 * opened unchanged, as fopen(dest_path, "wb") would open it.
 *
 * The request: GET with the fields Host and User-Agent
 * ("Quillon-ZazAreror/1.0") and no others; the proxy settings of the
 * environment (http_proxy, https_proxy, no_proxy...); certificates verified
 * against the system's store. Every 3xx response with a Location is
 * followed, https to http included, up to ORDANE_HTTP_MAX_REDIRECTS (10) of
 * them and only to http and https URLs with a host. The HTTP status is not
 * examined: a 404 with an error page returns 0 and a file holding that page.
 * The body is saved as sent: a Content-Encoding such as gzip is not decoded.
 *
 * Returns:
 *   0   the whole body was written; an empty body gives an empty file.
 *   -1  "url" or "dest_path" is null (tested in that order).
 *   -2  ORDANE_HTTP_ERR_URL_TEXT: "url" is not valid UTF-8.
 *   -3  ORDANE_HTTP_ERR_CRACK_URL: not an http or https URL, no "//" and
 *       host, a host name that IDNA rejects, or a URL that libcurl's URL
 *       parser rejects.
 *   -4  ORDANE_HTTP_ERR_SESSION: libcurl cannot be initialised or give a
 *       transfer handle, or memory ran out before the transfer started
 *       (while checking the URL or setting up the handle included).
 *   -5  ORDANE_HTTP_ERR_CONNECT: the connection options (the allowed schemes,
 *       the connection limit) cannot be set on the handle, for a reason
 *       other than memory. Nothing was sent: no connection was tried.
 *   -6  ORDANE_HTTP_ERR_REQUEST: the request options cannot be set on the
 *       handle, for a reason other than memory. Nothing was sent.
 *   -7  ORDANE_HTTP_ERR_SEND: no complete, well-formed final response header
 *       block arrived: unknown host, refused or dropped connection, TLS
 *       failure (an untrusted certificate included), no connection within
 *       the connection limit, a stall before the end of the headers, headers
 *       cut off, more than 10 redirects, a redirect to another scheme or
 *       without a host, an unrequested protocol switch (101), a malformed
 *       body framing (different Content-Length values, a transfer coding
 *       other than chunked), or memory running out during the transfer.
 *   -8  ORDANE_HTTP_ERR_OPEN_DEST: "dest_path" cannot be opened for writing,
 *       a FIFO that no process has open for reading included (the open
 *       never waits for a reader). Found out once the final response's
 *       headers have arrived; the transfer is then abandoned without
 *       reading the body.
 *   -9  ORDANE_HTTP_ERR_TRANSFER: the body broke off (the connection dropped
 *       before the declared length or the end of a chunked body, a read
 *       failed, the stall rule cut it off) or could not be written (a full
 *       disk, a FIFO whose reader has gone). The file keeps the bytes
 *       received so far and is incomplete.
 *
 * The file: "dest_path" is opened with mode "wb" (created, or truncated) only
 * when the header block of the final response has ended, after any interim
 * 1xx responses and redirects. Every failure before that point (-2 to -7)
 * leaves an existing file exactly as it was and creates none; -8 creates
 * nothing.
 *
 * Threads: blocks the calling thread until the transfer ends, within the
 * limits above. Downloads may run at once on different threads as long as
 * they write different files. The library starts no thread of its own
 * (libcurl may resolve host names on a helper thread) and installs no signal
 * handler; SIGPIPE is blocked in the calling thread during the call (and
 * one raised by a write is taken off), so a reader leaving a FIFO
 * destination gives -9 instead of ending the process. The first call
 * initialises libcurl for the process, once. No C++ exception leaves the
 * call.
 *
 * On Windows the download runs on WinHTTP, with the same codes, limits and
 * file rules, and these differences: "dest_path" is in the ANSI code page
 * (as fopen() reads it there); the proxy is WinHTTP's default (the system's
 * WinHTTP proxy setting, not http_proxy); certificates are verified against
 * the system's store; host names beyond ASCII are converted with the
 * system's IdnToAscii (IDNA2003, not UTS #46); WinHTTP adds a
 * "Connection: Keep-Alive" field and parses the response itself, so
 * interim responses, redirects (counted by WinHTTP) and responses it cannot
 * parse are as it handles them. The framing rules of -7 (different
 * Content-Length values, a transfer coding other than chunked) and the 101
 * rule are applied to the header block that WinHTTP keeps of the final
 * response only, so a header line folded or otherwise altered by WinHTTP
 * cannot be checked. A chunked body that breaks off cannot be told from a
 * complete one there and gives 0; a body shorter than its Content-Length
 * gives -9, as on Linux. The connection limit covers name resolution and
 * TCP set-up; the TLS handshake and the wait for the response headers get
 * one stall window each, and each read of the body waits at most that long.
 * -4 also covers WinHTTP refusing the time limits, -6 the request options. */
ORDANE_API int32_t ordane_http_download_file(const char* url, const char* dest_path);

/* ========================================================================
 * Extensions
 *
 * Exports beyond the core set above, with the same conventions: argument
 * checks first and nothing written when one fails, result codes named
 * below, outputs of a size known only after the work in a library-owned
 * record released by its free partner (null accepted), no threads and no
 * global state. Unlike the core exports, running out of memory is reported
 * by ORDANE_ERR_OUT_OF_MEMORY, never by an exception.
 * ======================================================================== */

#define ORDANE_ERR_OUT_OF_MEMORY   (-10) /* memory ran out; nothing was returned */

/* ------------------------------------------------------------------------
 * Extensions: cartography
 * ------------------------------------------------------------------------ */

/* Inverse conics, orthographic and Equal Earth projections, cutting parts at
 * the antimeridian (or the orthographic horizon) and densifying them along
 * the projected curve. Geographic pairs are (longitude, latitude) in
 * degrees, plane pairs (x east, y north) in metres on the sphere of radius
 * 6378137 (the conic inverses use their forward's earth model). The
 * projection exports here run on the core projections' vector code, with
 * their rules for arrays, NaN and bits: the same bits on every x86-64 CPU
 * and wherever a pair sits, within the last bits of a platform libm's
 * results (2 ulp or 1e-12 degrees, more only where the formula itself
 * magnifies them: at the orthographic horizon, near Equal Earth's pole
 * lines). Cutting and densifying compute with the platform's libm, the same
 * formulas as the core exports. No state; calls may run concurrently unless
 * they write the same array. */

/* Result codes of the cartography exports (besides 0, -1 and -10). */
#define ORDANE_CARTO_ERR_PROJECTION (-20) /* unknown GeoProjection.kind */
#define ORDANE_CARTO_ERR_OPTION     (-21) /* an option out of its range (see each export) */
#define ORDANE_CARTO_ERR_TOO_LARGE  (-22) /* the result would pass INT64_MAX / 16 points */

/* ordane_proj_lcc_inverse(), ordane_proj_albers_inverse(): plane "xy"
 * (metres) back to "lonlat" (degrees) for the parameters of
 * ordane_proj_lcc_forward() / ordane_proj_albers_forward(), which they
 * invert: round trips agree to 1e-9 degrees wherever the forward is
 * injective (latitudes within 1e-6 rad of a pole are held by the Lambert
 * forward and come back held). Longitudes come out as lon0 + theta / n with
 * theta within +-180 degrees (not wrapped further). The cone apex gives
 * (lon0, +-90). Albers points beyond the projected disc (no latitude) give
 * the pole of their side; Lambert iterates the latitude to convergence (at
 * most 15 steps). Parallels symmetric about the equator (n = 0) give NaN.
 * Returns 0, or -1 when "xy" is null, "lonlat" is null or "count" <= 0
 * (checked in that order; nothing written). In place allowed: each pair is
 * read before it is written. NaN in a pair gives NaN in that pair only. */
ORDANE_API int32_t ordane_proj_lcc_inverse(double lat1, double lat2, double lat0, double lon0,
                                           double false_easting, double false_northing,
                                           const double* xy, double* lonlat, int64_t count);
ORDANE_API int32_t ordane_proj_albers_inverse(double lat1, double lat2, double lat0, double lon0,
                                              double false_easting, double false_northing,
                                              const double* xy, double* lonlat, int64_t count);

/* ordane_proj_ortho_forward(): orthographic (globe) view of the sphere of
 * radius 6378137 centred on ("lon0", "lat0") degrees: x = R cos(lat)
 * sin(lon - lon0), y = R (cos(lat0) sin(lat) - sin(lat0) cos(lat)
 * cos(lon - lon0)); the centre maps to (0, 0), north up. A point is visible
 * when cos c = sin(lat0) sin(lat) + cos(lat0) cos(lat) cos(lon - lon0) >= 0
 * (the horizon counts as visible). Hidden points are still written (their
 * projection overlaps the visible disc); "visible" ("count" bytes, 1
 * visible, 0 hidden; NaN input is hidden) may be null and is then skipped;
 * it must not overlap "lonlat" or "xy".
 * Returns 0, or -1 when "lonlat" is null, "xy" is null or "count" <= 0
 * (checked in that order; nothing written). In place allowed.
 *
 * ordane_proj_ortho_inverse(): plane to (lon, lat) on the visible
 * hemisphere; (0, 0) gives the centre. A point farther than R from the
 * centre (beyond 1e-12 R of rounding) has no inverse and gives NaN, NaN.
 * Longitudes come out within lon0 +- 180. Same checks and in-place rule. */
ORDANE_API int32_t ordane_proj_ortho_forward(double lon0, double lat0, const double* lonlat,
                                             double* xy, int64_t count, uint8_t* visible);
ORDANE_API int32_t ordane_proj_ortho_inverse(double lon0, double lat0, const double* xy,
                                             double* lonlat, int64_t count);

/* ordane_proj_eqearth_forward(): Equal Earth on the sphere of radius
 * 6378137 (PROJ's "+proj=eqearth +R=6378137 +lon_0=lon0"), with the
 * longitude difference from "lon0" not wrapped.
 * ordane_proj_eqearth_inverse(): its inverse (Newton's method on the
 * parametric latitude, at most 20 steps); points north or south of the
 * map (|y| beyond the pole line) give NaN, NaN; x beyond the map's edge
 * gives longitudes beyond lon0 +- 180 (not wrapped).
 * Both return 0, or -1 when the input array is null, the output array is
 * null or "count" <= 0 (checked in that order; nothing written). In place
 * allowed. */
ORDANE_API int32_t ordane_proj_eqearth_forward(double lon0, const double* lonlat, double* xy,
                                               int64_t count);
ORDANE_API int32_t ordane_proj_eqearth_inverse(double lon0, const double* xy, double* lonlat,
                                               int64_t count);

/* A projection for ordane_densify_parts(), chosen by "kind"; the fields a
 * kind does not use are ignored (zero them). Owned by the caller. */
#define ORDANE_PROJECTION_MERCATOR     1 /* x = (lon - lon0) * 111319.49..., y as
                                            ordane_proj_3857_forward (clamped);
                                            uses lon0, false easting/northing */
#define ORDANE_PROJECTION_LCC          2 /* ordane_proj_lcc_forward; all six */
#define ORDANE_PROJECTION_ALBERS       3 /* ordane_proj_albers_forward; all six */
#define ORDANE_PROJECTION_ORTHOGRAPHIC 4 /* ordane_proj_ortho_forward; lon0, lat0,
                                            false easting/northing */
#define ORDANE_PROJECTION_EQUAL_EARTH  5 /* ordane_proj_eqearth_forward; lon0,
                                            false easting/northing */
#define ORDANE_PROJECTION_LONLAT       6 /* plate carree in degrees: (lon - lon0 +
                                            false_easting, lat + false_northing) */
typedef struct GeoProjection {
  int32_t kind;          /* ORDANE_PROJECTION_* */
  int32_t reserved;      /* set to 0 */
  double lat1;           /* first standard parallel, degrees (conics) */
  double lat2;           /* second standard parallel, degrees (conics) */
  double lat0;           /* latitude of origin / centre, degrees */
  double lon0;           /* central meridian, degrees */
  double false_easting;  /* metres (degrees for LONLAT) added to x */
  double false_northing; /* metres (degrees for LONLAT) added to y */
} GeoProjection;

/* Flags of an output part (GeoParts.part_flags). */
#define ORDANE_PART_RING   1 /* a closed ring (from an input ring); else an open line */
#define ORDANE_PART_HOLE   2 /* the ring winds counter-clockwise in the (lon, lat) plane
                                (east right, north up): a hole in the shapefile
                                convention, whose outer rings wind clockwise */
#define ORDANE_PART_POLAR  4 /* the ring enclosed a pole and was closed along the
                                pole's parallel */
#define ORDANE_PART_SPLIT  8 /* the part was cut (at the antimeridian or the horizon) */

/* Parts made by ordane_cut_parts() and ordane_densify_parts(). Owned by the
 * library: release it with ordane_free_parts(). Arrays come from malloc;
 * with num_parts = 0 the arrays may be null (part_offsets then still holds
 * its one entry 0 when not null). "points" and "part_offsets" feed
 * ordane_build_polygon() / ordane_build_multilinestring() directly
 * (part_count = num_parts). */
typedef struct GeoParts {
  int64_t num_points;    /* (x, y) pairs in points */
  int64_t num_parts;     /* parts */
  double* points;        /* num_points pairs, all parts in order */
  int64_t* part_offsets; /* num_parts + 1 absolute pair indices into points */
  int64_t* source_parts; /* num_parts: index of the input part each came from */
  int32_t* part_flags;   /* num_parts: ORDANE_PART_* bits */
} GeoParts;

/* Options of ordane_cut_parts(). Owned by the caller. */
#define ORDANE_CUT_ANTIMERIDIAN 0 /* cut along lon0 +- 180, close rings at the poles */
#define ORDANE_CUT_HORIZON      1 /* clip to the hemisphere centred (lon0, lat0) */
typedef struct GeoCutOptions {
  int32_t mode;     /* ORDANE_CUT_ANTIMERIDIAN or ORDANE_CUT_HORIZON */
  int32_t reserved; /* set to 0 */
  double lon0;      /* central meridian (and centre longitude), degrees */
  double lat0;      /* centre latitude for ORDANE_CUT_HORIZON, degrees */
  double pole_lat;  /* latitude of the parallels that close polar rings, in
                       (0, 90]: 90, or e.g. 85.0511287798 for Web Mercator */
  double max_step;  /* >= 0.001: largest step in degrees between the points put
                       along a cut meridian, a pole's parallel or the horizon
                       (and, for the horizon, the step at which an edge is
                       searched for crossings) */
} GeoCutOptions;

/* ordane_cut_parts(): cuts "part_count" rings ("rings" nonzero) or lines
 * ("rings" 0) of (lon, lat) degrees in "points", laid out by "part_offsets"
 * ("part_count" + 1 absolute pair indices, as for the path builders), and
 * stores the pieces in a new GeoParts at *"out".
 *
 * Edges are the straight segments of the (lon, lat) plane, taken the short
 * way round in longitude (a step of more than 180 degrees crosses the
 * antimeridian; exactly 180 does not): every crossing point lies on that
 * segment, computed from its west end, so two rings sharing an edge get the
 * same point; densifying (ordane_densify_parts) follows the same segments.
 *
 * ORDANE_CUT_ANTIMERIDIAN: longitudes come out as lon0 + u with u in
 * [-180, 180]: no piece crosses lon0 + 180. A line is split where it
 * crosses; a ring is split and each piece closed along the cut meridian,
 * with points every max_step degrees at most (so that a conic draws the cut
 * edge as a curve). A ring that winds around a pole (its longitudes turn
 * a full circle) is closed along the parallel +-pole_lat of the pole it
 * encloses the smaller cap of (the south pole on a tie), whatever its
 * winding, with points every max_step degrees at most. Rings keep their
 * winding (pieces of a clockwise ring are clockwise), so outer rings and
 * holes cut together fill the same area under either fill rule; the
 * spherical area of the pieces is that of the ring (for rings that do not
 * cross themselves: a self-crossing ring still gives pieces within lon0 +-
 * 180, but their shape is not defined). A point exactly on the
 * cut stays on the side its ring or line comes from (a part touching the
 * cut is not split; one running along it stays on one side).
 *
 * ORDANE_CUT_HORIZON: keeps what lies on the hemisphere centred on (lon0,
 * lat0) (ordane_proj_ortho_forward's visible side). Lines are split where
 * they pass the horizon; rings are split there and closed along the
 * horizon circle (points every max_step degrees at most, seen from the
 * centre). A ring wholly hidden is dropped, unless it encloses the centre
 * (in the (lon, lat) plane with lon0 at the middle), when the whole
 * horizon circle comes out in its winding. pole_lat is not used. A piece's
 * first longitude lies within lon0 +- 180 and the others follow it
 * continuously (each step the short way), as the orthographic view needs
 * no seam; so a ring piece that winds around a pole ends with its first
 * point a multiple of 360 degrees of longitude away (the same point on the
 * globe), and its ORDANE_PART_HOLE bit is then not meaningful.
 *
 * Input: a point with a NaN or infinite coordinate is dropped and the rest
 * of its part kept; latitudes are clamped into [-90, 90]; longitudes may be
 * any finite value (wrapped). A ring may repeat its first point at its end
 * or not; pieces come out with their first point repeated at the end. A
 * ring with fewer than 3 distinct points, or of zero area, and a line with
 * fewer than 2 are dropped, like a part whose offsets are negative,
 * decreasing or above INT64_MAX / 16. Parts come out in input order, each
 * with source_parts giving its input part's index and part_flags its
 * ORDANE_PART_* bits.
 *
 * Returns 0 (*"out" set; zero pieces is a GeoParts with num_parts 0), or:
 *   -1  "points", "part_offsets", "options" or "out" is null, or
 *       "part_count" <= 0 (checked in that order);
 *   -21 ORDANE_CARTO_ERR_OPTION: mode unknown, pole_lat not in (0, 90],
 *       max_step below 0.001 degrees (about 100 m; NaN included) or not
 *       finite, lon0 not finite, or lat0 outside [-90, 90];
 *   -22 ORDANE_CARTO_ERR_TOO_LARGE: the pieces would pass INT64_MAX / 16
 *       points;
 *   -10 ORDANE_ERR_OUT_OF_MEMORY.
 * On failure *"out" is not written. Offsets must lie inside "points". */
ORDANE_API int32_t ordane_cut_parts(const double* points, const int64_t* part_offsets,
                                    int64_t part_count, int32_t rings,
                                    const GeoCutOptions* options, GeoParts** out);

/* ordane_densify_parts(): projects the (lon, lat) parts of "points" /
 * "part_offsets" through "projection" and then "transform" (as
 * ordane_transform_coords(); null or scale 0: metres unchanged) and inserts
 * points where needed so that each drawn straight segment stays within
 * "tolerance" pixels of the projected image of its (lon, lat) segment (the
 * same straight lon/lat segments as ordane_cut_parts() takes, between the
 * points as given: longitudes are not wrapped). Each segment is split at its
 * (lon, lat) midpoint, recursively, while the projected midpoint lies
 * farther than "tolerance" from the drawn chord, or sits outside the middle
 * 0.2 to 0.8 of it lengthwise, or the segment spans more than 10 degrees of
 * longitude or latitude (so that an S-shaped image is not missed), up to
 * "max_depth" levels (at most 2^max_depth - 1 points per segment). Input
 * points are kept, in order, and no point is dropped (a NaN point projects
 * to NaN; segments touching one are not split). A ring whose last point
 * differs from its first gets its closing segment densified and its first
 * point repeated at the end. The projections are those of the exports
 * named with ORDANE_PROJECTION_*, scalar, within their last bits; the
 * orthographic one projects the far side too (cut at the horizon first).
 * The result holds pixel
 * coordinates with the input's part layout: part i of the output is part i
 * of the input (source_parts[i] = i, part_flags[i] = ORDANE_PART_RING when
 * "rings" is nonzero), ready for the path builders with a null transform.
 * Give it ordane_cut_parts()'s output first for maps with a seam.
 *
 * Returns 0 (*"out" set), or:
 *   -1  "points", "part_offsets", "projection" or "out" null, or
 *       "part_count" <= 0 (checked in that order);
 *   -20 ORDANE_CARTO_ERR_PROJECTION: unknown projection kind;
 *   -21 ORDANE_CARTO_ERR_OPTION: "tolerance" not > 0 (NaN included) or
 *       "max_depth" outside [0, 30];
 *   -22 ORDANE_CARTO_ERR_TOO_LARGE: the result would pass INT64_MAX / 16
 *       points, or an offset is negative, decreasing or above that;
 *   -10 ORDANE_ERR_OUT_OF_MEMORY.
 * On failure *"out" is not written. Offsets must lie inside "points". */
ORDANE_API int32_t ordane_densify_parts(const double* points, const int64_t* part_offsets,
                                        int64_t part_count, int32_t rings,
                                        const GeoProjection* projection,
                                        const GeoTransform* transform, double tolerance,
                                        int32_t max_depth, GeoParts** out);

/* ordane_free_parts(): releases "parts" (from ordane_cut_parts() or
 * ordane_densify_parts()) and its arrays; null does nothing. */
ORDANE_API void ordane_free_parts(GeoParts* parts);

/* ------------------------------------------------------------------------
 * Extensions: shapefile companions
 * ------------------------------------------------------------------------ */

/* The files beside a .shp: the attribute table (.dbf) with its code page
 * (.cpg), and the coordinate system (.prj). Read like the .shp: a regular
 * file or a pipe (FIFO) is accepted, anything else (a directory, a device, a
 * socket) cannot be opened, and a FIFO without a writer is waited for up to
 * ORDANE_SHP_PIPE_WAIT_MS. Every length and count a file states is checked
 * against the file's size before anything is allocated for it; a pipe's
 * claims are checked against the bytes that really arrive, so a false claim
 * costs at most about twice what was sent. */

#define ORDANE_DBF_ERR_OPEN          (-41) /* the .dbf cannot be opened */
#define ORDANE_DBF_ERR_TOO_SHORT     (-42) /* shorter than its 32-byte header */
#define ORDANE_DBF_ERR_HEADER        (-43) /* header lengths inconsistent */
#define ORDANE_DBF_ERR_TRUNCATED     (-44) /* fewer records than the header states */
#define ORDANE_DBF_ERR_RECORD_COUNT  (-45) /* record count differs from the expected */
#define ORDANE_DBF_ERR_ENCODING      (-46) /* the encoding asked for is unknown */
#define ORDANE_PRJ_ERR_OPEN          (-47) /* the .prj cannot be opened */
#define ORDANE_PRJ_ERR_TOO_LARGE     (-48) /* more than ORDANE_PRJ_MAX_BYTES */
#define ORDANE_PRJ_ERR_TEXT          (-49) /* not UTF-8 text (or holds a NUL) */

/* How a column's values are stored (DbfColumn.kind). */
#define ORDANE_DBF_KIND_TEXT     1 /* C: UTF-8 text in text/text_offsets */
#define ORDANE_DBF_KIND_NUMBER   2 /* N, F: doubles in numbers */
#define ORDANE_DBF_KIND_LOGICAL  3 /* L: 1 / 0 in booleans */
#define ORDANE_DBF_KIND_DATE     4 /* D: days since 1970-01-01 in days */
#define ORDANE_DBF_KIND_RAW      5 /* any other type letter: the stored bytes */

/* Where the encoding of the text came from (DbfTable.encoding_source). */
#define ORDANE_DBF_ENCODING_ARGUMENT  1 /* the caller's "encoding" */
#define ORDANE_DBF_ENCODING_CPG       2 /* the .cpg beside the .dbf */
#define ORDANE_DBF_ENCODING_LDID      3 /* the header's language-driver byte */
#define ORDANE_DBF_ENCODING_DEFAULT   4 /* none stated: see ordane_read_dbf() */

/* One column of a DbfTable: a field descriptor and the field's values for
 * every record, in record order. Exactly the arrays of the column's kind are
 * set, each with num_records entries (text_offsets num_records + 1), the
 * others are null; "valid" is set for every kind. */
typedef struct DbfColumn {
  char name[48];      /* field name in UTF-8, NUL-terminated: the stored
                         bytes up to the first NUL (at most 11), converted
                         like the text */
  char type;          /* the type letter as stored ('C', 'N', 'F', ...) */
  uint8_t kind;       /* ORDANE_DBF_KIND_* */
  uint8_t length;     /* field length in bytes, as stored */
  uint8_t decimals;   /* decimal count, as stored */
  int32_t field_offset; /* byte offset of the field in a record (the
                         deletion flag is byte 0) */
  double* numbers;    /* NUMBER: the value, NaN where not valid */
  int64_t* days;      /* DATE: days since 1970-01-01 (proleptic Gregorian),
                         0 where not valid */
  uint8_t* booleans;  /* LOGICAL: 1 for T t Y y 1, 0 for F f N n 0 and where
                         not valid */
  uint8_t* valid;     /* 1 where the value is present and well formed:
                         NUMBER a number, DATE a real date, LOGICAL one of
                         the letters above, TEXT converted without a
                         replacement, RAW always 1 */
  uint64_t* text_offsets; /* TEXT, RAW: value k is the bytes
                         [text_offsets[k], text_offsets[k+1]) of "text" */
  char* text;         /* TEXT, RAW: all values end to end, no separators;
                         not NUL-terminated */
} DbfColumn;

/* A whole attribute table, by columns. Owned by the library: release it
 * with ordane_free_dbf_table(). Arrays come from malloc, sized exactly; an
 * array without elements may be null, so go by the counts. */
typedef struct DbfTable {
  int64_t num_records;     /* records, deleted ones included */
  int32_t num_columns;     /* entries in columns */
  int32_t encoding_source; /* ORDANE_DBF_ENCODING_* */
  uint8_t* deleted;        /* num_records: 1 where the record's deletion
                              flag is '*' (its values are still read) */
  DbfColumn* columns;      /* num_columns, in field order */
  char encoding[32];       /* the encoding the text was read in, as iconv
                              names it ("UTF-8", "CP1252"...), NUL-terminated */
  int32_t last_update;     /* header date as the number YYYYMMDD (year
                              1900 + the stored byte) */
  uint8_t version;         /* header byte 0 as stored (3: dBASE III) */
  uint8_t language_driver; /* header byte 29 as stored */
} DbfTable;

/* ordane_read_dbf(): reads the attribute table "dbf_path" (a dBASE III/IV
 * file as shapefile writers make it) into a new DbfTable stored at "*table".
 *
 * "expected_records" is the number of rows the table must have: pass the
 * .shp's num_shapes (ShpData) or record_count (ShpHeader); a table of
 * another size is ORDANE_DBF_ERR_RECORD_COUNT, since rows and shapes would no
 * longer match. A negative value skips the check.
 *
 * Text (C fields and the field names) comes out as UTF-8, converted with the
 * C library's iconv from, in this order of precedence:
 *  1. "encoding", when not null: an iconv name or a code page as .cpg files
 *     write them ("UTF-8", "1252", "ISO-8859-1", "cp1251", "GBK", "ANSI
 *     1251", "88591"); unknown to iconv, or longer than 31 bytes:
 *     ORDANE_DBF_ERR_ENCODING;
 *  2. the .cpg beside the file ("dbf_path" with its extension replaced by
 *     .cpg, then .CPG), the same names; one that is empty, over 255 bytes or
 *     unknown to iconv is passed over;
 *  3. the language-driver byte of the header, when it names a code page
 *     (0x57, ESRI's "ANSI", names none: GDAL writes it whatever the text's
 *     encoding, UTF-8 included);
 *  4. otherwise UTF-8 if every text value of the file is valid UTF-8, and
 *     ISO-8859-1 if not. Writers of today (GDAL, pyshp) write UTF-8, often
 *     without a .cpg, while older files are in a single-byte code page that
 *     GDAL reads as ISO-8859-1; text in a single-byte code page is almost
 *     never valid UTF-8 by chance, and ISO-8859-1 maps every byte, so no
 *     byte is lost either way.
 * A byte sequence invalid in the encoding becomes U+FFFD and the value's
 * "valid" entry 0. Text values lose trailing spaces and NULs (the padding);
 * leading spaces are kept.
 *
 * N and F fields: blanks around the number are ignored; empty, all '*'
 * (overflow), or anything but an optional sign, digits, one '.' and an
 * optional exponent is not valid (NaN). The parse is locale-independent and
 * correctly rounded. D fields: YYYYMMDD with a month 1-12 and a day of that
 * month; anything else, blanks or zeros included, is not valid. Other type
 * letters (M, B, I, ...) are RAW: the stored bytes, unconverted.
 *
 * Returns 0 with "*table" set, or, with nothing written:
 *  -1 "dbf_path" or "table" is null;
 *  ORDANE_DBF_ERR_ENCODING "encoding" is unknown (checked before the file);
 *  ORDANE_DBF_ERR_OPEN the file cannot be opened;
 *  ORDANE_DBF_ERR_TOO_SHORT fewer than 32 bytes;
 *  ORDANE_DBF_ERR_HEADER a header length below 33 or beyond the file, no
 *    field descriptor, a descriptor cut off by the header's end, or a record
 *    length shorter than the deletion flag plus the fields;
 *  ORDANE_DBF_ERR_TRUNCATED the file ends before the records the header
 *    states (a final 0x1A end mark is optional);
 *  ORDANE_DBF_ERR_RECORD_COUNT see "expected_records";
 *  ORDANE_ERR_OUT_OF_MEMORY memory ran out (everything is released).
 * Re-entrant; the files are closed before returning. */
ORDANE_API int32_t ordane_read_dbf(const char* dbf_path, const char* encoding,
                                   int64_t expected_records, DbfTable** table);

/* ordane_free_dbf_table(): releases "table" (from ordane_read_dbf()) and
 * all its arrays; null does nothing. "table" is invalid afterwards. */
ORDANE_API void ordane_free_dbf_table(DbfTable* table);

/* The largest .prj ordane_read_prj() accepts, in bytes. The WKT of any
 * coordinate system, WKT2 with its usage and bounds included, takes a few
 * kilobytes. */
#define ORDANE_PRJ_MAX_BYTES 65536

/* ordane_read_prj(): reads the coordinate system text of "prj_path" (WKT,
 * as shapefile writers put it in the .prj) into a new NUL-terminated string
 * stored at "*wkt", for a coordinate library to interpret; the library
 * itself reads nothing in it. A UTF-8 byte order mark at the start and
 * white space and NULs at the end are removed; an empty file gives "".
 * Returns 0, or with nothing written: -1 "prj_path" or "wkt" is null,
 * ORDANE_PRJ_ERR_OPEN the file cannot be opened, ORDANE_PRJ_ERR_TOO_LARGE
 * more than ORDANE_PRJ_MAX_BYTES bytes, ORDANE_PRJ_ERR_TEXT not valid UTF-8
 * or a NUL before the end, ORDANE_ERR_OUT_OF_MEMORY. Release the string with
 * ordane_free_prj_text(). Re-entrant; the file is closed before returning. */
ORDANE_API int32_t ordane_read_prj(const char* prj_path, char** wkt);

/* ordane_free_prj_text(): releases a string from ordane_read_prj(); null
 * does nothing. */
ORDANE_API void ordane_free_prj_text(char* wkt);

/* ShpGeometry.record_status: what became of each record. */
#define ORDANE_SHP_RECORD_OK          0 /* read as stored */
#define ORDANE_SHP_RECORD_MALFORMED   1 /* damaged content: an empty shape */
#define ORDANE_SHP_RECORD_UNREADABLE  2 /* the .shp's record header at the
                                           index's offset states another
                                           length: an empty shape */

/* ShpGeometry.index_state: whether the .shx located the records. */
#define ORDANE_SHX_NONE       0 /* no .shx read: absent, not a regular file,
                                   or the .shp is a pipe */
#define ORDANE_SHX_AGREES     1 /* the index and the record walk agree */
#define ORDANE_SHX_USED       2 /* the walk went astray; the index located
                                   the records */
#define ORDANE_SHX_DISAGREES  3 /* the index is malformed or does not match
                                   the .shp: the walk's records are kept */

/* Every geometry type with points, Z and M included. "xy" has the layout and
 * invariants of ShpData (shape k is row k of the .dbf, bboxes holds 4 x
 * num_shapes numbers) and holds what ordane_parse_shp() returns for the
 * types it reads, plus:
 *  - MultiPoint, MultiPointZ, MultiPointM (8, 18, 28): every point, each its
 *    own part (as a Point record's), and the record's box;
 *  - PolyLineM, PolygonM (23, 25): parts and points as PolyLine and Polygon.
 * MultiPatch (31), whose parts need their part types to mean anything, and
 * unknown types stay empty shapes with box 0, 0, 0, 0, like malformed
 * records (the rules of ShpData, plus a MultiPoint NumPoints that is
 * negative or beyond the content).
 * "z" and "m" hold one value per point of "xy.points" (num_points entries),
 * or are null when no record of the file carries that block. A point whose
 * record carries none, or whose content ends before the block (M is optional
 * after Z in the Z types), has NaN there. Values are as stored: M values
 * below -1e38, "no data" by ESRI's convention, are left to the caller.
 * The index (.shx): when the .shp is a regular file, the .shx beside it
 * ("file_path" with its extension replaced by .shx, then .SHX) is read too.
 * Its entries are compared with the records the walk found (offset and
 * Content Length of each); when they are the same, index_state is
 * ORDANE_SHX_AGREES. When they differ (a damaged Content Length makes the
 * walk lose the records' alignment), the index is used instead if it is
 * well formed (File Code 9994, 100 + 8 x N bytes, offsets increasing,
 * records not overlapping and inside the .shp) and the .shp holds, at the
 * offset of every entry k, a record header with Record Number k + 1: then
 * there is one shape per entry, index_state is ORDANE_SHX_USED, and an entry
 * whose record header in the .shp states another Content Length is
 * ORDANE_SHP_RECORD_UNREADABLE. Otherwise the index disagrees with the main
 * file and the walk's result stands (ORDANE_SHX_DISAGREES): the main file's
 * own walk wins over an index that does not describe it.
 * Released with ordane_free_shp_geometry(); arrays come from malloc, sized
 * exactly, and may be null when empty. */
typedef struct ShpGeometry {
  ShpData xy;             /* x, y, parts, offsets and boxes */
  double* z;              /* xy.num_points Z values, or null */
  double* m;              /* xy.num_points M values, or null */
  int32_t* shape_types;   /* xy.num_shapes: each record's own Shape Type
                             (0 for a record too short to hold one) */
  uint8_t* record_status; /* xy.num_shapes: ORDANE_SHP_RECORD_* */
  int32_t index_state;    /* ORDANE_SHX_*: how the records were found */
  int32_t index_records;  /* entries of the .shx, -1 when none was read */
} ShpGeometry;

/* ordane_read_shp_geometry(): reads every record of "file_path" in one
 * sequential pass, as ordane_parse_shp() does (same record walk, same bounds
 * on streams, same damage rules), into a new ShpGeometry stored at
 * "*geometry". ordane_parse_shp() itself is unchanged.
 * Returns 0, or with nothing written: -1 "file_path" or "geometry" null,
 * ORDANE_SHP_ERR_OPEN (-2) the file cannot be opened, ORDANE_SHP_ERR_TOO_SHORT
 * (-3) fewer than 100 bytes, ORDANE_ERR_OUT_OF_MEMORY. Re-entrant; the file
 * is closed before returning. */
ORDANE_API int32_t ordane_read_shp_geometry(const char* file_path, ShpGeometry** geometry);

/* ordane_free_shp_geometry(): releases "geometry" and its arrays; null does
 * nothing. */
ORDANE_API void ordane_free_shp_geometry(ShpGeometry* geometry);

/* ------------------------------------------------------------------------
 * Extensions: download with its HTTP status
 * ------------------------------------------------------------------------ */

/* ordane_http_download_file_status(): ordane_http_download_file() that also
 * tells the HTTP status of the response it ended on, so that a caller can
 * say why a download failed (or that a 0 holds an error page).
 *
 * Downloads exactly as ordane_http_download_file(), with the same limits,
 * file rules and result codes (0, -1 to -9), and on Windows the same
 * differences. "http_status" must not be null.
 *
 * Returns -1 when "url", "dest_path" or "http_status" is null (tested in
 * that order); *"http_status" is then not written. Otherwise, whatever the
 * result, *"http_status" receives the status code (100 to 999) of the last
 * response whose header block arrived complete, interim 1xx responses left
 * aside (a 101 counts): after redirects, that of the final response; for a
 * redirect that could not be followed (too many, a Location refused), that
 * of the redirect; 0 when the last request got no complete response (a
 * rejected URL, a refused or dropped connection, a TLS failure, a stall or
 * a cut-off before the end of the headers). A status other than 0 with a
 * result of -7 is a response that was refused (malformed framing, an
 * unrequested protocol switch); with -8 or -9, the response whose body could
 * not be saved whole.
 *
 * On Windows the redirects are followed inside WinHTTP: a redirect that
 * cannot be followed gives 0 there, and the status is the one WinHTTP
 * reports for the response it ended on. */
ORDANE_API int32_t ordane_http_download_file_status(const char* url, const char* dest_path,
                                                    int32_t* http_status);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Record layouts are part of the ABI: binding layers mirror them by hand. */
#if defined(__cplusplus)
#  define ORDANE_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define ORDANE_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#ifdef ORDANE_STATIC_ASSERT
ORDANE_STATIC_ASSERT(sizeof(GeoTransform) == 80, "GeoTransform layout");
ORDANE_STATIC_ASSERT(offsetof(GeoTransform, scale) == 64, "GeoTransform.scale");
ORDANE_STATIC_ASSERT(offsetof(GeoTransform, flip_y) == 72, "GeoTransform.flip_y");
ORDANE_STATIC_ASSERT(sizeof(ShpHeader) == 88, "ShpHeader layout");
ORDANE_STATIC_ASSERT(offsetof(ShpHeader, min_x) == 16, "ShpHeader.min_x");
ORDANE_STATIC_ASSERT(offsetof(ShpHeader, max_m) == 72, "ShpHeader.max_m");
ORDANE_STATIC_ASSERT(offsetof(ShpHeader, record_count) == 80, "ShpHeader.record_count");
#  if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
ORDANE_STATIC_ASSERT(sizeof(ShpData) == 64, "ShpData layout");
ORDANE_STATIC_ASSERT(offsetof(ShpData, num_parts) == 8, "ShpData.num_parts");
ORDANE_STATIC_ASSERT(offsetof(ShpData, points) == 24, "ShpData.points");
ORDANE_STATIC_ASSERT(offsetof(ShpData, bboxes) == 56, "ShpData.bboxes");
ORDANE_STATIC_ASSERT(sizeof(GeoParts) == 48, "GeoParts layout");
ORDANE_STATIC_ASSERT(offsetof(GeoParts, points) == 16, "GeoParts.points");
ORDANE_STATIC_ASSERT(offsetof(GeoParts, part_flags) == 40, "GeoParts.part_flags");
ORDANE_STATIC_ASSERT(sizeof(DbfColumn) == 104, "DbfColumn layout");
ORDANE_STATIC_ASSERT(offsetof(DbfColumn, type) == 48, "DbfColumn.type");
ORDANE_STATIC_ASSERT(offsetof(DbfColumn, field_offset) == 52, "DbfColumn.field_offset");
ORDANE_STATIC_ASSERT(offsetof(DbfColumn, numbers) == 56, "DbfColumn.numbers");
ORDANE_STATIC_ASSERT(offsetof(DbfColumn, text) == 96, "DbfColumn.text");
ORDANE_STATIC_ASSERT(sizeof(DbfTable) == 72, "DbfTable layout");
ORDANE_STATIC_ASSERT(offsetof(DbfTable, deleted) == 16, "DbfTable.deleted");
ORDANE_STATIC_ASSERT(offsetof(DbfTable, encoding) == 32, "DbfTable.encoding");
ORDANE_STATIC_ASSERT(offsetof(DbfTable, last_update) == 64, "DbfTable.last_update");
ORDANE_STATIC_ASSERT(offsetof(DbfTable, language_driver) == 69, "DbfTable.language_driver");
ORDANE_STATIC_ASSERT(sizeof(ShpGeometry) == 104, "ShpGeometry layout");
ORDANE_STATIC_ASSERT(offsetof(ShpGeometry, index_state) == 96, "ShpGeometry.index_state");
ORDANE_STATIC_ASSERT(offsetof(ShpGeometry, z) == 64, "ShpGeometry.z");
ORDANE_STATIC_ASSERT(offsetof(ShpGeometry, shape_types) == 80, "ShpGeometry.shape_types");
#  endif
ORDANE_STATIC_ASSERT(sizeof(GeoProjection) == 56, "GeoProjection layout");
ORDANE_STATIC_ASSERT(offsetof(GeoProjection, lat1) == 8, "GeoProjection.lat1");
ORDANE_STATIC_ASSERT(offsetof(GeoProjection, false_northing) == 48, "GeoProjection.false_northing");
ORDANE_STATIC_ASSERT(sizeof(GeoCutOptions) == 40, "GeoCutOptions layout");
ORDANE_STATIC_ASSERT(offsetof(GeoCutOptions, lon0) == 8, "GeoCutOptions.lon0");
ORDANE_STATIC_ASSERT(offsetof(GeoCutOptions, max_step) == 32, "GeoCutOptions.max_step");
#  undef ORDANE_STATIC_ASSERT
#endif

#endif /* ORDANE_H */
