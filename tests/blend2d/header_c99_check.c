/* Compiles <blend2d/blend2d.h> as C99 and calls into the library from C;
 * abi_test.cpp compares the layouts seen here with the C++ ones. */
#include <blend2d/blend2d.h>

#include <stddef.h>

size_t blt_c_sizeof(int which);
size_t blt_c_alignof_cores(void);
int blt_c_build_path(void);

size_t blt_c_sizeof(int which) {
  switch (which) {
    case 0: return sizeof(BLPathCore);
    case 1: return sizeof(BLImageCore);
    case 2: return sizeof(BLContextCore);
    case 3: return sizeof(BLImageData);
    case 4: return sizeof(BLFormat);
    case 5: return sizeof(BLPathCmd);
    default: return 0;
  }
}

/* Alignment via offsetof, which C99 has (alignof arrived in C11). */
struct blt_align_probe { char c; BLPathCore p; };
size_t blt_c_alignof_cores(void) { return offsetof(struct blt_align_probe, p); }

/* Builds a small path through the C API; 1 when it holds what was added. */
int blt_c_build_path(void) {
  BLPathCore path;
  int ok;
  bl_path_init(&path);
  ok = bl_path_move_to(&path, 1.0, 2.0) == BL_SUCCESS &&
       bl_path_line_to(&path, 3.0, 4.0) == BL_SUCCESS &&
       bl_path_get_size(&path) == 2 &&
       bl_path_get_command_data(&path)[1] == BL_PATH_CMD_ON &&
       bl_path_get_vertex_data(&path)[1].y == 4.0;
  bl_path_destroy(&path);
  return ok;
}
