// Each call sets up its own PROJ context, so that nothing is shared between
// threads and no state outlives the call.
#include "reproject.h"

#include <ordane.h>
#include <proj.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

namespace poster {

namespace {

struct ContextDeleter {
  void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct PjDeleter {
  void operator()(PJ* p) const { proj_destroy(p); }
};
using Context = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using Pj = std::unique_ptr<PJ, PjDeleter>;

std::string last_error(PJ_CONTEXT* ctx) {
  const char* text = proj_context_errno_string(ctx, proj_context_errno(ctx));
  return text ? text : "PROJ gave no reason";
}

bool is_geographic(PJ_TYPE type) {
  return type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS ||
         type == PJ_TYPE_GEOGRAPHIC_CRS;
}

}  // namespace

std::string prj_text_for(const std::string& shp_file, std::string* problem) {
  std::filesystem::path base(shp_file);
  for (const char* ext : {".prj", ".PRJ"}) {
    std::filesystem::path prj = base;
    prj.replace_extension(ext);
    char* wkt = nullptr;
    const int32_t rc = ordane_read_prj(prj.string().c_str(), &wkt);
    if (rc == ORDANE_PRJ_ERR_OPEN) continue;
    if (rc != ORDANE_OK) {
      if (problem)
        *problem = rc == ORDANE_PRJ_ERR_TOO_LARGE ? "it is larger than any coordinate system's text"
                   : rc == ORDANE_PRJ_ERR_TEXT    ? "it is not UTF-8 text"
                                                  : "it cannot be read";
      return std::string();
    }
    std::string text(wkt);
    ordane_free_prj_text(wkt);
    return text;
  }
  return std::string();
}

PrjInfo describe_prj(const std::string& wkt) {
  PrjInfo info;
  if (wkt.empty()) return info;
  Context ctx(proj_context_create());
  if (!ctx) {
    info.kind = PrjKind::kUnusable;
    info.error = "PROJ could not be set up";
    return info;
  }
  Pj crs(proj_create(ctx.get(), wkt.c_str()));
  if (!crs) {
    info.kind = PrjKind::kUnusable;
    info.error = last_error(ctx.get());
    return info;
  }
  const char* name = proj_get_name(crs.get());
  info.name = name ? name : "unnamed";
  const PJ_TYPE type = proj_get_type(crs.get());
  if (is_geographic(type)) {
    info.kind = PrjKind::kGeographic;
  } else if (type == PJ_TYPE_PROJECTED_CRS || type == PJ_TYPE_COMPOUND_CRS ||
             type == PJ_TYPE_BOUND_CRS) {
    info.kind = PrjKind::kProjected;
  } else {
    info.kind = PrjKind::kUnusable;
    info.error = "it is not a geographic or projected coordinate system";
  }
  return info;
}

bool reproject_to_lonlat(const std::string& wkt, std::vector<double>* xy, std::string* error) {
  Context ctx(proj_context_create());
  if (!ctx) {
    *error = "PROJ could not be set up";
    return false;
  }
  Pj source(proj_create(ctx.get(), wkt.c_str()));
  Pj target(proj_create(ctx.get(), "EPSG:4326"));
  if (!source || !target) {
    *error = last_error(ctx.get());
    return false;
  }
  Pj op(proj_create_crs_to_crs_from_pj(ctx.get(), source.get(), target.get(), nullptr, nullptr));
  if (!op) {
    *error = last_error(ctx.get());
    return false;
  }
  // Longitude first, whatever the axis order EPSG gives the target.
  Pj lonlat(proj_normalize_for_visualization(ctx.get(), op.get()));
  if (!lonlat) {
    *error = last_error(ctx.get());
    return false;
  }
  const size_t n = xy->size() / 2;
  if (n == 0) return true;
  proj_trans_generic(lonlat.get(), PJ_FWD, xy->data(), 2 * sizeof(double), n, xy->data() + 1,
                     2 * sizeof(double), n, nullptr, 0, 0, nullptr, 0, 0);
  for (double& v : *xy)
    if (!std::isfinite(v)) v = std::numeric_limits<double>::quiet_NaN();
  return true;
}

}  // namespace poster
