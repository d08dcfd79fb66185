// The download exports: their argument checks, then the platform's download
// (http_download.cpp or http_download_winhttp.cpp).

#include "ordane.h"
#include "http_download.h"

extern "C" ORDANE_API int32_t ordane_http_download_file(const char* url, const char* dest_path) {
  if (url == nullptr || dest_path == nullptr) return ORDANE_ERR_INVALID_ARGUMENT;
  int32_t ignored = 0;
  return ordane::http::download_file(url, dest_path, &ignored);
}

extern "C" ORDANE_API int32_t ordane_http_download_file_status(const char* url,
                                                               const char* dest_path,
                                                               int32_t* http_status) {
  if (url == nullptr || dest_path == nullptr || http_status == nullptr) {
    return ORDANE_ERR_INVALID_ARGUMENT;
  }
  return ordane::http::download_file(url, dest_path, http_status);
}
