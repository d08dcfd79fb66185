/* The tour programs write into out/ (ignored by git) unless given a file:
 * the folder is made when the default is used. */
#ifndef TOUR_OUT_FOLDER_H
#define TOUR_OUT_FOLDER_H

#ifdef _WIN32
#include <direct.h>
static void tour_make_out_folder(void) { (void)_mkdir("out"); }
#else
#include <sys/stat.h>
static void tour_make_out_folder(void) { (void)mkdir("out", 0777); }
#endif

#endif /* TOUR_OUT_FOLDER_H */
