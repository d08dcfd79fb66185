/* Compiled as strict C11 with warnings as errors: proves that the three
 * public headers are plain C, that their records have the pinned layouts and
 * that every declared export has the declared C signature. */
#include <ordane.h>
#include <torvik.h>
#include <velket.h>

#include <stddef.h>

/* The version macros work in preprocessor conditions. */
#if ORDANE_VERSION < ORDANE_MAKE_VERSION(1, 0, 0) || VELKET_VERSION < VELKET_MAKE_VERSION(1, 0, 0) || \
    TORVIK_VERSION < TORVIK_MAKE_VERSION(1, 0, 0)
#error "version macros"
#endif

_Static_assert(sizeof(GeoTransform) == 80, "GeoTransform");
_Static_assert(sizeof(ShpHeader) == 88, "ShpHeader");
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
_Static_assert(sizeof(DbfColumn) == 104, "DbfColumn");
_Static_assert(sizeof(DbfTable) == 72, "DbfTable");
_Static_assert(sizeof(ShpGeometry) == 104, "ShpGeometry");
#endif
_Static_assert(sizeof(PerspectiveCamera) == 80, "PerspectiveCamera");

/* Function pointer types spelled out independently of the header: a drifting
 * signature is an incompatible-pointer error under -Werror. */
typedef int32_t (*proj_fn)(const double*, double*, int64_t);
typedef int32_t (*conic_fn)(double, double, double, double, double, double, const double*,
                            double*, int64_t);
typedef int32_t (*build_parts_fn)(struct BLPathCore*, const double*, const int64_t*, int64_t,
                                  const GeoTransform*);
typedef int64_t (*project_array_fn)(const double*, double*, double*, uint8_t*, uint64_t,
                                    const PerspectiveCamera*);

const proj_fn c_consumer_proj[] = {ordane_proj_3857_forward, ordane_proj_3857_inverse};
const conic_fn c_consumer_conic[] = {ordane_proj_lcc_forward, ordane_proj_albers_forward};
const build_parts_fn c_consumer_build[] = {ordane_build_polygon, ordane_build_multilinestring};
const project_array_fn c_consumer_project[] = {torvik_transform_points, torvik_transform_lines};

void (*const c_consumer_init_transform)(GeoTransform*, double, double, double, double, double,
                                        double, double, int32_t, int32_t) = ordane_init_transform;
int32_t (*const c_consumer_transform_coords)(const double*, double*, int64_t,
                                             const GeoTransform*) = ordane_transform_coords;
int32_t (*const c_consumer_linestring)(struct BLPathCore*, const double*, int64_t,
                                       const GeoTransform*) = ordane_build_linestring;
int32_t (*const c_consumer_read_header)(const char*, ShpHeader*) = ordane_read_shp_header;
ShpData* (*const c_consumer_parse)(const char*) = ordane_parse_shp;
void (*const c_consumer_free)(ShpData*) = ordane_free_shp_data;
int32_t (*const c_consumer_download)(const char*, const char*) = ordane_http_download_file;
int32_t (*const c_consumer_download_status)(const char*, const char*, int32_t*) =
    ordane_http_download_file_status;
int32_t (*const c_consumer_read_dbf)(const char*, const char*, int64_t, DbfTable**) =
    ordane_read_dbf;
void (*const c_consumer_free_dbf)(DbfTable*) = ordane_free_dbf_table;
int32_t (*const c_consumer_read_prj)(const char*, char**) = ordane_read_prj;
void (*const c_consumer_free_prj)(char*) = ordane_free_prj_text;
int32_t (*const c_consumer_read_geometry)(const char*, ShpGeometry**) = ordane_read_shp_geometry;
void (*const c_consumer_free_geometry)(ShpGeometry*) = ordane_free_shp_geometry;

double (*const c_consumer_bezier)(double, double, double, double, double) =
    velket_cubic_bezier_evaluate;
double (*const c_consumer_spring)(double, double, double, double, double) = velket_spring_evaluate;
ParticleSystem* (*const c_consumer_create)(uint64_t) = velket_ps_create;
void (*const c_consumer_handle_fns[])(ParticleSystem*) = {velket_ps_destroy, velket_ps_clear};
int32_t (*const c_consumer_gravity)(ParticleSystem*, double, double) = velket_ps_add_gravity;
int32_t (*const c_consumer_drag)(ParticleSystem*, double) = velket_ps_add_drag;
int32_t (*const c_consumer_attractor)(ParticleSystem*, double, double, double) =
    velket_ps_add_attractor;
uint64_t (*const c_consumer_emit)(ParticleSystem*, uint64_t, double, double, double, double,
                                  double, double, double, double, double, double, uint32_t,
                                  uint32_t) =
    velket_ps_emit;
void (*const c_consumer_update)(ParticleSystem*, double) = velket_ps_update;
uint64_t (*const c_consumer_count)(const ParticleSystem*) = velket_ps_get_count;
void (*const c_consumer_render)(const ParticleSystem*, struct BLContextCore*) = velket_ps_render;
int32_t (*const c_consumer_trim)(const struct BLPathCore*, struct BLPathCore*, double, double,
                                 double) = velket_trim_path;

int32_t (*const c_consumer_project_point)(double, double, const PerspectiveCamera*, double*,
                                          double*, double*) = torvik_project_point;
int32_t (*const c_consumer_transform_path)(const struct BLPathCore*, struct BLPathCore*, double*,
                                           const PerspectiveCamera*) = torvik_transform_path;
int32_t (*const c_consumer_globe)(uint32_t*, int32_t, int32_t, int32_t, const uint32_t*, int32_t,
                                  int32_t, int32_t, double, double, double, double, double,
                                  uint32_t) = torvik_render_globe;
