// Frame window, menus, dialogs, keys and messages, driven with QTest on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "display/context.h"
#include "display/display.h"
#include "display/drawing_context.h"
#include "display/qt_access.h"

namespace kt::display {
namespace {

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplicationOptions options;
    options.screen_width = 640;
    options.screen_height = 480;
    options.program_path = "/some/dir/Kestrium.exe";
    ASSERT_TRUE(create_frame_window(options));
  }
  void TearDown() override { destroy_frame_window(); }

  // Runs `action` once the next modal loop has started.
  static void when_modal(std::function<void()> action) {
    QTimer::singleShot(0, [action = std::move(action)] { action(); });
  }
};

// A dialog like the parameter dialogs: two radio groups, labels beside edit fields (one that
// wraps, one that must shrink to fit before its field), OK and Cancel.
DialogTemplate test_template() {
  using K = ControlKind;
  return {"Parameters:",
          160,
          50,
          360,
          308,
          "MS Sans Serif",
          8,
          {
              {1000, K::group_box, "Ablation Model:", 5, 2, 145, 35, false, false},
              {1001, K::radio_button, "Surface Photothermal Model", 20, 10, 105, 13, true, false},
              {1002, K::radio_button, "Bulk Photothermal Model", 20, 21, 105, 13, false, false},
              {1003, K::group_box, "Parameters of Laser Pulses:", 5, 40, 145, 98, false, false},
              {1004, K::radio_button, "Triangle Pulse Shape", 20, 48, 100, 13, true, false},
              {1005, K::radio_button, "Rectangle Pulse Shape", 20, 59, 100, 13, false, false},
              {1006, K::label, "Pulsewidth [ns]:", 10, 75, 100, 12, true, false},
              {1007, K::edit_field, "", 118, 73, 25, 12, false, false},
              {1010, K::label, "Front duration of laser pulse in percent of pulsewidth ( 0-100% ):",
               10, 102, 105, 16, true, false},
              {1011, K::edit_field, "", 118, 103, 25, 12, false, false},
              {1052, K::label, "Volumetric Sublim. Enthalpy DHb[J/cm^3]:", 160, 290, 150, 12, true,
               false},
              {1053, K::edit_field, "", 295, 288, 55, 12, false, false},
              {kDialogOk, K::push_button, "OK", 45, 248, 70, 25, false, true},
              {kDialogCancel, K::push_button, "Cancel", 45, 278, 70, 25, false, false},
          }};
}

std::vector<QString> texts_of(const QList<QAction*>& actions) {
  std::vector<QString> texts;
  for (QAction* action : actions) texts.push_back(action->text());
  return texts;
}

// A thread waiting for the GUI thread gives up when the application closes, and the work it
// handed over never runs afterwards (it may refer to the waiter's stack).
TEST(GuiHandOff, AWaitEndsWhenTheApplicationClosesAndTheWorkNeverRuns) {
  std::atomic<int> result{-1};
  bool ran = false;
  std::thread waiter([&] { result = run_on_gui_thread([&] { ran = true; }) ? 1 : 0; });
  // This (the GUI) thread processes no event meanwhile: the waiter can only be woken.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  context().closing = true;
  wake_key_waiters();
  waiter.join();
  QCoreApplication::processEvents();
  context().closing = false;
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(ran);
}

TEST_F(FrameTest, CaptionScreenAndWindowOperations) {
  EXPECT_EQ(frame_window()->windowTitle(), "Kestrium");
  ScreenConfig config;
  query_screen_config(config);
  EXPECT_EQ(config.width, 640);
  EXPECT_EQ(config.height, 480);
  EXPECT_TRUE(frame_window()->statusBar()->isVisibleTo(frame_window()));
  EXPECT_EQ(toggle_status_bar(), 0);
  EXPECT_FALSE(frame_window()->statusBar()->isVisibleTo(frame_window()));
  EXPECT_EQ(set_window_size(WindowTarget::frame, WindowRequest{}), -1);  // unknown state
  EXPECT_EQ(set_window_size(WindowTarget::main, WindowRequest{2, 0, 0, 0, 0}), 0);
  WindowRequest main_size;
  EXPECT_EQ(get_window_size(WindowTarget::main, main_size), 0);
  EXPECT_EQ(main_size.state, 2);
  // Only maximizing is a state to set: placing, minimizing and restoring are refused.
  for (std::int16_t state : {1, 3, 4})
    EXPECT_EQ(set_window_size(WindowTarget::frame, WindowRequest{state, 10, 20, 300, 400}), -1);
  EXPECT_EQ(set_window_size(WindowTarget::frame, WindowRequest{2, 0, 0, 0, 0}), 0);
  WindowRequest frame_size;
  EXPECT_EQ(get_window_size(WindowTarget::frame, frame_size), 0);
  EXPECT_GT(frame_size.width, 0);
}

