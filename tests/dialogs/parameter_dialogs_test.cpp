// The two parameter dialogs driven through their real widgets: the test acts on the modal dialog
// while edit_parameters waits in it.
#include "app/parameter_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "display/qt_access.h"
#include "kt_test_paths.h"
#include "params/parameter_file.h"
#include "tests/dialogs/dialog_driver.h"

namespace kt {
namespace {

ParameterSet defaults() {
  ParameterSet p;
  set_default_parameter_groups(p);
  return p;
}

// What a dialog shows: the text of every edit field and the state of every radio button.
struct Shown {
  std::map<int, std::string> texts;
  std::map<int, bool> checked;
};

Shown shown_controls(QWidget* dialog) {
  Shown shown;
  for (int id = 1000; id < 2100; ++id) {
    QWidget* control = test::find_control(dialog, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      shown.texts[id] = edit->text().toStdString();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control);
               button != nullptr && button->isCheckable()) {
      shown.checked[id] = button->isChecked();
    }
  }
  return shown;
}

class ParameterDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { parameters_.values = defaults(); }

  // Opens the dialog of `kind` and runs `act` on it once it is the active modal widget; `act`
  // must close it.
  void run_dialog(DialogKind kind, const std::function<void(QWidget*)>& act) {
    state_.dialog_kind = kind;
    bool acted = false;
    const QPointer<QTimer> timer = test::when_modal([&](QWidget* dialog) {
      acted = true;
      act(dialog);
    });
    edit_parameters(state_, parameters_);
    if (!acted) delete timer.data();
    EXPECT_TRUE(acted) << "the dialog did not open";
  }
  Shown show(DialogKind kind) {
    Shown shown;
    run_dialog(kind, [&](QWidget* dialog) {
      shown = shown_controls(dialog);
      test::press(dialog, 2);
    });
    return shown;
  }

  SharedParameters parameters_;
  DialogState state_;
};

TEST_F(ParameterDialogsTest, ParametersDialogShowsTheDefaults) {
  const Shown shown = show(DialogKind::parameters);
  const std::map<int, bool> radios = {{1001, false}, {1002, true}, {1004, true},
                                      {1005, false}, {1016, true}, {1017, false}};
  EXPECT_EQ(shown.checked, radios);
  const std::map<int, std::string> texts = {
      {1007, "15.00000"},      {1009, "50.00000"},  {1011, "25.00000"},      {1013, "248.0000"},
      {1019, "1.420000"},      {1021, "2.000000"},  {1023, "1.5600000E-03"}, {1025, "320000.0"},
      {1027, "140000.0"},      {1029, "0.1000000"}, {1031, "6.0000000E+21"}, {1033, "0.3200000"},
      {1035, "300.0000"},      {1037, "1.500000"},  {1039, "3000000."},      {1041, "900.0000"},
      {1043, "0.7000000"},     {1045, "110000.0"},  {1047, "500.0000"},      {1049, "1.500000"},
      {1051, "3.5700000E+12"}, {1053, "2000.000"}};
  EXPECT_EQ(shown.texts, texts);
  EXPECT_EQ(parameters_.snapshot(), defaults());
}

TEST_F(ParameterDialogsTest, OutputDataDialogShowsTheDefaults) {
  const Shown shown = show(DialogKind::output_data);
  const std::map<int, bool> radios = {{2005, false}, {2006, true}, {2035, true}, {2036, false}};
  EXPECT_EQ(shown.checked, radios);
  const std::map<int, std::string> texts = {
      {2001, "Data1"},    {2003, "0.1000000"}, {2009, "4.000000"}, {2011, "8.000000"},
      {2013, "12.00000"}, {2015, "16.00000"},  {2017, "20.00000"}, {2019, "24.00000"},
      {2021, "28.00000"}, {2023, "32.00000"},  {2025, "36.00000"}, {2027, "40.00000"},
      {2030, "2000.000"}, {2032, "200.0000"},  {2034, "1.000000"}};
  EXPECT_EQ(shown.texts, texts);
}

