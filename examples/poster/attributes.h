// The attribute table (.dbf) beside a shapefile: --where keeps the shapes
// whose field holds a value, --color-by colours shapes by a field.
#ifndef QUILLON_POSTER_ATTRIBUTES_H
#define QUILLON_POSTER_ATTRIBUTES_H

#include <string>

#include "map_data.h"

namespace poster {

struct AttributeChoice {
  std::string where_field, where_value;  // empty field: keep every shape
  std::string color_field;               // empty: colours by neighbourhood
};

// Reads the .dbf beside "shp_file" (with ordane_read_dbf) and applies
// "choice" to "map": parts of shapes that do not match are dropped, and
// MapData::colour_class / colour_ramp are set. False, with "error" naming
// the file or the field, when the table or a field is missing. "summary"
// receives one sentence about what was done (how many shapes are kept,
// what the colours mean).
bool apply_attributes(const std::string& shp_file, const AttributeChoice& choice, MapData* map,
                      std::string* summary, std::string* error);

}  // namespace poster

#endif  // QUILLON_POSTER_ATTRIBUTES_H