TEST_F(FrameTest, MenuBarIsBuiltByAppendRules) {
  std::vector<int> called;
  const auto command = [&called](int id) {
    return [&called, id](std::int32_t checked) {
      EXPECT_EQ(checked, 0);
      called.push_back(id);
    };
  };
  ASSERT_TRUE(append_menu_item(1, kMenuEnabled, "File", command(0)));
  EXPECT_FALSE(append_menu_item(3, kMenuEnabled, "Nowhere", command(99)));
  EXPECT_FALSE(append_menu_item(0, kMenuEnabled, "Nowhere", command(99)));
  for (const char* text : {"Open...", "Save...", "Save as...", "Default Parameters...", "Exit"}) {
    ASSERT_TRUE(append_menu_item(1, kMenuEnabled, text, command(1)));
  }
  const char* bar_texts[] = {"Parameters", "Output data", "Calculation", "Stop", "Help", "About"};
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(append_menu_item(i + 2, kMenuEnabled, bar_texts[i], command(i + 2)));
  }
  EXPECT_FALSE(append_menu_item(9, kMenuEnabled, "Too far", command(99)));

  QMenuBar* bar = frame_menu_bar();
  const QList<QAction*> items = bar->actions();
  EXPECT_EQ(texts_of(items), (std::vector<QString>{"&File", "&Parameters", "&Output data",
                                                   "&Calculation", "&Stop", "&Help", "&About"}));
  ASSERT_NE(items[0]->menu(), nullptr);
  EXPECT_EQ(texts_of(items[0]->menu()->actions()),
            (std::vector<QString>{"&Open...", "&Save...", "&Save as...", "&Default Parameters...",
                                  "&Exit"}));
  // The former command's callback is gone; the bar commands run their own.
  items[0]->trigger();
  items[1]->trigger();
  items[6]->trigger();
  items[0]->menu()->actions()[4]->trigger();
  EXPECT_EQ(called, (std::vector<int>{2, 7, 1}));

  // A text with its own mnemonic keeps it; state flags are applied.
  ASSERT_TRUE(append_menu_item(2, 0, "E&xtra", command(8)));
  QAction* extra = bar->actions()[1]->menu()->actions()[0];
  EXPECT_EQ(extra->text(), "E&xtra");
  EXPECT_FALSE(extra->isEnabled());
  EXPECT_EQ(bar->actions()[1]->text(), "&Parameters");

  // Items are greyed and enabled again by their place: 0 the bar item, then popup entries.
  EXPECT_TRUE(set_menu_item_enabled(5, 0, false));
  EXPECT_FALSE(items[4]->isEnabled());
  EXPECT_FALSE(menu_item_enabled(5, 0));
  items[4]->trigger();
  EXPECT_EQ(called, (std::vector<int>{2, 7, 1})) << "a greyed item runs nothing";
  EXPECT_TRUE(set_menu_item_enabled(5, 0, true));
  EXPECT_TRUE(menu_item_enabled(5, 0));
  EXPECT_TRUE(set_menu_item_enabled(1, 5, false));
  EXPECT_FALSE(items[0]->menu()->actions()[4]->isEnabled());
  EXPECT_FALSE(set_menu_item_enabled(1, 6, false)) << "no such entry";
  EXPECT_FALSE(set_menu_item_enabled(5, 1, false)) << "a bar command has no entries";
  EXPECT_FALSE(set_menu_item_enabled(9, 0, false));
}

