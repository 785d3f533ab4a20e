// The Experiment dialog driven through its real widgets, and the experiment files it reads and
// writes: what a user's entries make of the experiment, and what is refused (with the file and
// line) while the experiment stays as it was.
#include "app/experiment_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "kt_test_paths.h"
#include "test_support.h"
#include "tests/dialogs/dialog_driver.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

class ExperimentDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::write_file(dir.path() / "pulse.csv", "# time_ns,intensity\n0,0\n5,1\n10,0\n");
    test::write_file(dir.path() / "bad_trace.csv", "# time_ns,intensity\n0,0\n5,oops\n10,0\n");
    test::write_file(dir.path() / "bad_mat.toml", "name = \"bad\"\n[density]\nvalue = \"heavy\"\n");
    fs::copy_file(fs::path(KT_SOURCE_DIR) / "materials" / "polyimide.toml", material());
    state.choose_file = [this](std::string_view, std::string_view,
                               const std::vector<std::string>&) { return chosen; };
    state.show_message = [this](std::string_view, std::string_view text) {
      messages.emplace_back(text);
      // A refusal brings the dialog back: it is cancelled.
      test::when_modal([](QWidget* dialog) { test::press(dialog, display::kDialogCancel); });
    };
  }
  fs::path material() const { return dir.path() / "mat.toml"; }

  // Opens the dialog on `experiment`, lets `act` fill it and presses OK.
  std::optional<RunSetup> run(const std::function<void(QWidget*)>& act) {
    const QPointer<QTimer> timer = test::when_modal([&](QWidget* dialog) {
      act(dialog);
      test::press(dialog, display::kDialogOk);
    });
    std::optional<RunSetup> setup = edit_experiment(state, experiment);
    if (timer) delete timer.data();
    return setup;
  }

  test::ScratchDirectory dir;
  ExperimentDialogState state;
  Experiment experiment;
  std::string chosen;
  std::vector<std::string> messages;
};

