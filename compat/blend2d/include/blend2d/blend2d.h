/*
 * bl2dcompat: the project's stand-in for the subset of the Blend2D C API that
 * libordane, libvelket and libtorvik use.  Same names, signatures and enum
 * values as Blend2D 0.21.x for that subset; rendering is backed by Cairo.
 *
 * Used only when the real Blend2D is not found.  Valid C99/C11 and C++.
 */
#ifndef BL2DCOMPAT_BLEND2D_H
#define BL2DCOMPAT_BLEND2D_H

#include <stddef.h>
#include <stdint.h>

/* The Blend2D release whose C API and behaviour this stand-in follows. */
#define BL_MAKE_VERSION(MAJOR, MINOR, PATCH) (((MAJOR) << 16) | ((MINOR) << 8) | (PATCH))
#define BL_VERSION BL_MAKE_VERSION(0, 21, 2)

#if defined(_WIN32)
  #define BL_API
#elif defined(__GNUC__) || defined(__clang__)
  #define BL_API __attribute__((visibility("default")))
#else
  #define BL_API
#endif

/* Enums have a 32-bit unsigned underlying type in C++; in C they are plain
 * enums (int sized on every supported ABI). */
#if defined(__cplusplus)
  #define BL_ENUM_UNDERLYING_TYPE : uint32_t
#else
  #define BL_ENUM_UNDERLYING_TYPE
#endif

