// The JSON reports stay valid JSON whatever text their fields carry, and keep their numbers.
#include "analysis/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace kt {
namespace {

using nlohmann::json;

TEST(Report, AnyTextInAnyFieldGivesValidJson) {
  // Control bytes, quotes, a lone continuation byte and a cut-off sequence (a file name that is
  // not UTF-8), and text that is proper UTF-8.
  const std::string odd = std::string("a\"b\\c\r\n\t\x01\x1f\x7f ") + "\xff\xfe" + "\xc3" +
                          " F\xc3\xbcr \xe2\x82\xac.csv";
  FitReport report;
  report.status = FitStatus::out_of_reach;
  report.message = odd;
  report.method = odd;
  FittedParameter p;
  p.name = odd;
  p.unit = "\x80";
  p.value = 0.7f;
  p.initial = 3.57e12f;
  p.standard_error = NAN;
  p.lower = 0.35;
  p.upper = INFINITY;
  report.parameters = {p};
  report.correlation = {{1.0}};
  FitPointResult point;
  point.fluence = 50;
  point.measured = 49.98;
  point.model = NAN;
  report.points = {point};
  BeerLambertFit failed;
  failed.message = odd;

  json parsed;
  ASSERT_NO_THROW(parsed = json::parse(report_json(report, &failed))) << report_json(report);
  EXPECT_EQ(parsed["status"], "out_of_reach");
  // Valid text survives whole; each byte that is not UTF-8 becomes U+FFFD.
  const std::string message = parsed["message"];
  EXPECT_EQ(message.substr(0, 11), "a\"b\\c\r\n\t\x01\x1f\x7f");
  EXPECT_NE(message.find("\xef\xbf\xbd"), std::string::npos);
  EXPECT_NE(message.find(" F\xc3\xbcr \xe2\x82\xac.csv"), std::string::npos);
  EXPECT_EQ(parsed["beer_lambert"]["message"], message);
  // Numbers: field values to their 7 digits, undefined ones null.
  const json& fitted = parsed["parameters"].begin().value();
  EXPECT_EQ(fitted["value"].dump(), "0.7");
  EXPECT_EQ(fitted["initial"].get<double>(), 3.57e12);
  EXPECT_TRUE(fitted["stderr"].is_null());
  EXPECT_TRUE(fitted["upper"].is_null());
  EXPECT_TRUE(parsed["points"][0]["model"].is_null());
  EXPECT_EQ(parsed["points"][0]["measured"].get<double>(), 49.98);

  MeasuredData data;
  data.points.resize(1);
  EXPECT_NO_THROW(json::parse(beer_lambert_json(failed, data)));
}

TEST(Report, ItsTimesAndRunsCoverTheFitsOfEachSetAlone) {
  FitReport global;
  global.status = FitStatus::converged;
  global.method = "bobyqa";
  global.points = {FitPointResult{}};
  global.evaluations = 40;
  global.runs = 400;
  global.wall_seconds = 70.2;
  SetReports sets;
  for (double wall : {30.0, 32.4}) {
    FitReport alone = global;
    alone.evaluations = 20;
    alone.runs = 150;
    alone.wall_seconds = wall;
    sets.separately.push_back(alone);
  }
  const struct {
    const SetReports* sets;
    double wall;
    int runs;
  } cases[] = {{nullptr, 70.2, 400}, {&sets, 132.6, 700}};
  for (const auto& c : cases) {
    const json doc = json::parse(report_json(global, nullptr, c.sets));
    EXPECT_NEAR(doc["wall_seconds"].get<double>(), c.wall, 1e-9);
    EXPECT_EQ(doc["runs"], c.runs);
    char line[80];
    std::snprintf(line, sizeof line, "%d model runs (0 retried, 0 failed), %.1f s wall", c.runs,
                  c.wall);
    EXPECT_NE(fit_summary(global, c.sets).find(line), std::string::npos)
        << fit_summary(global, c.sets);
  }
}

}  // namespace
}  // namespace kt
