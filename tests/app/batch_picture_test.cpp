// The batch runner's picture of a run equals the application's own page after the same run,
// pixel for pixel.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/application.h"
#include "app_page.h"
#include "display/display.h"
#include "graphics/title_page.h"
#include "kt_test_paths.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

TEST(BatchPicture, EqualsTheApplicationPageAfterTheSameRun) {
  const fs::path default_file = fs::path(KT_TEST_DATA_DIR) / "params" / "default.par";
  const fs::path program_directory = fs::path(KT_BATCH_PROGRAM).parent_path();

  // The program: start-up in a directory holding KTparam.par, then Calculation.
  test::ScratchDirectory app_dir;
  fs::copy_file(default_file, app_dir.path() / "KTparam.par");
  {
    test::CurrentDirectory here(app_dir.path());
    test::AppPage page(1024, 768);
    ASSERT_TRUE(page.ready());
    std::vector<std::string> messages;
    ShellServices services;
    services.show_message = [&](std::string_view, std::string_view text) {
      messages.emplace_back(text);
    };
    Application app(program_directory, services);
    ASSERT_TRUE(init_display(app));
    ASSERT_TRUE(load_startup_parameters(app));
    draw_title_page(app.page, app.title, app.logo_file);
    ASSERT_TRUE(app.controller.start_calculation());
    app.controller.wait();
    EXPECT_EQ(app.controller.last_outcome().step_count, 5359);
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(display::save_surface_png((app_dir.path() / "app.png").string()));
  }

  // The batch runner on the same file.
  test::ScratchDirectory batch_dir;
  fs::copy_file(default_file, batch_dir.path() / "KTparam.par");
  const std::string command = "cd '" + batch_dir.path().string() +
                              "' && '" KT_BATCH_PROGRAM
                              "' KTparam.par --png batch.png --size 1024x768 > out.txt 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const QImage from_app = QImage(QString::fromStdString((app_dir.path() / "app.png").string()))
                              .convertToFormat(QImage::Format_RGB32);
  const QImage from_batch =
      QImage(QString::fromStdString((batch_dir.path() / "batch.png").string()))
          .convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(from_app.size(), QSize(1024, 768));
  ASSERT_EQ(from_batch.size(), from_app.size());
  EXPECT_TRUE(from_app == from_batch);
  // The same result files too.
  for (const char* name : {"Data1D.dat", "Data1K.dat", "Data1S5.dat"}) {
    std::ifstream a(app_dir.path() / name, std::ios::binary),
        b(batch_dir.path() / name, std::ios::binary);
    std::string ta((std::istreambuf_iterator<char>(a)), {}),
        tb((std::istreambuf_iterator<char>(b)), {});
    EXPECT_FALSE(ta.empty()) << name;
    EXPECT_EQ(ta, tb) << name;
  }
}

}  // namespace
}  // namespace kt
