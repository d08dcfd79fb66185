// The command line and the download helpers.
#include "options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "download.h"

namespace {

using poster::ParseResult;

struct Parsed {
  ParseResult result;
  poster::Options options;
  std::string error;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "quillon-poster");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  Parsed p;
  p.result =
      poster::parse_options(static_cast<int>(argv.size()), argv.data(), &p.options, &p.error);
  return p;
}

TEST(parse_options, DefaultsDrawTheSampleAsAPoster) {
  const Parsed p = parse({});
  EXPECT_EQ(p.result, ParseResult::kRun);
  EXPECT_TRUE(p.options.shp.empty());
  EXPECT_EQ(p.options.frames, 0);
  EXPECT_EQ(p.options.width, 1600);
  EXPECT_EQ(p.options.world, poster::Projection::kMercator);
  EXPECT_EQ(p.options.conic, poster::Projection::kLcc);
  EXPECT_EQ(parse({"--help"}).result, ParseResult::kHelp);
}

TEST(parse_options, ReadsEveryOption) {
  const Parsed p = parse({"--shp", "a.shp", "--frames", "12", "--width", "800", "--projection",
                          "albers", "--conic", "albers", "--out", "x", "--lon0=-150.5"});
  ASSERT_EQ(p.result, ParseResult::kRun) << p.error;
  EXPECT_EQ(p.options.lon0, -150.5);
  EXPECT_TRUE(p.options.lon0_given);
  EXPECT_EQ(p.options.shp, "a.shp");
  EXPECT_EQ(p.options.frames, 12);
  EXPECT_EQ(p.options.width, 800);
  EXPECT_EQ(p.options.world, poster::Projection::kAlbers);
  EXPECT_EQ(p.options.conic, poster::Projection::kAlbers);
  EXPECT_EQ(p.options.out, "x");
}

TEST(parse_options, RejectsWithAReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--projection", "robinson"}, "unknown projection 'robinson'"},
      {{"--conic", "mercator"}, "unknown conic projection 'mercator'"},
      {{"--frames", "0"}, "--frames takes a whole number"},
      {{"--frames", "3x"}, "--frames takes a whole number"},
      {{"--frames", "99999999999999999999"}, "--frames takes a whole number"},
      {{"--width", "100"}, "--width takes a whole number"},
      {{"--shp"}, "needs a value"},
      {{"--colour", "red"}, "unknown option '--colour'"},
      {{"--shp", "a.shp", "--url", "http://h/b.shp"}, "cannot be combined"},
      // Found before anything is downloaded or drawn.
      {{"--url", "not a url"}, "--url takes an http:// or https:// URL with a host name"},
      {{"--url", "ftp://h.example/x.shp"}, "--url takes an http:// or https:// URL"},
      {{"--url", "https://"}, "--url takes an http:// or https:// URL"},
      {{"--url", "http://h.example/a b.shp"}, "--url takes an http:// or https:// URL"},
      {{"--out", "poster.jpg"}, "written as PNG only"},
      {{"--out", "poster"}, "written as PNG only"},
      {{"--out", "posters/"}, "is a folder"},
      {{"--shp", ""}, "--shp needs a file name"},
      {{"--shp="}, "--shp needs a file name"},
      {{"--url", ""}, "--url needs a URL"},
      {{"--out="}, "--out needs a file or folder name"},
      {{"a.shp", "b.shp"}, "one shapefile at a time"},
      {{"--shp", "a.shp", "b.shp"}, "one shapefile at a time"},
      {{"--width=wide"}, "--width takes a whole number"},
      {{"--lon0", "180.5"}, "--lon0 takes degrees of longitude from -180 to 180"},
      {{"--lon0", "nan"}, "--lon0 takes degrees"},
      {{"--lon0", "15e"}, "--lon0 takes degrees"},
      {{"--lon0", " 15"}, "--lon0 takes degrees"},
      {{"--threads", "0"}, "--threads takes a whole number"},
      {{"--frames", "4", "--out", "anim.gif"}, "animated .png (APNG) or .webp"},
      {{"--frames", "4", "--out", "-"}, "takes one poster only"},
      {{"--version=2"}, "unknown option '--version'"},
      {{"--where", "NAME"}, "--where takes FIELD=VALUE"},
      {{"--where", "=x"}, "--where takes FIELD=VALUE"},
      {{"--color-by="}, "--color-by needs a field name"},
  };
  for (const auto& c : cases) {
    const Parsed p = parse(c.first);
    EXPECT_EQ(p.result, ParseResult::kError) << c.second;
    EXPECT_NE(p.error.find(c.second), std::string::npos) << p.error;
  }
}