TEST_F(FrameTest, CheckableItemsShowTheirState) {
  std::vector<int> told;
  const auto record = [&told](std::int32_t checked) { told.push_back(checked); };
  ASSERT_TRUE(append_menu_item(1, kMenuEnabled, "File", {}));
  ASSERT_TRUE(append_menu_item(1, kMenuEnabled | kMenuCheckable, "In a popup", record));
  ASSERT_TRUE(append_menu_item(2, kMenuEnabled | kMenuCheckable, "On the bar", record));
  QAction* in_popup = frame_menu_bar()->actions()[0]->menu()->actions()[0];
  QAction* on_bar = frame_menu_bar()->actions()[1];
  // A popup draws its own mark; on the bar, where none is drawn, the text carries a box.
  EXPECT_EQ(in_popup->text(), "&In a popup");
  EXPECT_EQ(on_bar->text(), QString(QChar(0x2610)) + " &On the bar");
  on_bar->trigger();  // the user's choice: the callback is told, the box ticked
  EXPECT_EQ(told, (std::vector<int>{1}));
  EXPECT_EQ(on_bar->text(), QString(QChar(0x2611)) + " &On the bar");
  EXPECT_TRUE(menu_item_checked(2, 0));
  // Set by the program: the mark follows, the callback is not run.
  EXPECT_TRUE(set_menu_item_checked(2, 0, false));
  EXPECT_TRUE(set_menu_item_checked(1, 1, true));
  EXPECT_EQ(on_bar->text(), QString(QChar(0x2610)) + " &On the bar");
  EXPECT_TRUE(in_popup->isChecked());
  EXPECT_TRUE(menu_item_checked(1, 1));
  EXPECT_EQ(told, (std::vector<int>{1}));
  EXPECT_FALSE(set_menu_item_checked(1, 0, true)) << "the File popup is not checkable";
}

TEST_F(FrameTest, DialogsHoldEveryTemplateControl) {
  DialogTemplate repeated = test_template();
  repeated.controls.push_back(repeated.controls.front());
  EXPECT_EQ(dialog_init(repeated), nullptr);  // a control no operation could reach
  // The template is copied: this one is gone before the dialog is used.
  DialogObject* parameters = dialog_init(test_template());
  ASSERT_NE(parameters, nullptr);
  EXPECT_EQ(dialog_widget(*parameters)->windowTitle(), "Parameters:");
  std::vector<int> ids;
  for (const ControlTemplate& control : test_template().controls) ids.push_back(control.id);
  for (int id : ids) EXPECT_NE(dialog_control(*parameters, id), nullptr) << id;
  EXPECT_EQ(dialog_control(*parameters, 1014), nullptr);
  EXPECT_EQ(dialog_canvas(*parameters)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(),
            static_cast<qsizetype>(ids.size()));
  auto* ok = qobject_cast<QPushButton*>(dialog_control(*parameters, 1));
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->text(), "OK");
  // Edit fields sit where the template puts them, right of their labels.
  const QWidget* label = dialog_control(*parameters, 1006);
  const QWidget* edit = dialog_control(*parameters, 1007);
  EXPECT_GT(edit->x(), label->x());
  EXPECT_LT(std::abs(edit->y() - label->y()), label->height());
  // No label text is cut off.
  for (int id : ids) {
    auto* text = qobject_cast<QLabel*>(dialog_control(*parameters, id));
    if (text == nullptr) continue;
    const QFontMetrics metrics(text->font());
    const QRect needed = metrics.boundingRect(
        QRect(0, 0, text->width(), 10000),
        Qt::AlignLeft | Qt::AlignTop | (text->wordWrap() ? Qt::TextWordWrap : 0), text->text());
    EXPECT_LE(needed.height(), text->height()) << id;
  }
  dialog_release(parameters);
}

// A dialog larger than the screen fits the screen's available area and scrolls its controls,
// which keep the template's layout.
TEST_F(FrameTest, ADialogLargerThanTheScreenScrolls) {
  DialogTemplate tall = test_template();
  tall.width = 4000;
  tall.height = 4000;
  tall.controls.back().y = 3900;  // a control at the far end
  DialogObject* dialog = dialog_init(tall);
  ASSERT_NE(dialog, nullptr);
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  const QDialog* window = dialog_widget(*dialog);
  EXPECT_LE(window->width(), available.width());
  EXPECT_LE(window->height(), available.height());
  const QWidget* canvas = dialog_canvas(*dialog);
  EXPECT_GT(canvas->height(), 2 * available.height()) << "the controls keep their places";
  EXPECT_EQ(dialog_control(*dialog, tall.controls.back().id)->parentWidget(), canvas);
  dialog_release(dialog);

  // One that fits shows every control without scrolling.
  DialogObject* small = dialog_init(test_template());
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(dialog_widget(*small)->size(), dialog_canvas(*small)->size());
  dialog_release(small);
}

