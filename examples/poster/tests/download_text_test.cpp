// The poster's texts for the download's result codes against the meanings
// in ordane.h's table, read from the header itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "download.h"

namespace {

// {code: meaning} from the header's "#define ORDANE_HTTP_ERR_... (-N) /*
// meaning */" lines, white space inside a meaning folded to one space.
std::map<int32_t, std::string> header_table() {
  std::ifstream in(QUILLON_ORDANE_HEADER);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::regex define(R"(#define\s+ORDANE_HTTP_ERR_\w*\s+\((-\d+)\)\s*/\*(([^*]|\*[^/])*)\*/)");
  std::map<int32_t, std::string> table;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), define);
       it != std::sregex_iterator(); ++it) {
    std::istringstream words((*it)[2].str());
    std::string meaning;
    std::string word;
    while (words >> word) meaning += (meaning.empty() ? "" : " ") + word;
    table[std::stoi((*it)[1].str())] = meaning;
  }
  return table;
}

TEST(download_result_text, StartsWithTheHeadersMeaningOfEachCode) {
  const std::map<int32_t, std::string> table = header_table();
  ASSERT_EQ(table.size(), 8u) << "the header's table of codes -2 to -9 was not found";
  for (const auto& [code, meaning] : table) {
    SCOPED_TRACE(code);
    const std::string text = poster::download_result_text(code);
    EXPECT_EQ(text.substr(0, meaning.size()), meaning) << text;
    // What follows the meaning is a separate clause.
    if (text.size() > meaning.size()) {
      EXPECT_NE(std::string(" :;(").find(text[meaning.size()]), std::string::npos) << text;
    }
  }
}

TEST(download_failure, NamesTheStatusWhereOneWasReceived) {
  EXPECT_EQ(poster::http_status_text(404), "HTTP 404 Not Found");
  EXPECT_EQ(poster::http_status_text(599), "HTTP 599");
  // A transfer that went through but ended on an error page.
  EXPECT_EQ(poster::download_failure("http://h/a.shp", 0, 503),
            "download of http://h/a.shp failed: the server answered HTTP 503 Service "
            "Unavailable; nothing was saved");
  // A body cut off after the headers: the cause, then the status.
  const std::string cut = poster::download_failure("http://h/a.shp", -9, 200);
  EXPECT_EQ(cut.find("download of http://h/a.shp failed: the body broke off"), 0u) << cut;
  EXPECT_NE(cut.find("; the server answered HTTP 200 OK (code -9)"), std::string::npos) << cut;
  // No response at all: no status is made up.
  const std::string refused = poster::download_failure("http://h/a.shp", -7, 0);
  EXPECT_EQ(refused.find("HTTP "), std::string::npos) << refused;
  EXPECT_NE(refused.find("(code -7)"), std::string::npos) << refused;
  EXPECT_FALSE(poster::is_failure_status(200));
  EXPECT_FALSE(poster::is_failure_status(0));
  EXPECT_TRUE(poster::is_failure_status(404));
  EXPECT_TRUE(poster::is_failure_status(301));
}

}  // namespace
