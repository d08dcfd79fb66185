// Fetching a shapefile with ordane_http_download_file_status.
#ifndef QUILLON_POSTER_DOWNLOAD_H
#define QUILLON_POSTER_DOWNLOAD_H

#include <cstdint>
#include <string>

namespace poster {

// What a result code of ordane_http_download_file means, in words.
std::string download_result_text(int32_t code);

// "HTTP 404 Not Found": a status with its reason phrase when it is a common
// one, "HTTP 599" otherwise.
std::string http_status_text(int32_t status);

// Whether a download that returned 0 ended on a status that is not the file
// (anything from 300 on: a redirect not followed, an error page).
bool is_failure_status(int32_t status);

// The one-line cause of a failed download of "url": the result code's
// meaning, or for a transfer that succeeded the status that refused it,
// with the HTTP status whenever a response was received (0: none).
std::string download_failure(const std::string& url, int32_t code, int32_t status);

// Where a download of "url" is stored inside "folder": the last path
// segment of the URL when it is a plain file name, else "download.shp".
std::string download_destination(const std::string& url, const std::string& folder);

}  // namespace poster

#endif  // QUILLON_POSTER_DOWNLOAD_H
