#include "params/material_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

const char* kSmallFile = R"toml(name = "test polymer"
[density]
value = 1.2
unit = "g/cm3"
source = "a handbook, 2001, table 3"
[specific_heat]
law = "table"
temperature = [300, 500, 700]
value = [1.2, 1.8, 2.1]
unit = "J/(g K)"
source = "a paper, 1999, figure 2"
[thermal_conductivity]
law = "constant"
value = 0.002
unit = "W/(cm K)"
source = "a paper, 1999, table 1"
[kinetics.activation_energy_ea]
value = 1.1
unit = "eV"
source = "a paper, 2005, table 2"
)toml";

std::optional<MaterialFile> parse(const std::string& text, std::string& error) {
  return parse_material_text(text, "m.toml", error);
}

TEST(MaterialFile, ShippedPolyimideSetsTheDefaultsItNames) {
  std::string error;
  auto material = read_material_file(KT_SOURCE_DIR "/materials/polyimide.toml", error);
  ASSERT_TRUE(material) << error;
  ParameterSet p = test::default_parameters();
  const ParameterSet before = p;
  ASSERT_EQ(apply_material(*material, p), "");
  EXPECT_EQ(p.density, before.density);
  EXPECT_EQ(p.absorption_coefficient, before.absorption_coefficient);
  EXPECT_EQ(p.specific_heat, before.specific_heat);
  EXPECT_EQ(p.thermal_conductivity, before.thermal_conductivity);
  EXPECT_EQ(p.material, Material::other);
  EXPECT_FALSE(material->incubated_absorption);
}

TEST(MaterialFile, ValuesLawsAndTablesAreRead) {
  std::string error;
  auto material = parse(kSmallFile, error);
  ASSERT_TRUE(material) << error;
  ParameterSet p = test::default_parameters();
  ASSERT_EQ(apply_material(*material, p), "");
  EXPECT_FLOAT_EQ(p.density, 1.2f);
  EXPECT_FLOAT_EQ(p.activation_energy_ea, 1.1f);
  // Untouched by the file: the parameter file's own value.
  EXPECT_EQ(p.absorption_coefficient, test::default_parameters().absorption_coefficient);
  // Without a scale, the law at 300 K scales the run.
  EXPECT_FLOAT_EQ(p.specific_heat, 1.2f);
  EXPECT_FLOAT_EQ(p.thermal_conductivity, 0.002f);
}

TEST(MaterialLaw, TableInterpolatesMonotonicallyThroughItsPointsAndRefusesOutside) {
  PropertyLaw law;
  law.form = LawForm::table;
  law.temperatures = {300, 400, 410, 800, 1200};
  law.values = {1.0, 1.5, 2.5, 2.6, 2.6};
  ASSERT_EQ(law.prepare(), "");
  bool in_range = false;
  for (std::size_t i = 0; i < law.values.size(); ++i) {
    EXPECT_DOUBLE_EQ(law.evaluate(law.temperatures[i], in_range), law.values[i]);
    EXPECT_TRUE(in_range);
  }
  // A steep step between flat stretches: no overshoot, never decreasing.
  double previous = 0.0;
  for (double t = 300.0; t <= 1200.0; t += 0.5) {
    const double v = law.evaluate(t, in_range);
    EXPECT_GE(v, previous - 1e-12) << t;
    EXPECT_LE(v, 2.6 + 1e-12) << t;
    previous = v;
  }
  law.evaluate(299.0, in_range);
  EXPECT_FALSE(in_range);
  law.evaluate(1200.5, in_range);
  EXPECT_FALSE(in_range);
}

TEST(MaterialLaw, TabulatedPolyimideHeatFollowsTheLawWithinATenthOfAPercent) {
  PropertyLaw exact;
  exact.form = LawForm::saturating_exponential;
  exact.a = 2.55;
  exact.b = 1.59;
  exact.t_ref = 300.0;
  exact.t_scale = 460.0;
  PropertyLaw table;
  table.form = LawForm::table;
  bool in_range = true;
  for (double t = 200.0; t <= 4000.0; t += 25.0) {
    table.temperatures.push_back(t);
    table.values.push_back(exact.evaluate(t, in_range));
  }
  ASSERT_EQ(table.prepare(), "");
  for (double t = 200.0; t <= 4000.0; t += 7.0) {
    EXPECT_NEAR(table.evaluate(t, in_range) / exact.evaluate(t, in_range), 1.0, 1e-3) << t;
  }
}

// Each refusal names the file, the key and (where the node has one) the line.
TEST(MaterialFile, RefusalsNameTheFileTheKeyAndTheProblem) {
  struct Case {
    std::string from, to, expected;
  };
  const Case cases[] = {
      {"[density]", "colour = \"red\"\n[density]", "colour: unknown key"},
      {"value = 1.2\nunit = \"g/cm3\"", "value = \"1.2\"\nunit = \"g/cm3\"",
       "line 3: density.value: must be a number"},
      {"unit = \"g/cm3\"", "unit = \"kg/m3\"", "density.unit: \"kg/m3\" is not the unit"},
      {"source = \"a handbook, 2001, table 3\"\n", "", "density.source: missing"},
      {"[300, 500, 700]", "[300, 700, 500]", "not above the one before"},
      {"temperature = [300, 500, 700]\nvalue = [1.2, 1.8, 2.1]",
       "temperature = [300]\nvalue = [1.2]", "fewer than two points"},
      {"value = [1.2, 1.8, 2.1]", "value = [1.2, 0.0, 2.1]", "row 2 is not positive"},
      {"value = 1.2\n", "value = -1.2\n", "density: must be greater than 0"},
      {"law = \"table\"", "law = \"cubic\"", "\"cubic\" is not a law"},
      {"value = 1.1\n", "value = -1.1\n", "activation_energy_ea: value"},
      {"name = \"test polymer\"", "name = \"test polymer", "line 1"},
  };
  for (const Case& c : cases) {
    std::string text = kSmallFile;
    const auto at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    text.replace(at, c.from.size(), c.to);
    std::string error;
    EXPECT_FALSE(parse(text, error)) << c.to;
    EXPECT_NE(error.find("m.toml"), std::string::npos) << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(read_material_file(KT_SOURCE_DIR "/no/such.toml", error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  EXPECT_FALSE(read_material_file(KT_SOURCE_DIR "/materials", error));
  EXPECT_NE(error.find("is a directory; it must be a file"), std::string::npos) << error;
}

}  // namespace
}  // namespace kt