// Every field shows its whole value, every label its whole text in the one font of the dialog's
// labels, and the dialog fits the screen.
TEST_F(ParameterDialogsTest, FieldsShowWholeValuesAndLabelsShareOneFont) {
  ParameterSet wide = defaults();
  wide.pulse_width = 15.0f;
  wide.fluence = 1234.567f;
  wide.front_fraction = 0.0999999f;  // exponent notation
  wide.pre_exponential_ko = -7.77777e30f;
  wide.output_interval = 0.1f;
  wide.spatial_times[0] = 1234.567f;
  parameters_.values = wide;
  for (DialogKind kind : {DialogKind::parameters, DialogKind::output_data}) {
    run_dialog(kind, [&](QWidget* dialog) {
      int labels = 0;
      QFont label_font;
      for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QRect room =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const int needed = QFontMetrics(edit->font()).horizontalAdvance(edit->text());
        // QLineEdit keeps two pixels either side of its text and its text margins.
        EXPECT_LE(needed + 4 + edit->textMargins().left() + edit->textMargins().right(),
                  room.width())
            << edit->text().toStdString();
      }
      for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (labels++ == 0) label_font = label->font();
        EXPECT_EQ(label->font(), label_font) << label->text().toStdString();
      }
      EXPECT_GT(labels, 5);
      if (const QScreen* screen = dialog->screen()) {
        EXPECT_TRUE(screen->availableGeometry().contains(dialog->geometry()));
      }
      test::press(dialog, 2);
    });
  }
}

TEST_F(ParameterDialogsTest, TypedNumbersFollowTheTextAsItChanges) {
  state_.show_message = [](std::string_view, std::string_view) {};  // "7" was not read
  run_dialog(DialogKind::parameters, [](QWidget* dialog) {
    // 3, 30, 3, empty: the last number read was 3.
    QLineEdit* width = test::edit(dialog, 1007);
    test::clear(width);
    QTest::keyClicks(width, "30");
    test::backspaces(width, 2);
    // 50.00000 deleted from its end: the last number read was 5; a letter keeps it.
    QLineEdit* fluence = test::edit(dialog, 1009);
    test::backspaces(fluence, 8);
    QTest::keyClicks(fluence, "x");
    // Exponent forms with D, a second item ignored, and a value no range refuses.
    test::replace(test::edit(dialog, 1011), "1.5D2, 7");
    test::replace(test::edit(dialog, 1053), "-2e3");
    test::press(dialog, 1);
  });
  ParameterSet expected = defaults();
  expected.pulse_width = 3.0f;
  expected.fluence = 5.0f;
  expected.front_fraction = 150.0f;
  expected.sublimation_enthalpy_dhb = -2000.0f;
  EXPECT_EQ(parameters_.snapshot(), expected);
}

