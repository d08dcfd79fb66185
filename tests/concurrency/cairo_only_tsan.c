/* cairo_only_tsan.c - plain Cairo on eight threads, with no project code:
 * each thread fills circles into surfaces of its own, as the stand-in
 * Blend2D core does for each rendering context. Built and run under
 * ThreadSanitizer by scripts/run-tsan.sh, it shows which reports, if any,
 * Cairo produces on its own (see tsan.supp). */
#include <cairo.h>
#include <pthread.h>
#include <stdio.h>
static void* work(void* arg) {
  (void)arg;
  for (int r = 0; r < 6; ++r) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 64);
    cairo_t* cr = cairo_create(s);
    for (int i = 0; i < 50; ++i) {
      cairo_set_source_rgba(cr, 1, 0.5, 0.25, 0.5);
      cairo_arc(cr, 32, 32, 3 + i % 7, 0, 6.283185307179586);
      cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
  return NULL;
}
int main(void) {
  pthread_t t[8];
  for (int i = 0; i < 8; ++i) pthread_create(&t[i], NULL, work, NULL);
  for (int i = 0; i < 8; ++i) pthread_join(t[i], NULL);
  puts("done");
  return 0;
}
