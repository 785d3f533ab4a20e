#include "params/experiment_file.h"

#include <gtest/gtest.h>

#include <string>

#include "kt_test_paths.h"
#include "params/pulse_trace.h"

namespace kt {
namespace {

TEST(PulseTrace, ReadsLabFilesAndNormalisesToTheWholePulse) {
  std::string error;
  // A BOM, a header, comments, any intensity scale.
  const auto trace = parse_pulse_trace(
      "\xEF\xBB\xBF# scope export\ntime_ns,intensity\n10,0\n15,4000 # peak\n20,2000\n30,0\n",
      "t.csv", error);
  ASSERT_TRUE(trace) << error;
  EXPECT_DOUBLE_EQ(trace->duration_ns(), 20.0);
  EXPECT_NEAR(trace->delivered(20.0), 1.0, 1e-15);
  EXPECT_NEAR(trace->delivered(5.0), 10.0 / 35.0, 1e-15);  // the rising edge's share
  EXPECT_DOUBLE_EQ(trace->at(7.5), 0.5 * (trace->at(5.0) + trace->at(10.0)));
  EXPECT_EQ(trace->at(-1.0), 0.0);
  EXPECT_EQ(trace->at(21.0), 0.0);
}

TEST(PulseTrace, RefusesABadTraceNamingTheLineAndTheProblem) {
  using namespace std::string_literals;
  const std::pair<std::string, const char*> cases[] = {
      {"0,0\n2,1\n1,1\n4,0\n", "line 3: the time 1 ns does not increase"},
      {"0,0\n1,-1\n2,0\n", "line 2: the intensity -1 is negative"},
      {"0,0\n1,nan\n2,0\n", "line 2:"},
      {"0,0\n1,1\n", "needs 3 points at least; it has 2"},
      {"0,0\n1,0\n2,0\n", "integral is zero"},
      {"0,0\n1;x\n2,0\n", "line 2:"},
      {"0,0\n1,1\0\n2,0\n"s, "NUL"},
  };
  for (const auto& [text, expected] : cases) {
    std::string error;
    EXPECT_FALSE(parse_pulse_trace(text, "t.csv", error)) << text;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.rfind("t.csv", 0), 0u) << error;
  }
  std::string error;
  EXPECT_FALSE(read_pulse_trace(KT_SOURCE_DIR "/materials", error));
  EXPECT_NE(error.find("is a directory; it must be a file"), std::string::npos) << error;
}

TEST(ExperimentFile, ReadsEverySettingResolvesFilesAndRoundTrips) {
  std::string error;
  const auto e = parse_experiment_text(
      "scheme = \"accurate\"\npulse_shape = \"measured\"\ntrace = \"p.csv\"\npulses = 10\n"
      "rate_hz = 10\nincubated_absorption = 9.6e5\nmaterial = \"m/pmma.toml\"\n",
      "lab.toml", "/data/lab", error);
  ASSERT_TRUE(e) << error;
  EXPECT_EQ(e->scheme, "accurate");
  EXPECT_EQ(e->trace, "/data/lab/p.csv");
  EXPECT_EQ(e->material, "/data/lab/m/pmma.toml");
  EXPECT_EQ(e->pulses, 10);
  EXPECT_EQ(e->rate_hz, 10.0);
  EXPECT_EQ(*e->incubated_absorption, 9.6e5);
  EXPECT_FALSE(e->is_plain());
  const auto again = parse_experiment_text(experiment_text(*e), "again.toml", "", error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(*again, *e);
  EXPECT_TRUE(parse_experiment_text("", "empty.toml", "", error)->is_plain());
  // Characters beyond ASCII in comments and in both kinds of string are kept as written.
  const auto named = parse_experiment_text(
      "# \xCF\x86 = broken-bond fraction\npulse_shape = \"measured\"\ntrace = "
      "\"\xCE\xB1.csv\"\nmaterial = "
      "'\xC3\xA9t\xC3\xA9\\m.toml'\n",
      "lab.toml", "/l", error);
  ASSERT_TRUE(named) << error;
  EXPECT_EQ(named->trace, "/l/\xCE\xB1.csv");
  EXPECT_EQ(named->material, "/l/\xC3\xA9t\xC3\xA9\\m.toml");
}

TEST(ExperimentFile, RefusesUnknownKeysWrongTypesAndSettingsThatCannotRun) {
  const std::pair<const char*, const char*> cases[] = {
      {"pulse = 3\n", "line 1: pulse: unknown key"},
      {"\npulses = \"10\"\n", "line 2: pulses: must be a whole number"},
      {"pulses = 2.5\n", "pulses: must be a whole number"},
      {"pulses = 0\n", "pulses: must be from 1"},
      {"pulses = 5\nrate_hz = -10\n", "rate_hz must be a positive number"},
      {"pulses = 5\n", "pulses 5 needs rate_hz greater than 0"},
      {"scheme = \"fast\"\n", "scheme is \"fast\""},
      {"pulse_shape = \"measured\"\n", "needs trace"},
      {"rate_hz = [1]\n", "rate_hz: must be a number"},
      {"scheme = \n", "lab.toml, line 1"},
      {"scheme = \"published\"\nincubated_absorption = 1e5\n",
       "scheme published cannot run incubated_absorption"},
      {"scheme = \"published\"\npulses = 3\nrate_hz = 5\n", "scheme published cannot run pulses 3"},
      // Text the TOML parser is never given: it refuses some of it with undefined behaviour.
      {"pulses = 1\nrate_hz = 9.\xCA\xA0"
       "5\n",
       "line 2: a character beyond ASCII outside"},
      {"# caf\xE9\n", "line 1: the byte 0xE9 is not UTF-8 text"},
      {"pulses = 1\x01\n", "line 1: the control character 0x01"},
  };
  for (const auto& [text, expected] : cases) {
    std::string error;
    EXPECT_FALSE(parse_experiment_text(text, "lab.toml", "", error)) << text;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.rfind("lab.toml", 0), 0u) << error;
  }
  Experiment e;
  e.pulses = 0;
  EXPECT_EQ(experiment_problem(e), "pulses is 0; it must be 1 or more");
}

}  // namespace
}  // namespace kt