TEST_F(FrameTest, RadioGroupsAndPaddedText) {
  DialogObject* dialog = dialog_init(test_template());
  ASSERT_NE(dialog, nullptr);
  const auto checked = [dialog](int id) {
    return qobject_cast<QRadioButton*>(dialog_control(*dialog, id))->isChecked();
  };
  EXPECT_TRUE(dialog_set_checked(*dialog, 1001, true));
  EXPECT_TRUE(dialog_set_checked(*dialog, 1004, true));  // another group
  EXPECT_TRUE(dialog_set_checked(*dialog, 1002, true));
  EXPECT_FALSE(checked(1001));
  EXPECT_TRUE(checked(1002));
  EXPECT_TRUE(checked(1004));
  EXPECT_TRUE(dialog_set_checked(*dialog, 1002, false));  // a group may have none on
  EXPECT_FALSE(checked(1001) || checked(1002));
  EXPECT_FALSE(dialog_set_checked(*dialog, 1007, true));  // not a button
  EXPECT_FALSE(dialog_set_checked(*dialog, 4242, true));

  EXPECT_TRUE(dialog_set_text(*dialog, 1007, "15.00000xx", 8));
  std::string text;
  EXPECT_TRUE(dialog_get_text(*dialog, 1007, text, 55));
  EXPECT_EQ(text, "15.00000" + std::string(47, ' '));
  EXPECT_TRUE(dialog_get_text(*dialog, 1007, text, 4));
  EXPECT_EQ(text, "15.0");
  EXPECT_FALSE(dialog_get_text(*dialog, 4242, text, 55));
  EXPECT_FALSE(dialog_set_text(*dialog, 4242, "x", 1));
  dialog_release(dialog);
}

TEST_F(FrameTest, ModalResultsForOkCancelEscapeAndCloseBox) {
  DialogObject* dialog = dialog_init(test_template());
  ASSERT_NE(dialog, nullptr);
  QDialog* widget = dialog_widget(*dialog);
  when_modal([widget] { QTest::keyClick(widget, Qt::Key_Escape); });
  EXPECT_EQ(dialog_run_modal(*dialog), 2);
  when_modal([dialog] { QTest::mouseClick(dialog_control(*dialog, 1), Qt::LeftButton); });
  EXPECT_EQ(dialog_run_modal(*dialog), 1);
  when_modal([dialog] { QTest::mouseClick(dialog_control(*dialog, 2), Qt::LeftButton); });
  EXPECT_EQ(dialog_run_modal(*dialog), 2);
  when_modal([widget] { widget->close(); });
  EXPECT_EQ(dialog_run_modal(*dialog), 2);
  when_modal([dialog] {
    QTest::keyClick(dialog_control(*dialog, 1007), Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(dialog_run_modal(*dialog), 1);
  dialog_release(dialog);
}

TEST_F(FrameTest, CallbacksFollowEveryKeystrokeAndClick) {
  DialogObject* dialog = dialog_init(test_template());
  ASSERT_NE(dialog, nullptr);
  std::vector<std::string> seen;
  std::vector<int> ids;
  const DialogCallback record = [&seen, &ids](DialogObject& object, std::int32_t id, std::int32_t) {
    ids.push_back(id);
    std::string text;
    if (id == 1007) {
      dialog_get_text(object, id, text, 55);
      seen.push_back(text.substr(0, text.find_last_not_of(' ') + 1));
    }
  };
  dialog_set_text(*dialog, 1007, "15", 2);
  ASSERT_TRUE(dialog_set_callback(*dialog, 1007, record));
  ASSERT_TRUE(dialog_set_callback(*dialog, 1005, record));
  EXPECT_FALSE(dialog_set_callback(*dialog, 4242, record));
  dialog_set_text(*dialog, 1007, "16", 2);  // not shown yet: no callback
  EXPECT_TRUE(ids.empty());
  when_modal([dialog] {
    auto* edit = static_cast<QLineEdit*>(dialog_control(*dialog, 1007));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "30");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::mouseClick(dialog_control(*dialog, 1005), Qt::LeftButton);
    QTest::mouseClick(dialog_control(*dialog, 1), Qt::LeftButton);
  });
  EXPECT_EQ(dialog_run_modal(*dialog), 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"", "3", "30", "3"}));
  EXPECT_EQ(ids.back(), 1005);
  EXPECT_TRUE(qobject_cast<QRadioButton*>(dialog_control(*dialog, 1005))->isChecked());
  dialog_release(dialog);
}

