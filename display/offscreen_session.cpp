#include <QGuiApplication>
#include <memory>

#include "display/application.h"
#include "display/display.h"
#include "display/runtime_directory.h"

namespace kt::display {

struct OffscreenSession::State {
  int argc = 1;
  char name[16] = "kestrium";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QGuiApplication> application;
};

OffscreenSession::OffscreenSession() : state_(new State) {
  if (QCoreApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    prepare_runtime_directory();
    state_->application = std::make_unique<QGuiApplication>(state_->argc, state_->argv);
  }
}

OffscreenSession::~OffscreenSession() {
  destroy_offscreen_main_window();
  delete state_;
}

}  // namespace kt::display
