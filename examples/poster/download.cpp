#include "download.h"

#include <ordane.h>

namespace poster {

std::string download_result_text(int32_t code) {
  switch (code) {
    case ORDANE_OK:
      return "success";
    case ORDANE_ERR_INVALID_ARGUMENT:
      return "no URL or no destination was given";
    case ORDANE_HTTP_ERR_URL_TEXT:
      return "the URL is not valid UTF-8 text";
    case ORDANE_HTTP_ERR_CRACK_URL:
      return "the URL is not an http or https URL with a host name";
    case ORDANE_HTTP_ERR_SESSION:
      return "the HTTP client could not be set up";
    case ORDANE_HTTP_ERR_CONNECT:
      return "no connection to the host could be set up";
    case ORDANE_HTTP_ERR_REQUEST:
      return "the request could not be set up";
    case ORDANE_HTTP_ERR_SEND:
      return "no complete, well-formed response arrived (host unreachable, connection "
             "refused, TLS failure, no connection within 60 s, the server stalled before "
             "its headers ended, a failed or endless redirect, or a malformed response "
             "such as conflicting lengths or an unsupported transfer coding); "
             "the destination file was left as it was";
    case ORDANE_HTTP_ERR_OPEN_DEST:
      return "the destination file could not be opened for writing";
    case ORDANE_HTTP_ERR_TRANSFER:
      return "the transfer broke off, stalled (under 1 byte per second for 30 s) or "
             "could not be written before the whole body arrived; the file is incomplete";
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