TEST_F(ExperimentDialogTest, EntriesMakeTheExperimentOrAreRefusedWithFileAndLine) {
  using test::click;
  using test::edit;
  using test::replace;
  struct Case {
    const char* name;
    std::function<void(QWidget*)> act;
    std::string chooser;  // what the chooser returns when Browse is pressed
    bool accepted;
    Experiment expected;  // accepted: the experiment; refused: unchanged (the default)
    std::string message;  // refused: a part of the message
  };
  Experiment train;
  train.pulse_shape = "gaussian";
  train.pulses = 10;
  train.rate_hz = 10.0;
  train.material = material();
  Experiment measured;
  measured.pulse_shape = "measured";
  measured.trace = dir.path() / "pulse.csv";
  measured.scheme = "accurate";
  measured.incubated_absorption = 9.6e5;
  Experiment spot_train;
  spot_train.pulses = 3;
  spot_train.rate_hz = 10.0;
  spot_train.beam = "tophat";
  spot_train.spot_radius_um = 25.0;
  Experiment tolerant;
  tolerant.scheme = "accurate";
  tolerant.tolerance = 1e-4;
  Experiment published;
  published.scheme = "published";
  const std::string bad_trace = (dir.path() / "bad_trace.csv").string();
  const std::string bad_material = (dir.path() / "bad_mat.toml").string();
  const Case cases[] = {
      {"Gaussian train with a material",
       [&](QWidget* d) {
         click(d, kGaussianShapeButton);
         replace(edit(d, kPulsesField), "10");
         replace(edit(d, kRateField), "10");
         replace(edit(d, kMaterialField), material().c_str());
       },
       "", true, train, ""},
      {"trace chosen with Browse, incubation, accurate",
       [&](QWidget* d) {
         click(d, kTraceBrowseButton);
         click(d, kAccurateSchemeButton);
         replace(edit(d, kIncubatedField), "9.6e5");
       },
       (dir.path() / "pulse.csv").string(), true, measured, ""},
      {"top-hat spot on a train",
       [&](QWidget* d) {
         click(d, kTophatSpotButton);
         replace(edit(d, kSpotRadiusField), "25");
         replace(edit(d, kPulsesField), "3");
         replace(edit(d, kRateField), "10");
       },
       "", true, spot_train, ""},
      {"spot without a radius",
       [&](QWidget* d) { click(d, kGaussianSpotButton); },
       "",
       false,
       {},
       "from above 0 to 100000 (micrometres)"},
      {"radius not a number",
       [&](QWidget* d) {
         click(d, kGaussianSpotButton);
         replace(edit(d, kSpotRadiusField), "wide");
       },
       "",
       false,
       {},
       "Spot radius [\u00b5m]: 'wide' is not a number"},
      {"bad trace",
       [&](QWidget* d) {
         click(d, kMeasuredShapeButton);
         replace(edit(d, kTraceField), bad_trace.c_str());
       },
       "",
       false,
       {},
       bad_trace + ", line 3"},
      {"bad material",
       [&](QWidget* d) { replace(edit(d, kMaterialField), bad_material.c_str()); },
       "",
       false,
       {},
       bad_material + ", line 3"},
      {"published scheme with a train",
       [&](QWidget* d) {
         click(d, kPublishedSchemeButton);
         replace(edit(d, kPulsesField), "5");
         replace(edit(d, kRateField), "100");
       },
       "",
       false,
       {},
       "scheme published cannot run pulses 5"},
      {"accurate scheme to a tolerance",
       [&](QWidget* d) {
         EXPECT_FALSE(edit(d, kToleranceField)->isEnabled());
         click(d, kAccurateSchemeButton);
         EXPECT_TRUE(edit(d, kToleranceField)->isEnabled());
         replace(edit(d, kToleranceField), "1e-4");
       },
       "", true, tolerant, ""},
      {"a tolerance greyed out with the published scheme is not taken",
       [&](QWidget* d) {
         click(d, kAccurateSchemeButton);
         replace(edit(d, kToleranceField), "0.5");
         click(d, kPublishedSchemeButton);
         EXPECT_FALSE(edit(d, kToleranceField)->isEnabled());
       },
       "", true, published, ""},
      {"tolerance out of range",
       [&](QWidget* d) {
         click(d, kAccurateSchemeButton);
         replace(edit(d, kToleranceField), "0.5");
       },
       "",
       false,
       {},
       "Relative tolerance (empty: one run as is): '0.5' is not a relative error from 1e-6 to "
       "0.1"},
      {"tolerance not a number",
       [&](QWidget* d) {
         click(d, kAccurateSchemeButton);
         replace(edit(d, kToleranceField), "fine");
       },
       "",
       false,
       {},
       "'fine' is not a relative error"},
      {"pulses not whole",
       [&](QWidget* d) { replace(edit(d, kPulsesField), "2.5"); },
       "",
       false,
       {},
       "Number of pulses: '2.5' is not a whole number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    experiment = Experiment{};
    messages.clear();
    chosen = c.chooser;
    const std::optional<RunSetup> setup = run(c.act);
    EXPECT_EQ(setup.has_value(), c.accepted);
    EXPECT_EQ(experiment, c.expected);
    if (c.accepted) {
      EXPECT_TRUE(messages.empty());
      ASSERT_TRUE(setup);
      EXPECT_EQ(setup->experiment, c.expected);
      // Trains, incubation and a tolerance run on the accurate scheme.
      EXPECT_EQ(setup->scheme,
                c.expected.scheme == "published" ? Scheme::published : Scheme::accurate);
      EXPECT_EQ(setup->tolerance, c.expected.tolerance.value_or(0.0));
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_NE(messages[0].find(c.message), std::string::npos) << messages[0];
    }
  }
}

TEST_F(ExperimentDialogTest, CancelKeepsTheExperimentAndAnotherShapeDropsTheTrace) {
  Experiment before;
  before.pulse_shape = "measured";
  before.trace = dir.path() / "pulse.csv";
  experiment = before;
  const QPointer<QTimer> timer = test::when_modal([](QWidget* d) {
    test::click(d, kGaussianShapeButton);
    test::press(d, display::kDialogCancel);
  });
  EXPECT_FALSE(edit_experiment(state, experiment));
  EXPECT_EQ(experiment, before);
  // The same change accepted: a Gaussian pulse needs no trace, so none is kept.
  ASSERT_TRUE(run([](QWidget* d) { test::click(d, kGaussianShapeButton); }));
  EXPECT_EQ(experiment.pulse_shape, "gaussian");
  EXPECT_TRUE(experiment.trace.empty());
  // Likewise no spot keeps no radius, and a spot's beam and radius show again when reopened.
  ASSERT_TRUE(run([](QWidget* d) {
    test::click(d, kGaussianSpotButton);
    test::replace(test::edit(d, kSpotRadiusField), "30");
    test::click(d, kNoSpotButton);
  }));
  EXPECT_EQ(experiment.beam, "");
  EXPECT_EQ(experiment.spot_radius_um, 0.0);
  ASSERT_TRUE(run([](QWidget* d) {
    test::click(d, kTophatSpotButton);
    test::replace(test::edit(d, kSpotRadiusField), "12.5");
  }));
  ASSERT_TRUE(run([](QWidget* d) {
    const auto* tophat = qobject_cast<QAbstractButton*>(test::find_control(d, kTophatSpotButton));
    ASSERT_TRUE(tophat);
    EXPECT_TRUE(tophat->isChecked());
    EXPECT_EQ(test::edit(d, kSpotRadiusField)->text().toStdString(), "12.5");
  }));
  EXPECT_EQ(experiment.beam, "tophat");
  EXPECT_EQ(experiment.spot_radius_um, 12.5);
  // A tolerance with the scheme left to the pulses (as a file may have it) shows as the
  // accurate scheme's, its field open.
  experiment = Experiment{};
  experiment.tolerance = 2e-3;
  ASSERT_TRUE(run([](QWidget* d) {
    const auto* accurate =
        qobject_cast<QAbstractButton*>(test::find_control(d, kAccurateSchemeButton));
    ASSERT_TRUE(accurate);
    EXPECT_TRUE(accurate->isChecked());
    EXPECT_TRUE(test::edit(d, kToleranceField)->isEnabled());
    EXPECT_EQ(test::edit(d, kToleranceField)->text().toStdString(), "0.002");
  }));
  EXPECT_EQ(experiment.scheme, "accurate");
  EXPECT_EQ(experiment.tolerance, 2e-3);
}

TEST_F(ExperimentDialogTest, SavedFilesNameTheirFilesRelativelyAndReadBack) {
  Experiment e;
  e.pulse_shape = "measured";
  e.trace = dir.path() / "pulse.csv";
  e.pulses = 3;
  e.rate_hz = 20.0;
  e.material = material();
  e.beam = "gaussian";
  e.spot_radius_um = 40.0;
  e.scheme = "accurate";
  e.tolerance = 5e-4;
  const fs::path file = dir.path() / "exp.toml";
  ASSERT_EQ(save_experiment_file(e, file), "");
  const std::string text = test::read_file(file);
  EXPECT_NE(text.find("trace = 'pulse.csv'"), std::string::npos) << text;
  EXPECT_NE(text.find("material = 'mat.toml'"), std::string::npos) << text;
  std::string error;
  const std::optional<Experiment> back = load_experiment_file(file, error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->trace.lexically_normal(), e.trace);
  EXPECT_EQ(back->material.lexically_normal(), e.material);
  EXPECT_EQ(back->pulses, 3);
  EXPECT_EQ(back->beam, "gaussian");
  EXPECT_EQ(back->spot_radius_um, 40.0);
  EXPECT_EQ(back->tolerance, 5e-4);

  // A file whose trace is bad is refused as a whole, naming the trace and its line.
  test::write_file(dir.path() / "pulse.csv", "0,0\n1,x\n");
  EXPECT_FALSE(load_experiment_file(file, error));
  EXPECT_NE(error.find("pulse.csv, line 2"), std::string::npos) << error;
}

}  // namespace
}  // namespace kt
