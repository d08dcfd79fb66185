#include "download.h"

#include <ordane.h>

namespace poster {

// Each failure's text starts with the code's meaning as ordane.h's table
// gives it, word for word (tests/download_text_test.cpp compares them), and
// goes on with what it means for the user.
std::string download_result_text(int32_t code) {
  switch (code) {
    case ORDANE_OK:
      return "success";
    case ORDANE_ERR_INVALID_ARGUMENT:
      return "no URL or no destination was given";
    case ORDANE_HTTP_ERR_URL_TEXT:
      return "the URL is not valid UTF-8";
    case ORDANE_HTTP_ERR_CRACK_URL:
      return "not an http or https URL with a host";
    case ORDANE_HTTP_ERR_SESSION:
      return "no client session, or no memory before the transfer: the HTTP client could "
             "not be set up; nothing was sent";
    case ORDANE_HTTP_ERR_CONNECT:
      return "the connection options cannot be set: the HTTP client refused its connection "
             "settings; nothing was sent";
    case ORDANE_HTTP_ERR_REQUEST:
      return "the request options cannot be set: the HTTP client refused the request's "
             "settings; nothing was sent";
    case ORDANE_HTTP_ERR_SEND:
      return "no complete, well-formed final response headers (host unknown or "
             "unreachable, connection refused or dropped, TLS failure, no connection "
             "within 60 s, the server stalled before its headers ended, a failed or "
             "endless redirect, or a malformed response such as conflicting lengths or an "
             "unsupported transfer coding); the destination file was left as it was";
    case ORDANE_HTTP_ERR_OPEN_DEST:
      return "the destination cannot be opened for writing";
    case ORDANE_HTTP_ERR_TRANSFER:
      return "the body broke off, stalled or could not be written (under 1 byte per second "
             "for 30 s is a stall) before the whole body arrived; the file is incomplete";
    default:
      return "unknown failure";
  }
}

std::string download_destination(const std::string& url, const std::string& folder) {
  // Strip the query and fragment, then take what follows the last slash of
  // the path (never of the "scheme://" part).
  std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t scheme = path.find("://");
  const size_t host_start = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t slash = path.find('/', host_start);
  std::string name;
  if (slash != std::string::npos) name = path.substr(path.rfind('/') + 1);
  bool plain = !name.empty() && name != "." && name != "..";
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) plain = false;
  }
  return folder + "/" + (plain ? name : std::string("download.shp"));
}

}  // namespace poster
