// Fetching a shapefile with ordane_http_download_file.
#ifndef QUILLON_POSTER_DOWNLOAD_H
#define QUILLON_POSTER_DOWNLOAD_H

#include <cstdint>
#include <string>

namespace poster {

// What a result code of ordane_http_download_file means, in words.
std::string download_result_text(int32_t code);

// Where a download of "url" is stored inside "folder": the last path
// segment of the URL when it is a plain file name, else "download.shp".
std::string download_destination(const std::string& url, const std::string& folder);

}  // namespace poster

#endif  // QUILLON_POSTER_DOWNLOAD_H
