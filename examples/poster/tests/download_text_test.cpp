// The poster's texts for the download's result codes against the meanings
// in ordane.h's table, read from the header itself.
#include "download.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

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

}  // namespace
