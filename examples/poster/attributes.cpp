// Text fields are compared and grouped as text, numbers as numbers: a
// numeric field is coloured along a ramp of eight classes of equal count
// (quantiles), which keeps a few large values from flattening the rest; a
// text, logical or date field colours each distinct value in turn from the
// palette.
#include "attributes.h"

#include <ordane.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

namespace poster {

namespace {

struct TableDeleter {
  void operator()(DbfTable* t) const { ordane_free_dbf_table(t); }
};

std::string text_of(const DbfColumn& c, int64_t row) {
  switch (c.kind) {
    case ORDANE_DBF_KIND_TEXT:
    case ORDANE_DBF_KIND_RAW:
      return std::string(c.text + c.text_offsets[row],
                         static_cast<size_t>(c.text_offsets[row + 1] - c.text_offsets[row]));
    case ORDANE_DBF_KIND_LOGICAL:
      return c.valid[row] ? (c.booleans[row] ? "true" : "false") : "";
    case ORDANE_DBF_KIND_DATE:
      return c.valid[row] ? std::to_string(c.days[row]) : "";
    default: {
      if (!c.valid[row]) return "";
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", c.numbers[row]);
      return buffer;
    }
  }
}

const DbfColumn* find_column(const DbfTable& t, const std::string& name) {
  for (int32_t i = 0; i < t.num_columns; ++i)
    if (name == t.columns[i].name) return &t.columns[i];
  // Field names are usually upper case; accept any case.
  for (int32_t i = 0; i < t.num_columns; ++i) {
    std::string a = t.columns[i].name, b = name;
    for (char& ch : a) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (char& ch : b) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (a == b) return &t.columns[i];
  }
  return nullptr;
}

std::string field_names(const DbfTable& t) {
  std::string names;
  for (int32_t i = 0; i < t.num_columns; ++i) names += (i ? ", " : "") + std::string(t.columns[i].name);
  return names.empty() ? "none" : names;
}

bool matches(const DbfColumn& c, int64_t row, const std::string& value) {
  if (c.kind == ORDANE_DBF_KIND_NUMBER) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (end != value.c_str() && *end == '\0' && errno == 0) return c.valid[row] && c.numbers[row] == v;
  }
  return text_of(c, row) == value;
}

}  // namespace

bool apply_attributes(const std::string& shp_file, const AttributeChoice& choice, MapData* map,
                      std::string* summary, std::string* error) {
  if (choice.where_field.empty() && choice.color_field.empty()) return true;
  std::filesystem::path dbf(shp_file);
  dbf.replace_extension(".dbf");
  if (!std::filesystem::exists(dbf)) {
    std::filesystem::path upper = dbf;
    upper.replace_extension(".DBF");
    if (std::filesystem::exists(upper)) dbf = upper;
  }
  DbfTable* raw = nullptr;
  const int32_t rc = ordane_read_dbf(dbf.string().c_str(), nullptr, map->num_shapes, &raw);
  std::unique_ptr<DbfTable, TableDeleter> table(raw);
  const std::string option = choice.where_field.empty() ? "--color-by" : "--where";
  if (rc != ORDANE_OK) {
    *error = option + " needs the attribute table '" + dbf.string() + "': " +
             (rc == ORDANE_DBF_ERR_OPEN          ? "it cannot be opened"
              : rc == ORDANE_DBF_ERR_RECORD_COUNT ? "its rows do not match the shapes"
              : rc == ORDANE_ERR_OUT_OF_MEMORY    ? "out of memory"
                                                  : "it is damaged") +
             " (code " + std::to_string(rc) + ")";
    return false;
  }
  const int64_t rows = std::min<int64_t>(table->num_records, map->num_shapes);
  std::string said;

  if (!choice.where_field.empty()) {
    const DbfColumn* c = find_column(*table, choice.where_field);
    if (!c) {
      *error = "--where: '" + dbf.string() + "' has no field '" + choice.where_field +
               "' (its fields: " + field_names(*table) + ")";
      return false;
    }
    std::vector<char> keep(static_cast<size_t>(map->num_shapes), 0);
    int64_t kept = 0;
    for (int64_t r = 0; r < rows; ++r)
      if (!(table->deleted && table->deleted[r]) && matches(*c, r, choice.where_value)) {
        keep[static_cast<size_t>(r)] = 1;
        ++kept;
      }
    std::vector<Part> parts;
    for (const Part& p : map->parts)
      if (p.shape >= 0 && p.shape < map->num_shapes && keep[static_cast<size_t>(p.shape)])
        parts.push_back(p);
    map->parts = std::move(parts);
    said = std::to_string(kept) + " of " + std::to_string(map->num_shapes) + " shapes have " +
           c->name + " = " + choice.where_value;
    if (kept == 0) {
      *error = "--where " + choice.where_field + "=" + choice.where_value +
               " keeps none of the shapes of '" + shp_file + "'";
      return false;
    }
  }

  if (!choice.color_field.empty()) {
    const DbfColumn* c = find_column(*table, choice.color_field);
    if (!c) {
      *error = "--color-by: '" + dbf.string() + "' has no field '" + choice.color_field +
               "' (its fields: " + field_names(*table) + ")";
      return false;
    }
    map->colour_class.assign(static_cast<size_t>(map->num_shapes), -1);
    if (c->kind == ORDANE_DBF_KIND_NUMBER) {
      std::vector<double> values;
      for (int64_t r = 0; r < rows; ++r)
        if (c->valid[r]) values.push_back(c->numbers[r]);
      std::sort(values.begin(), values.end());
      map->colour_ramp = true;
      for (int64_t r = 0; r < rows; ++r) {
        if (!c->valid[r] || values.empty()) continue;
        // The class is the value's rank among all values, in eighths.
        const size_t rank = static_cast<size_t>(
            std::lower_bound(values.begin(), values.end(), c->numbers[r]) - values.begin());
        map->colour_class[static_cast<size_t>(r)] =
            static_cast<int>(std::min<size_t>(7, rank * 8 / values.size()));
      }
      if (!said.empty()) said += "; ";
      char range[96] = "no valid values";
      if (!values.empty())
        std::snprintf(range, sizeof range, "%g to %g", values.front(), values.back());
      said += std::string("coloured by ") + c->name + " on a ramp of eight classes of equal " +
              "count (" + range + ")";
    } else {
      std::map<std::string, int> categories;
      for (int64_t r = 0; r < rows; ++r) {
        const std::string v = text_of(*c, r);
        auto it = categories.emplace(v, static_cast<int>(categories.size())).first;
        map->colour_class[static_cast<size_t>(r)] = it->second;
      }
      if (!said.empty()) said += "; ";
      said += std::string("coloured by ") + c->name + ": " + std::to_string(categories.size()) +
              " distinct values" +
              (categories.size() > 8 ? " (eight colours, so some share one)" : "");
    }
  }
  *summary = said;
  return true;
}

}  // namespace poster
