// The batch runner's picture of a run equals the application's own page after the same run,
// pixel for pixel.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <filesystem>
#include <set>

#include "app/application.h"
#include "app/menu.h"
#include "app_page.h"
#include "display/display.h"
#include "engine/experiment_setup.h"
#include "engine/spot_train.h"
#include "graphics/temporal_plot.h"
#include "graphics/title_page.h"
#include "kt_test_paths.h"
#include "spot_train_support.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

// At 4:3, 16:9 and 16:10 sizes: the picture has the size asked, with the page laid out as the
// program lays it out on a screen of that size.
TEST(BatchPicture, EqualsTheApplicationPageAfterTheSameRun) {
  const fs::path default_file = fs::path(KT_TEST_DATA_DIR) / "params" / "default.par";
  const fs::path program_directory = fs::path(KT_BATCH_PROGRAM).parent_path();
  const QSize sizes[] = {{1024, 768}, {1920, 1080}, {1680, 1050}};
  for (const QSize size : sizes) {
    const std::string size_text =
        std::to_string(size.width()) + "x" + std::to_string(size.height());
    SCOPED_TRACE(size_text);
    // The program: start-up in a directory holding KTparam.par, then Calculation.
    test::ScratchDirectory app_dir;
    fs::copy_file(default_file, app_dir.path() / "KTparam.par");
    {
      test::CurrentDirectory here(app_dir.path());
      test::AppPage page(size.width(), size.height());
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
                                "' && '" KT_BATCH_PROGRAM "' KTparam.par --png batch.png --size " +
                                size_text + " > out.txt 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const QImage from_app = QImage(QString::fromStdString((app_dir.path() / "app.png").string()))
                                .convertToFormat(QImage::Format_RGB32);
    const QImage from_batch =
        QImage(QString::fromStdString((batch_dir.path() / "batch.png").string()))
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(from_app.size(), size);
    ASSERT_EQ(from_batch.size(), size);
    EXPECT_TRUE(from_app == from_batch);
    // The same result files too.
    for (const char* name : {"Data1D.dat", "Data1K.dat", "Data1S5.dat"}) {
      const std::string a = test::read_file(app_dir.path() / name);
      EXPECT_FALSE(a.empty()) << name;
      EXPECT_EQ(a, test::read_file(batch_dir.path() / name)) << name;
    }
  }
}

// The accurate scheme's mark: the program with the menu item checked and the batch runner's
// --scheme accurate draw the same page, and the corner above the temporal panel's captions
// holds the mark only then (the published page keeps the panel's plain background there).
TEST(BatchPicture, MarksTheAccurateSchemeOnlyWhenItIsOn) {
  const fs::path default_file = fs::path(KT_TEST_DATA_DIR) / "params" / "default.par";
  const fs::path program_directory = fs::path(KT_BATCH_PROGRAM).parent_path();
  test::ScratchDirectory dir;
  fs::copy_file(default_file, dir.path() / "KTparam.par");
  PageGeometry geometry;
  {
    test::CurrentDirectory here(dir.path());
    test::AppPage page(1024, 768);
    ASSERT_TRUE(page.ready());
    ShellServices services;
    services.show_message = [](std::string_view, std::string_view) {};
    Application app(program_directory, services);
    ASSERT_TRUE(init_display(app));
    ASSERT_TRUE(load_startup_parameters(app));
    draw_title_page(app.page, app.title, app.logo_file);
    accurate_scheme_command(app, true);
    ASSERT_TRUE(app.controller.start_calculation());
    app.controller.wait();
    ASSERT_EQ(app.controller.last_outcome().end, RunEnd::end_test);
    ASSERT_TRUE(display::save_surface_png((dir.path() / "app.png").string()));
    geometry = app.page;
  }
  const auto batch_picture = [&](const std::string& png, const std::string& scheme) {
    const std::string command = "cd '" + dir.path().string() +
                                "' && '" KT_BATCH_PROGRAM "' KTparam.par --scheme " + scheme +
                                " --png " + png + " --size 1024x768 > out.txt 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << scheme;
    return QImage(QString::fromStdString((dir.path() / png).string()))
        .convertToFormat(QImage::Format_RGB32);
  };
  const QImage from_app = QImage(QString::fromStdString((dir.path() / "app.png").string()))
                              .convertToFormat(QImage::Format_RGB32);
  const QImage accurate = batch_picture("accurate.png", "accurate");
  const QImage published = batch_picture("published.png", "published");
  ASSERT_EQ(from_app.size(), QSize(1024, 768));
  EXPECT_TRUE(from_app == accurate);

  // The corner: from the panel's left edge to the plot frame, from the panel's top to the
  // captions.
  const TemporalLayout l = temporal_layout(geometry);
  const int x1 = page_offset(l.x0, -0.1f, geometry.screen_width) + 1;
  const int y1 = page_offset(l.y0, -0.08f, geometry.screen_height) + 1;
  const auto colours_in_corner = [&](const QImage& image) {
    std::set<QRgb> colours;
    for (int y = y1; y < l.y_caption; ++y) {
      for (int x = x1; x < l.x0; ++x) colours.insert(image.pixel(x, y));
    }
    return colours.size();
  };
  EXPECT_EQ(colours_in_corner(published), 1u);
  EXPECT_GT(colours_in_corner(accurate), 1u);
}

// A spot's train: the batch runner's --png is the program's page of the run at the spot's
// centre, the train run with the program's view as the centre's observer.
TEST(BatchPicture, ASpotTrainsPictureIsThePageOfItsCentre) {
  const fs::path default_file = fs::path(KT_TEST_DATA_DIR) / "params" / "default.par";
  const fs::path program_directory = fs::path(KT_BATCH_PROGRAM).parent_path();
  test::ScratchDirectory dir;
  fs::copy_file(default_file, dir.path() / "KTparam.par");
  {
    test::CurrentDirectory here(dir.path());
    test::AppPage page(1024, 768);
    ASSERT_TRUE(page.ready());
    ShellServices services;
    services.show_message = [](std::string_view, std::string_view) {};
    Application app(program_directory, services);
    ASSERT_TRUE(init_display(app));
    ASSERT_TRUE(load_startup_parameters(app));
    draw_title_page(app.page, app.title, app.logo_file);
    std::string error;
    std::optional<SpotTrainRequest> train =
        test::gaussian_spot_train(app.parameters.snapshot(), 50.0, 2, 1000.0, error);
    ASSERT_TRUE(train) << error;
    app.run_view.set_scheme(train->centre.scheme);
    train->centre.observer = &app.run_view;
    const SpotTrainResult result = run_spot_train(*train);
    ASSERT_TRUE(result.failure.empty()) << result.failure;
    ASSERT_EQ(result.centre.end, RunEnd::end_test);
    ASSERT_TRUE(display::save_surface_png((dir.path() / "app.png").string()));
  }
  const std::string command = "cd '" + dir.path().string() +
                              "' && '" KT_BATCH_PROGRAM
                              "' KTparam.par --spot-radius 50 "
                              "--pulses 2 --rate 1000 --png batch.png --size 1024x768 "
                              "> out.txt 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << test::read_file(dir.path() / "out.txt");
  const QImage from_app = QImage(QString::fromStdString((dir.path() / "app.png").string()))
                              .convertToFormat(QImage::Format_RGB32);
  const QImage from_batch = QImage(QString::fromStdString((dir.path() / "batch.png").string()))
                                .convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(from_batch.size(), QSize(1024, 768));
  EXPECT_TRUE(from_app == from_batch);
}

}  // namespace
}  // namespace kt