TEST_F(FrameTest, KeysOnTheGuiThreadAndNestedWaits) {
  show_frame_window();
  QWidget* target = main_window_widget();
  std::int16_t nested = 0;
  when_modal([&nested, target] {
    nested = read_key();  // a second wait while the first is pending
    QTest::keyClick(target, Qt::Key_F1);
  });
  EXPECT_EQ(read_key(), 0);
  EXPECT_EQ(nested, 255);
  EXPECT_EQ(read_key(), 59);  // the scan code follows without a new key
  when_modal([target] {
    QTest::keyClick(target, Qt::Key_Left);
    QTest::keyClick(target, 'q');
  });
  EXPECT_EQ(read_key(), 224);
  EXPECT_EQ(read_key(), 75);
  EXPECT_EQ(read_key(), 'q');

  // Another thread blocks until a key arrives.
  std::atomic<int> from_thread{-1};
  std::thread waiter([&from_thread] { from_thread = read_key(); });
  QTest::keyClick(target, Qt::Key_Escape);  // queued even if the wait starts later
  waiter.join();
  EXPECT_EQ(from_thread, 27);
}

TEST_F(FrameTest, EndOfProgramQueryDefaultsToNo) {
  QString title, text;
  bool no_is_default = false;
  when_modal([&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    no_is_default = box->defaultButton() == box->button(QMessageBox::No);
    box->button(QMessageBox::No)->click();
  });
  end_program(0);
  EXPECT_EQ(title, "Kestrium");
  EXPECT_EQ(text, "Program Terminated with exit code 0\nExit Window?");
  EXPECT_TRUE(no_is_default);
  EXPECT_NE(frame_window(), nullptr);  // No keeps the window
}

TEST_F(FrameTest, ChooserReturnsTheFullPathOrTheInitialName) {
  const QString typed = QDir(QString::fromStdString(::testing::TempDir())).filePath("new.par");
  QString title;
  QStringList filters;
  QString selected_filter;
  when_modal([&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    title = chooser->windowTitle();
    filters = chooser->nameFilters();
    selected_filter = chooser->selectedNameFilter();
    chooser->selectFile(typed);
    static_cast<QDialog*>(chooser)->accept();
  });
  EXPECT_EQ(show_open_file_chooser("Open a File", "*.par"),
            QFileInfo(typed).absoluteFilePath().toStdString());
  EXPECT_EQ(title, "Open a File");
  // The chooser trims the descriptions' leading blank when it shows them.
  EXPECT_EQ(filters, (QStringList{"PAR Files (*.par)", "All Files (*.*)"}));
  EXPECT_EQ(selected_filter, "PAR Files (*.par)");
  when_modal([] { QApplication::activeModalWidget()->close(); });
  EXPECT_EQ(show_open_file_chooser("Open a File", "*.par"), "*.par");
}

TEST_F(FrameTest, ChooserReturnsALongPathWhole) {
  // Longer than the 99 characters a parameter file path may have: the caller refuses it with
  // a message, so the chooser must not turn it into a cancel.
  QString typed = QDir(QString::fromStdString(::testing::TempDir())).absolutePath() + "/";
  typed += QString(150 - typed.size() - 4, QChar('x')) + ".par";
  ASSERT_EQ(typed.size(), 150);
  when_modal([&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    chooser->selectFile(typed);
    static_cast<QDialog*>(chooser)->accept();
  });
  const std::string chosen = show_open_file_chooser("Open a File", "*.par");
  EXPECT_EQ(chosen, QFileInfo(typed).absoluteFilePath().toStdString());
  EXPECT_GT(chosen.size(), 99u);
}

TEST_F(FrameTest, WorkerDrawsWhileTheGuiThreadRepaints) {
  show_frame_window();
  std::atomic<bool> done{false};
  std::thread worker([&done] {
    DrawingContext pen;
    for (int i = 0; i < 400; ++i) {
      pen.set_color(static_cast<std::int16_t>(i % 16));
      pen.draw_rectangle(3, 0, 0, 99, 99);
      pen.move_to(0, static_cast<std::int16_t>(i % 100));
      pen.line_to(200, static_cast<std::int16_t>(i % 100));
      pen.draw_text("x", 1);
    }
    pen.set_color(14);
    pen.draw_rectangle(3, 0, 0, 9, 9);
    done = true;
  });
  while (!done) {
    main_window_widget()->repaint();
    QCoreApplication::processEvents();
  }
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(surface_pixel(5, 5), 0xFFFF00);
  const QImage shown = main_window_widget()->grab().toImage();
  EXPECT_EQ(shown.pixel(5, 5) & 0xFFFFFFu, 0xFFFF00u);
}

}  // namespace
}  // namespace kt::display