TEST(parse_options, AcceptsWhatCanBeWritten) {
  EXPECT_EQ(parse({"--url", "HTTPS://h.example:8443/d/x.shp?v=1"}).result, ParseResult::kRun);
  EXPECT_EQ(parse({"--out", "Poster.PNG"}).result, ParseResult::kRun);
  // With --frames the output is a folder, and needs no extension.
  EXPECT_EQ(parse({"--frames", "2", "--out", "frames"}).result, ParseResult::kRun);
  EXPECT_EQ(parse({"--out", "frames", "--frames", "2"}).result, ParseResult::kRun);
}

TEST(parse_options, TakesValuesAfterAnEqualsSignAndFilesAfterTheOptions) {
  Parsed p = parse({"--width=800", "--frames=3", "--out=anim.webp", "--projection=albers"});
  ASSERT_EQ(p.result, ParseResult::kRun) << p.error;
  EXPECT_EQ(p.options.width, 800);
  EXPECT_EQ(p.options.frames, 3);
  EXPECT_EQ(p.options.output, poster::OutputKind::kWebp);
  EXPECT_EQ(p.options.world, poster::Projection::kAlbers);
  // After "--" a name starting with '-' is a file.
  p = parse({"--width", "640", "--", "-odd.shp"});
  ASSERT_EQ(p.result, ParseResult::kRun) << p.error;
  EXPECT_EQ(p.options.shp, "-odd.shp");
  p = parse({"rivers.shp", "--out", "-"});
  ASSERT_EQ(p.result, ParseResult::kRun) << p.error;
  EXPECT_EQ(p.options.shp, "rivers.shp");
  EXPECT_EQ(p.options.out, "-");
  EXPECT_EQ(parse({"-"}).options.shp, "-");
  EXPECT_EQ(parse({"--shp", "-"}).options.shp, "-");
  EXPECT_EQ(parse({"--version"}).result, ParseResult::kVersion);
  EXPECT_EQ(parse({"--shp=a=b.shp"}).options.shp, "a=b.shp");
  p = parse({"--where=NAME=Côte d'Ivoire", "--color-by", "POP_RANK"});
  ASSERT_EQ(p.result, ParseResult::kRun) << p.error;
  EXPECT_EQ(p.options.where_field, "NAME");
  EXPECT_EQ(p.options.where_value, "Côte d'Ivoire");
  EXPECT_EQ(p.options.color_by, "POP_RANK");
}

TEST(parse_options, NamesWhereTheFramesGo) {
  EXPECT_EQ(parse({"--frames", "2"}).options.output, poster::OutputKind::kFrameFolder);
  EXPECT_EQ(parse({"--frames", "2", "--out", "run.2"}).options.output,
            poster::OutputKind::kFrameFolder);
  EXPECT_EQ(parse({"--frames", "2", "--out", "a/Anim.PNG"}).options.output,
            poster::OutputKind::kApng);
  EXPECT_EQ(parse({"--frames", "2", "--out", "anim.webp"}).options.output,
            poster::OutputKind::kWebp);
  EXPECT_EQ(parse({"--out", "-"}).options.output, poster::OutputKind::kPoster);
}

TEST(download_destination, KeepsPlainFileNamesOnly) {
  EXPECT_EQ(poster::download_destination("https://h.example/d/countries.shp?v=2#x", "out"),
            "out/countries.shp");
  EXPECT_EQ(poster::download_destination("https://h.example", "out"), "out/download.shp");
  EXPECT_EQ(poster::download_destination("https://h.example/", "out"), "out/download.shp");
  EXPECT_EQ(poster::download_destination("http://h.example/..", "out"), "out/download.shp");
  EXPECT_EQ(poster::download_destination("http://h.example/a%2F..%2Fx.shp", "out"),
            "out/download.shp");
}

TEST(download_result_text, SaysWhatEveryCodeMeans) {
  std::set<std::string> texts;
  for (int32_t code = -9; code <= -1; ++code) {
    const std::string t = poster::download_result_text(code);
    EXPECT_NE(t, "unknown failure") << code;
    texts.insert(t);
  }
  EXPECT_EQ(texts.size(), 9u);
  EXPECT_EQ(poster::download_result_text(-42), "unknown failure");
}

}  // namespace
