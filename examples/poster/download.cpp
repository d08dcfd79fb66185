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

std::string http_status_text(int32_t status) {
  struct Reason {
    int32_t status;
    const char* phrase;
  };
  static const Reason kReasons[] = {
      {200, "OK"},
      {204, "No Content"},
      {301, "Moved Permanently"},
      {302, "Found"},
      {303, "See Other"},
      {304, "Not Modified"},
      {307, "Temporary Redirect"},
      {308, "Permanent Redirect"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {408, "Request Timeout"},
      {410, "Gone"},
      {429, "Too Many Requests"},
      {500, "Internal Server Error"},
      {501, "Not Implemented"},
      {502, "Bad Gateway"},
      {503, "Service Unavailable"},
      {504, "Gateway Timeout"},
  };
  std::string text = "HTTP " + std::to_string(status);
  for (const Reason& r : kReasons)
    if (r.status == status) text += std::string(" ") + r.phrase;
  return text;
}

bool is_failure_status(int32_t status) { return status >= 300; }

std::string download_failure(const std::string& url, int32_t code, int32_t status) {
  std::string text = "download of " + url + " failed: ";
  if (code == ORDANE_OK) {
    // The transfer went through, but what came is not the file.
    text += "the server answered " + http_status_text(status);
    text += status < 400 ? " (a redirect that was not followed)" : "";
    return text + "; nothing was saved";
  }
  text += download_result_text(code);
  if (status != 0) text += "; the server answered " + http_status_text(status);
  return text + " (code " + std::to_string(code) + ")";
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