TEST_F(ParameterDialogsTest, CancelAndEscapeChangeNothing) {
  auto change_everything = [](QWidget* dialog) {
    test::replace(test::edit(dialog, 1007), "99");
    test::replace(test::edit(dialog, 1023), "0.5");
    test::click(dialog, 1001);
    test::click(dialog, 1017);
  };
  run_dialog(DialogKind::parameters, [&](QWidget* dialog) {
    change_everything(dialog);
    test::press(dialog, 2);
  });
  EXPECT_EQ(parameters_.snapshot(), defaults());
  run_dialog(DialogKind::parameters, [&](QWidget* dialog) {
    change_everything(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(parameters_.snapshot(), defaults());
  run_dialog(DialogKind::output_data, [&](QWidget* dialog) {
    test::replace(test::edit(dialog, 2001), "Other");
    test::click(dialog, 2005);
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(parameters_.snapshot(), defaults());
  // Nothing typed into a cancelled dialog comes back at the next opening.
  EXPECT_EQ(show(DialogKind::parameters).texts.at(1007), "15.00000");
}

TEST_F(ParameterDialogsTest, ChoicesAreSetByTheirButtons) {
  run_dialog(DialogKind::parameters, [](QWidget* dialog) {
    test::click(dialog, 1005);  // Rectangle Pulse Shape
    test::click(dialog, 1001);  // Surface Photothermal Model
    test::click(dialog, 1017);  // Other material
    test::press(dialog, 1);
  });
  ParameterSet expected = defaults();
  expected.pulse_shape = PulseShape::rectangle;
  expected.ablation_model = AblationModel::surface;
  expected.material = Material::other;
  EXPECT_EQ(parameters_.snapshot(), expected);

  run_dialog(DialogKind::output_data, [](QWidget* dialog) {
    test::click(dialog, 2005);  // Addition
    test::click(dialog, 2036);  // Manual
    test::replace(test::edit(dialog, 2027), "55");
    test::replace(test::edit(dialog, 2030), "1500");
    test::replace(test::edit(dialog, 2003), "0.25");
    test::press(dialog, 1);
  });
  expected.kinetics_file_mode = KineticsFileMode::addition;
  expected.autoscale = Autoscale::manual;
  expected.spatial_times[9] = 55.0f;
  expected.temperature_scale = 1500.0f;
  expected.output_interval = 0.25f;
  EXPECT_EQ(parameters_.snapshot(), expected);
}

TEST_F(ParameterDialogsTest, ChoicesOutsideTheirSetShowNoButtonAndSurviveOk) {
  ParameterSet odd = defaults();
  odd.material = static_cast<Material>(3);
  odd.ablation_model = static_cast<AblationModel>(0);
  odd.kinetics_file_mode = static_cast<KineticsFileMode>(2);
  odd.autoscale = static_cast<Autoscale>(0);
  const std::string path = std::string(KT_BINARY_DIR) + "/dialogs_odd_choices.par";
  ParameterSet written = odd;
  ASSERT_TRUE(write_parameter_file(path, written).ok);
  ParameterSet read = defaults();
  ASSERT_TRUE(read_parameter_file(path, read).ok);
  ASSERT_EQ(read, odd);
  parameters_.commit(read);

  Shown shown;
  run_dialog(DialogKind::parameters, [&](QWidget* dialog) {
    shown = shown_controls(dialog);
    test::press(dialog, 1);
  });
  EXPECT_FALSE(shown.checked.at(1016) || shown.checked.at(1017));
  EXPECT_FALSE(shown.checked.at(1001) || shown.checked.at(1002));
  run_dialog(DialogKind::output_data, [&](QWidget* dialog) {
    shown = shown_controls(dialog);
    test::press(dialog, 1);
  });
  EXPECT_FALSE(shown.checked.at(2005) || shown.checked.at(2006));
  EXPECT_FALSE(shown.checked.at(2035) || shown.checked.at(2036));
  EXPECT_EQ(parameters_.snapshot(), odd);
}

TEST_F(ParameterDialogsTest, TheNameFieldKeepsItsFirstItem) {
  auto name_after_typing = [&](const char* text) {
    run_dialog(DialogKind::output_data, [&](QWidget* dialog) {
      test::replace(test::edit(dialog, 2001), text);
      test::press(dialog, 1);
    });
    const ParameterSet p = parameters_.snapshot();
    return std::string(p.data_file_name.data(), p.data_file_name.size());
  };
  EXPECT_EQ(name_after_typing("abcdefghijklmnopqrst"), "abcdefghijklmn");
  EXPECT_EQ(name_after_typing("two words"), "two           ");
  EXPECT_EQ(name_after_typing("'two words'"), "two words     ");
  EXPECT_EQ(name_after_typing("   "), "two words     ");  // blank keeps the last name
  // The stored name is shown without its blanks.
  EXPECT_EQ(show(DialogKind::output_data).texts.at(2001), "two words");
}

TEST_F(ParameterDialogsTest, RefusedNamesAndNumbersKeepTheirValueAndAreNamedAtOk) {
  std::vector<std::string> messages;
  state_.show_message = [&](std::string_view, std::string_view text) {
    messages.emplace_back(text);
  };
  run_dialog(DialogKind::output_data, [&](QWidget* dialog) {
    test::replace(test::edit(dialog, 2001), "'sub/x'");
    test::replace(test::edit(dialog, 2030), "1E39");
    test::press(dialog, 1);
  });
  const ParameterSet p = parameters_.snapshot();
  EXPECT_EQ(std::string(p.data_file_name.data(), 14), "sub           ");  // the last name taken
  EXPECT_EQ(p.temperature_scale, 1000.0f);  // "1E3", the last text typed that fits
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Name of Data File: ''sub/x'' cannot be used"), std::string::npos)
      << messages[0];
  EXPECT_NE(messages[0].find("Temperature scale [K]: '1E39'"), std::string::npos) << messages[0];

  // Text corrected before OK is taken without a word.
  messages.clear();
  run_dialog(DialogKind::parameters, [&](QWidget* dialog) {
    test::replace(test::edit(dialog, 1009), "1E39");
    test::backspaces(test::edit(dialog, 1009), 1);
    test::press(dialog, 1);
  });
  EXPECT_EQ(parameters_.snapshot().fluence, 1e3f);
  EXPECT_TRUE(messages.empty());
}

// "72,5" gives 72, as stored habits rely on; the field says so while it holds such text, and
// the dialog names it at OK.
TEST_F(ParameterDialogsTest, APartlyReadFieldIsMarkedInTheDialogAndNamedAtOk) {
  std::vector<std::string> messages;
  state_.show_message = [&](std::string_view, std::string_view text) {
    messages.emplace_back(text);
  };
  run_dialog(DialogKind::parameters, [&](QWidget* dialog) {
    QLineEdit* fluence = test::edit(dialog, 1009);
    const QColor plain = fluence->palette().color(QPalette::Base);
    test::replace(fluence, "72,5");
    EXPECT_EQ(fluence->toolTip().toStdString(),
              "Fluence [mJ/cm^2]: only 72 was read from '72,5'; '5' was not (decimals take a "
              "point, not a comma)");
    EXPECT_NE(fluence->palette().color(QPalette::Base), plain);
    test::replace(test::edit(dialog, 1007), "20 30");
    test::replace(fluence, "72.5");  // corrected: the mark goes
    EXPECT_TRUE(fluence->toolTip().isEmpty());
    EXPECT_EQ(fluence->palette().color(QPalette::Base), plain);
    test::press(dialog, 1);
  });
  EXPECT_EQ(parameters_.snapshot().fluence, 72.5f);
  EXPECT_EQ(parameters_.snapshot().pulse_width, 20.0f);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Pulsewidth [ns]: only 20 was read from '20 30'; '30' was not"),
            std::string::npos)
      << messages[0];
  EXPECT_EQ(messages[0].find("Fluence"), std::string::npos) << messages[0];
}

// Real-window pictures of both dialogs with the defaults, taken from the X display the test runs
// on: KT_SHOTS_DIR=<folder> QT_QPA_PLATFORM=xcb xvfb-run -s "-screen 0 1024x768x24" dialogs_tests
// --gtest_filter=*Screenshots*
TEST_F(ParameterDialogsTest, Screenshots) {
  const char* folder = std::getenv("KT_SHOTS_DIR");
  if (folder == nullptr) GTEST_SKIP() << "KT_SHOTS_DIR is not set";
  display::ApplicationOptions options;
  options.program_path = "Kestrium";
  ASSERT_TRUE(display::create_frame_window(options));
  display::show_frame_window();
  const std::pair<DialogKind, const char*> dialogs[] = {
      {DialogKind::parameters, "parameters_dialog.png"},
      {DialogKind::output_data, "output_data_dialog.png"}};
  for (const auto& [kind, name] : dialogs) {
    run_dialog(kind, [&](QWidget* dialog) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
      QTest::qWait(500);
      const std::string command = std::string("import -window root '") + folder + "/" + name + "'";
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
      test::press(dialog, 2);
    });
  }
  display::destroy_frame_window();
}

}  // namespace
}  // namespace kt