#if defined(__cplusplus)
extern "C" {
#endif

/* ---- Result codes ------------------------------------------------------ */

typedef uint32_t BLResult;

typedef enum BLResultCode BL_ENUM_UNDERLYING_TYPE {
  BL_SUCCESS = 0,
  BL_ERROR_START_INDEX = 0x00010000u,
  BL_ERROR_OUT_OF_MEMORY = 0x00010000u,
  BL_ERROR_INVALID_VALUE = 0x00010001u,
  BL_ERROR_INVALID_STATE = 0x00010002u,
  BL_ERROR_IMAGE_NO_MATCHING_CODEC = 0x0001003Bu,
  BL_ERROR_IMAGE_ENCODER_NOT_PROVIDED = 0x0001003Eu
} BLResultCode;

/* ---- Plain value types ------------------------------------------------- */

typedef struct BLPoint { double x, y; } BLPoint;
typedef struct BLCircle { double cx, cy, r; } BLCircle;
typedef struct BLRange { size_t start, end; } BLRange;
typedef struct BLSizeI { int w, h; } BLSizeI;
typedef struct BLRect { double x, y, w, h; } BLRect;
typedef struct BLSize { double w, h; } BLSize;
/* An affine transform: x' = x*m[0] + y*m[2] + m[4], y' = x*m[1] + y*m[3] + m[5]
 * (m00, m01, m10, m11, m20, m21 in the real library's names). */
typedef struct BLMatrix2D { double m[6]; } BLMatrix2D;

typedef struct BLImageData {
  void* pixel_data;
  intptr_t stride;
  BLSizeI size;
  uint32_t format;
  uint32_t flags;
} BLImageData;

/* ---- Enums (values are ABI) -------------------------------------------- */

typedef enum BLPathCmd BL_ENUM_UNDERLYING_TYPE {
  BL_PATH_CMD_MOVE = 0,
  BL_PATH_CMD_ON = 1,
  BL_PATH_CMD_QUAD = 2,
  BL_PATH_CMD_CONIC = 3,
  BL_PATH_CMD_CUBIC = 4,
  BL_PATH_CMD_CLOSE = 5,
  BL_PATH_CMD_WEIGHT = 6
} BLPathCmd;

typedef enum BLGeometryType BL_ENUM_UNDERLYING_TYPE {
  BL_GEOMETRY_TYPE_NONE = 0,
  BL_GEOMETRY_TYPE_BOXI = 1,
  BL_GEOMETRY_TYPE_BOXD = 2,
  BL_GEOMETRY_TYPE_RECTI = 3,
  BL_GEOMETRY_TYPE_RECTD = 4,
  BL_GEOMETRY_TYPE_CIRCLE = 5,
  BL_GEOMETRY_TYPE_ELLIPSE = 6,
  BL_GEOMETRY_TYPE_ROUND_RECT = 7,
  BL_GEOMETRY_TYPE_ARC = 8,
  BL_GEOMETRY_TYPE_CHORD = 9,
  BL_GEOMETRY_TYPE_PIE = 10,
  BL_GEOMETRY_TYPE_LINE = 11,
  BL_GEOMETRY_TYPE_TRIANGLE = 12,
  BL_GEOMETRY_TYPE_POLYLINEI = 13,
  BL_GEOMETRY_TYPE_POLYLINED = 14,
  BL_GEOMETRY_TYPE_POLYGONI = 15,
  BL_GEOMETRY_TYPE_POLYGOND = 16,
  BL_GEOMETRY_TYPE_ARRAY_VIEW_BOXI = 17,
  BL_GEOMETRY_TYPE_ARRAY_VIEW_BOXD = 18,
  BL_GEOMETRY_TYPE_ARRAY_VIEW_RECTI = 19,
  BL_GEOMETRY_TYPE_ARRAY_VIEW_RECTD = 20,
  BL_GEOMETRY_TYPE_PATH = 21
} BLGeometryType;

typedef enum BLFormat BL_ENUM_UNDERLYING_TYPE {
  BL_FORMAT_NONE = 0,
  BL_FORMAT_PRGB32 = 1,
  BL_FORMAT_XRGB32 = 2,
  BL_FORMAT_A8 = 3
} BLFormat;

/* Of the object types only the byte array exists here. */
typedef enum BLObjectType BL_ENUM_UNDERLYING_TYPE {
  BL_OBJECT_TYPE_ARRAY_UINT8 = 35
} BLObjectType;

typedef enum BLCompOp BL_ENUM_UNDERLYING_TYPE {
  BL_COMP_OP_SRC_OVER = 0,
  BL_COMP_OP_SRC_COPY = 1
} BLCompOp;

/* ---- Object cores: 16 bytes, 8-byte aligned, contents private ---------- */

struct BLPathCore { void* _impl; void* _reserved; };
struct BLImageCore { void* _impl; void* _reserved; };
struct BLContextCore { void* _impl; void* _reserved; };
typedef struct BLPathCore BLPathCore;
typedef struct BLImageCore BLImageCore;
typedef struct BLContextCore BLContextCore;
struct BLArrayCore { void* _impl; void* _reserved; };
struct BLImageCodecCore { void* _impl; void* _reserved; };
typedef struct BLArrayCore BLArrayCore;
typedef struct BLImageCodecCore BLImageCodecCore;

/* Used only by pointer (pass NULL). */
typedef struct BLContextCreateInfo BLContextCreateInfo;

/* ---- Byte arrays ------------------------------------------------------- */

/* Only BL_OBJECT_TYPE_ARRAY_UINT8 arrays exist (any other type is
 * BL_ERROR_INVALID_VALUE and leaves the array empty but initialised). */
BL_API BLResult bl_array_init(BLArrayCore* self, BLObjectType array_type);
BL_API BLResult bl_array_destroy(BLArrayCore* self);
BL_API BLResult bl_array_reset(BLArrayCore* self);
BL_API size_t bl_array_get_size(const BLArrayCore* self);
BL_API const void* bl_array_get_data(const BLArrayCore* self);

/* ---- Image codecs ------------------------------------------------------ */

/* The built-in codecs are the PNG encoder only: find_by_name matches "PNG"
 * exactly (size SIZE_MAX: name is NUL-terminated); "codecs" must be NULL
 * (the built-in list). */
BL_API BLResult bl_image_codec_init(BLImageCodecCore* self);
BL_API BLResult bl_image_codec_destroy(BLImageCodecCore* self);
BL_API BLResult bl_image_codec_find_by_name(BLImageCodecCore* self, const char* name, size_t size, const BLArrayCore* codecs);

/* ---- Paths ------------------------------------------------------------- */

BL_API BLResult bl_path_init(BLPathCore* self);
BL_API BLResult bl_path_destroy(BLPathCore* self);
BL_API BLResult bl_path_reset(BLPathCore* self);
BL_API BLResult bl_path_clear(BLPathCore* self);
BL_API size_t bl_path_get_size(const BLPathCore* self);
BL_API const uint8_t* bl_path_get_command_data(const BLPathCore* self);
BL_API const BLPoint* bl_path_get_vertex_data(const BLPathCore* self);
BL_API BLResult bl_path_move_to(BLPathCore* self, double x, double y);
BL_API BLResult bl_path_line_to(BLPathCore* self, double x, double y);
BL_API BLResult bl_path_quad_to(BLPathCore* self, double x1, double y1, double x2, double y2);
BL_API BLResult bl_path_cubic_to(BLPathCore* self, double x1, double y1, double x2, double y2, double x3, double y3);
BL_API BLResult bl_path_conic_to(BLPathCore* self, double x1, double y1, double x2, double y2, double w);
BL_API BLResult bl_path_close(BLPathCore* self);
BL_API BLResult bl_path_add_path(BLPathCore* self, const BLPathCore* other, const BLRange* range);

/* ---- Images ------------------------------------------------------------ */

BL_API BLResult bl_image_init(BLImageCore* self);
BL_API BLResult bl_image_init_as(BLImageCore* self, int w, int h, BLFormat format);
BL_API BLResult bl_image_destroy(BLImageCore* self);
BL_API BLResult bl_image_get_data(const BLImageCore* self, BLImageData* data_out);
BL_API BLResult bl_image_write_to_file(const BLImageCore* self, const char* file_name, const BLImageCodecCore* codec);
/* Appends the image encoded by "codec" to the byte array "dst" (which keeps
 * what it held before the call); an empty image is BL_ERROR_INVALID_VALUE and
 * an empty codec BL_ERROR_IMAGE_ENCODER_NOT_PROVIDED, "dst" unchanged. */
BL_API BLResult bl_image_write_to_data(const BLImageCore* self, BLArrayCore* dst, const BLImageCodecCore* codec);

/* ---- Rendering contexts ------------------------------------------------ */

BL_API BLResult bl_context_init(BLContextCore* self);
BL_API BLResult bl_context_init_as(BLContextCore* self, BLImageCore* image, const BLContextCreateInfo* cci);
BL_API BLResult bl_context_end(BLContextCore* self);
BL_API BLResult bl_context_destroy(BLContextCore* self);
BL_API BLResult bl_context_set_comp_op(BLContextCore* self, BLCompOp comp_op);
BL_API BLResult bl_context_set_stroke_width(BLContextCore* self, double width);
BL_API BLResult bl_context_clear_all(BLContextCore* self);
BL_API BLResult bl_context_fill_all_rgba32(BLContextCore* self, uint32_t rgba32);
/* fill_geometry takes CIRCLE (a BLCircle), BOXD, RECTD, PATH, and POLYGOND (a
 * view { const BLPoint* data; size_t size; }, the real BLArrayView<BLPoint>). */
BL_API BLResult bl_context_fill_geometry_rgba32(BLContextCore* self, BLGeometryType type, const void* data, uint32_t rgba32);
BL_API BLResult bl_context_fill_path_d_rgba32(BLContextCore* self, const BLPoint* origin, const BLPathCore* path, uint32_t rgba32);
BL_API BLResult bl_context_stroke_path_d_rgba32(BLContextCore* self, const BLPoint* origin, const BLPathCore* path, uint32_t rgba32);

/* Clipping: each clip_to_rect narrows the clip to its intersection with the
 * rectangle (x, y, w, h); restore_clipping widens it to the whole image again
 * (this subset has no save/restore, so there is no saved clip to return to). */
BL_API BLResult bl_context_clip_to_rect_d(BLContextCore* self, const BLRect* rect);
BL_API BLResult bl_context_restore_clipping(BLContextCore* self);

/* The size of the attached image ({0, 0} once detached), and the transform
 * from user to pixel coordinates, which this subset never changes from the
 * identity; the real library's context may carry another. */
BL_API BLResult bl_context_get_target_size(const BLContextCore* self, BLSize* target_size_out);
BL_API BLResult bl_context_get_final_transform(const BLContextCore* self, BLMatrix2D* transform_out);

#if defined(__cplusplus)
} /* extern "C" */
#endif

#endif /* BL2DCOMPAT_BLEND2D_H */
