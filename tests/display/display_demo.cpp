// Demo of the display layer for screenshots: the real menu bar texts, a test drawing on the
// main window, and on request one of the dialogs or the file chooser opened after start-up.
//   display_demo [dialog10 | dialog101 | chooser | end]
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "app/dialog_templates.h"
#include "display/application.h"
#include "display/display.h"
#include "display/drawing_context.h"

namespace kd = kt::display;

namespace {

void text_at(kd::DrawingContext& pen, int x, int y, const char* text) {
  pen.move_to(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
  pen.draw_text(text, static_cast<int>(std::strlen(text)));
}

void draw_test_page() {
  kd::DrawingContext pen;
  kd::ScreenConfig config;
  kd::query_screen_config(config);
  const int w = config.width, h = config.height;
  pen.set_color(8);
  pen.draw_rectangle(3, 0, 0, static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
  pen.set_color(10);
  pen.draw_rectangle(2, 5, 5, static_cast<std::int16_t>(w - 25), static_cast<std::int16_t>(h - 97));
  pen.draw_rectangle(2, 8, 8, static_cast<std::int16_t>(w - 28),
                     static_cast<std::int16_t>(h - 100));
  pen.move_to(8, static_cast<std::int16_t>(h / 10));
  pen.line_to(static_cast<std::int16_t>(w - 28), static_cast<std::int16_t>(h / 10));
  pen.set_font("t'tms rmn'h29w12", 16);
  pen.set_color(14);
  text_at(pen, w / 70, h / 20, "KT Laser Evaporation of Polymers");
  pen.set_color(10);
  text_at(pen, 12 * w / 20, h / 20, "Display services test page      ");
  // Sixteen palette swatches.
  pen.set_font("t'helv'h12w7", 12);
  for (int i = 0; i < 16; ++i) {
    pen.set_color(static_cast<std::int16_t>(i));
    const int x = 20 + i * 60;
    pen.draw_rectangle(3, static_cast<std::int16_t>(x), 100, static_cast<std::int16_t>(x + 49),
                       140);
    pen.set_color(15);
    pen.draw_rectangle(2, static_cast<std::int16_t>(x), 100, static_cast<std::int16_t>(x + 49),
                       140);
    text_at(pen, x + 2, 145, std::to_string(i).c_str());
  }
  // A plot panel with a real-coordinate curve.
  pen.set_viewport(40, 200, 480, 500);
  pen.set_color(0);
  pen.draw_rectangle(3, 0, 0, 440, 300);
  pen.set_color(15);
  pen.draw_rectangle(2, 0, 0, 440, 300);
  pen.set_real_window(1, 0.0, 0.0, 10.0, 1.0);
  pen.set_color(14);
  pen.move_to_real(0.0, 0.0);
  for (int i = 1; i <= 200; ++i) {
    const double t = i * 0.05;
    pen.line_to_real(t, t * t / 100.0 + 0.5 * (1.0 - 1.0 / (1.0 + t)));
  }
  pen.set_color(11);
  text_at(pen, 10, 10, "Temperature [K]");
  pen.set_viewport(0, 0, static_cast<std::int16_t>(w - 1), static_cast<std::int16_t>(h - 1));
  pen.set_font("t'courier'h16w9", 15);
  pen.set_color(15);
  text_at(pen, 520, 220, "Courier: 0123456789 ABC xyz");
  kd::write_line(" text layer line");
}

bool build_menu() {
  const kd::MenuCallback none;
  const auto exit = [](std::int32_t) { kd::close_frame_window(); };
  return kd::append_menu_item(1, kd::kMenuEnabled, "File", none) &&
         kd::append_menu_item(1, kd::kMenuEnabled, "Open...", none) &&
         kd::append_menu_item(1, kd::kMenuEnabled, "Save...", none) &&
         kd::append_menu_item(1, kd::kMenuEnabled, "Save as...", none) &&
         kd::append_menu_item(1, kd::kMenuEnabled, "Default Parameters...", none) &&
         kd::append_menu_item(1, kd::kMenuEnabled, "Exit", exit) &&
         kd::append_menu_item(2, kd::kMenuEnabled, "Parameters", none) &&
         kd::append_menu_item(3, kd::kMenuEnabled, "Output data", none) &&
         kd::append_menu_item(4, kd::kMenuEnabled, "Calculation", none) &&
         kd::append_menu_item(5, kd::kMenuEnabled, "Stop", none) &&
         kd::append_menu_item(6, kd::kMenuEnabled, "Help", none) &&
         kd::append_menu_item(7, kd::kMenuEnabled, "About", none);
}

void fill_parameters(kd::DialogObject& dialog) {
  const auto set = [&dialog](int id, const char* text) {
    kd::dialog_set_text(dialog, id, text, static_cast<int>(std::strlen(text)));
  };
  kd::dialog_set_checked(dialog, 1002, true);
  kd::dialog_set_checked(dialog, 1004, true);
  kd::dialog_set_checked(dialog, 1016, true);
  set(1007, "15.00000");
  set(1009, "50.00000");
  set(1011, "25.00000");
  set(1013, "248.0000");
  const char* material[] = {
      "1.420000",      "1.000000",      "1.5600000E-03", "95000.00", "0.0000000E+00", "0.1000000",
      "6.0000000E+21", "1.000000",      "300.0000",      "1.500000", "3.0000000E+07", "1000.000",
      "1.500000",      "3.0000000E+07", "1000.000",      "1.500000", "1.0000000E+13", "1000.000"};
  for (int i = 0; i < 18; ++i) set(1019 + 2 * i, material[i]);
  set(2001, "Data1");
  set(2003, "0.1000000");
  kd::dialog_set_checked(dialog, 2006, true);
  for (int i = 0; i < 10; ++i)
    set(2009 + 2 * i, std::to_string(4 * (i + 1)).append(".00000").c_str());
  set(2030, "2000.000");
  set(2032, "200.0000");
  set(2034, "1.000000");
  kd::dialog_set_checked(dialog, 2035, true);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string request = argc > 1 ? argv[1] : "";
  kd::ApplicationOptions options;
  options.program_path = "/opt/kestrium/Kestrium.exe";
  return kd::run_application(
      argc, argv, options,
      [request] {
        if (!build_menu()) return false;
        QTimer::singleShot(1500, [request] {
          if (request == "dialog10" || request == "dialog101") {
            kd::DialogObject* dialog = kd::dialog_init(
                request == "dialog10" ? kt::parameters_template() : kt::output_data_template());
            fill_parameters(*dialog);
            kd::dialog_run_modal(*dialog);
            kd::dialog_release(dialog);
          } else if (request == "chooser") {
            kd::show_open_file_chooser("Open a File", "*.par");
          } else if (request == "end") {
            kd::end_program(0);
          }
        });
        return true;
      },
      [](std::stop_token stop) {
        kd::toggle_status_bar();
        kd::set_window_size(kd::WindowTarget::main, {2, 0, 0, 0, 0});
        kd::WindowRequest main_size;
        kd::get_window_size(kd::WindowTarget::main, main_size);
        kd::set_window_size(kd::WindowTarget::frame, main_size);
        kd::initialize_fonts();
        draw_test_page();
        std::mutex lock;
        std::condition_variable_any closed;
        std::unique_lock<std::mutex> guard(lock);
        closed.wait(guard, stop, [] { return false; });
      });
}
