// Frame window, main-window widget, window operations, key input, the end-of-program query,
// message boxes and the application entry.
#include "display/frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QThread>
#include <memory>
#include <thread>

#include "display/application.h"
#include "display/context.h"
#include "display/qt_access.h"
#include "display/runtime_directory.h"

namespace kt::display {
namespace {

constexpr int kRepaintIntervalMs = 16;
constexpr int kRefitDelayMs = 40;

QString caption_of(const std::string& program_path) {
  const QString path = program_path.empty() ? QCoreApplication::applicationFilePath()
                                            : QString::fromLocal8Bit(program_path.c_str());
  return QFileInfo(path).completeBaseName();
}

bool surface_size_fixed() {
  DisplayContext& ctx = context();
  std::lock_guard lock(ctx.mutex);
  return ctx.screen_width_override > 0 && ctx.screen_height_override > 0;
}

QSize screen_size() {
  DisplayContext& ctx = context();
  {
    std::lock_guard lock(ctx.mutex);
    if (ctx.screen_width_override > 0 && ctx.screen_height_override > 0) {
      return {ctx.screen_width_override, ctx.screen_height_override};
    }
  }
  if (QScreen* screen = QGuiApplication::primaryScreen()) return screen->size();
  return {1024, 768};
}

// Key codes: a character, or 0 (function keys) / 224 (cursor keys) followed by the scan code.
void queue_key(const QKeyEvent& event) {
  struct Special {
    int key, prefix, scan;
  };
  static constexpr Special kSpecial[] = {
      {Qt::Key_Home, 224, 71},   {Qt::Key_Up, 224, 72},       {Qt::Key_PageUp, 224, 73},
      {Qt::Key_Left, 224, 75},   {Qt::Key_Right, 224, 77},    {Qt::Key_End, 224, 79},
      {Qt::Key_Down, 224, 80},   {Qt::Key_PageDown, 224, 81}, {Qt::Key_Insert, 224, 82},
      {Qt::Key_Delete, 224, 83}, {Qt::Key_F1, 0, 59},         {Qt::Key_F2, 0, 60},
      {Qt::Key_F3, 0, 61},       {Qt::Key_F4, 0, 62},         {Qt::Key_F5, 0, 63},
      {Qt::Key_F6, 0, 64},       {Qt::Key_F7, 0, 65},         {Qt::Key_F8, 0, 66},
      {Qt::Key_F9, 0, 67},       {Qt::Key_F10, 0, 68},        {Qt::Key_F11, 0, 133},
      {Qt::Key_F12, 0, 134}};
  for (const Special& special : kSpecial) {
    if (event.key() == special.key) {
      queue_key_codes({special.prefix, special.scan});
      return;
    }
  }
  int code = -1;
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      code = 13;
      break;
    case Qt::Key_Escape:
      code = 27;
      break;
    case Qt::Key_Backspace:
      code = 8;
      break;
    case Qt::Key_Tab:
      code = 9;
      break;
    default:
      if (!event.text().isEmpty() && event.text().at(0).unicode() < 256) {
        code = event.text().at(0).unicode();
      }
  }
  if (code >= 0) queue_key_codes({code});
}

}  // namespace

FrameState& frame_state() {
  static FrameState state;
  return state;
}

// ---- Surface widget ------------------------------------------------------------------------

SurfaceWidget::SurfaceWidget(std::shared_ptr<Surface> surface, QWidget* parent)
    : QWidget(parent), surface_(std::move(surface)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  repaint_timer_.setSingleShot(true);
  repaint_timer_.setInterval(kRepaintIntervalMs);
  connect(&repaint_timer_, &QTimer::timeout, this, [this] {
    repaint_pending_ = false;
    update();
  });
  set_surface(surface_);
}

void SurfaceWidget::set_surface(std::shared_ptr<Surface> surface) {
  if (surface_ != surface) {
    std::lock_guard lock(surface_->mutex);
    surface_->set_change_notifier(nullptr);
  }
  surface_ = std::move(surface);
  std::lock_guard lock(surface_->mutex);
  setFixedSize(surface_->width(), surface_->height());
  update();
  surface_->set_change_notifier([this] {
    // Runs under the surface's lock, on any thread: post at most one request per interval.
    // The plain read first keeps the many changes within one interval free of writes.
    if (repaint_pending_.load(std::memory_order_relaxed)) return;
    if (repaint_pending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this, [this] { repaint_timer_.start(); }, Qt::QueuedConnection);
  });
}

SurfaceWidget::~SurfaceWidget() {
  std::lock_guard lock(surface_->mutex);
  surface_->set_change_notifier(nullptr);
}

void SurfaceWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  std::lock_guard lock(surface_->mutex);
  // The image may hold device pixels: its part under the exposed rectangle, one to one.
  painter.drawImage(event->rect(), surface_->image(), surface_->device_rect(event->rect()));
}

bool SurfaceWidget::event(QEvent* event) {
  // A window waiting for a key takes every key, shortcuts of the frame included.
  if (event->type() == QEvent::ShortcutOverride && context().key_readers.load() > 0) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

void SurfaceWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Control ||
      event->key() == Qt::Key_Alt || event->key() == Qt::Key_Meta) {
    QWidget::keyPressEvent(event);
    return;
  }
  queue_key(*event);
}

// ---- Frame window --------------------------------------------------------------------------

FrameWindow::FrameWindow(const QString& caption, std::shared_ptr<Surface> surface) {
  setWindowTitle(caption);
  scroll_area_ = new QScrollArea(this);
  scroll_area_->setFrameShape(QFrame::NoFrame);
  scroll_area_->setWidgetResizable(false);
  scroll_area_->setBackgroundRole(QPalette::Dark);
  scroll_area_->setAlignment(Qt::AlignCenter);
  surface_widget_ = new SurfaceWidget(std::move(surface));
  scroll_area_->setWidget(surface_widget_);
  setCentralWidget(scroll_area_);
  // Keys typed anywhere in the frame go to the main window.
  scroll_area_->setFocusPolicy(Qt::NoFocus);
  setFocusProxy(surface_widget_);
  menuBar()->setNativeMenuBar(false);
  statusBar()->show();
  surface_widget_->setFocus();
  refit_timer_.setSingleShot(true);
  refit_timer_.setInterval(kRefitDelayMs);
  connect(&refit_timer_, &QTimer::timeout, this, [this] {
    if (!isMinimized()) fit_surface_to_current_area();
  });
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    resize(available.width() * 3 / 4, available.height() * 3 / 4);
  }
}

QSize FrameWindow::maximized_client_size() const {
  QScreen* current = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (current == nullptr) return size();
  QSize client = current->availableGeometry().size();
  if (isVisible()) client -= frameGeometry().size() - geometry().size();
  client.rheight() -= menuBar()->isVisible() ? menuBar()->sizeHint().height() : 0;
  if (!statusBar()->isHidden()) client.rheight() -= statusBar()->sizeHint().height();
  return client.expandedTo(QSize(1, 1)).boundedTo(QSize(32767, 32767));
}

void FrameWindow::fit_surface_to_client_area() {
  fit_surface_to(maximized_client_size());
}

void FrameWindow::fit_surface_to_current_area() {
  // The scroll area without its scroll bars is the client area (it has no frame).
  fit_surface_to(scroll_area_->size().expandedTo(QSize(1, 1)).boundedTo(QSize(32767, 32767)));
}

void FrameWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (!surface_size_fixed()) refit_timer_.start();
}

void FrameWindow::fit_surface_to(QSize client) {
  const double ratio = devicePixelRatioF();
  const std::shared_ptr<Surface> current = main_surface();
  if (current) {
    std::lock_guard lock(current->mutex);
    if (current->width() == client.width() && current->height() == client.height() &&
        current->device_pixel_ratio() == (ratio > 1.0 ? ratio : 1.0)) {
      return;
    }
  }
  auto surface = std::make_shared<Surface>(client.width(), client.height(), ratio);
  surface_widget_->set_surface(surface);
  set_main_surface(surface);
  if (const std::function<void()> resized = frame_state().surface_resized) resized();
}

void FrameWindow::closeEvent(QCloseEvent* event) {
  const std::function<bool()> query = frame_state().close_query;
  if (!context().closing && query && !query()) {
    event->ignore();
    return;
  }
  context().closing = true;
  wake_key_waiters();
  event->accept();
  QCoreApplication::quit();
}

// ---- Frame lifetime (also used by tests) -----------------------------------------------------

bool create_frame_window(const ApplicationOptions& options) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
  destroy_frame_window();
  context().closing = false;
  if (options.screen_width > 0 && options.screen_height > 0) {
    set_screen_size_override(options.screen_width, options.screen_height);
  }
  const QSize size = screen_size();
  const QScreen* screen = QGuiApplication::primaryScreen();
  auto surface =
      std::make_shared<Surface>(std::min(size.width(), 32767), std::min(size.height(), 32767),
                                screen != nullptr ? screen->devicePixelRatio() : 1.0);
  FrameState& state = frame_state();
  state.caption = caption_of(options.program_path);
  state.frame = new FrameWindow(state.caption, surface);
  context().main_state = 4;
  state.bar.clear();
  state.end_query_asked = false;
  set_main_surface(surface);
  context().frame_exists = true;
  return true;
}

void show_frame_window() {
  if (FrameWindow* frame = frame_state().frame) frame->show();
}

void destroy_frame_window() {
  FrameState& state = frame_state();
  context().frame_exists = false;
  set_main_surface(nullptr);
  state.bar.clear();
  delete state.frame.data();
  state.frame = nullptr;
}

QMainWindow* frame_window() {
  return frame_state().frame;
}

QWidget* main_window_widget() {
  FrameWindow* frame = frame_state().frame;
  return frame ? frame->surface_widget() : nullptr;
}

QMenuBar* frame_menu_bar() {
  FrameWindow* frame = frame_state().frame;
  return frame ? frame->menuBar() : nullptr;
}

void set_screen_size_override(int width, int height) {
  DisplayContext& ctx = context();
  std::lock_guard lock(ctx.mutex);
  ctx.screen_width_override = std::max(0, width);
  ctx.screen_height_override = std::max(0, height);
}

// ---- Window operations -----------------------------------------------------------------------

std::int16_t set_window_size(WindowTarget target, const WindowRequest& request) {
  if (!main_surface()) return -1;
  // The program only ever maximizes its windows: any other state is refused.
  if (request.state != 2) return -1;
  if (target == WindowTarget::main) {
    // The main window always fills the frame; its state is only recorded.
    context().main_state = request.state;
    return 0;
  }
  if (!context().frame_exists) return -1;
  std::int16_t result = -1;
  run_on_gui_thread([&] {
    FrameWindow* frame = frame_state().frame;
    if (frame == nullptr) return;
    // Without a window manager the geometry is what makes the frame fill the screen.
    if (QScreen* screen = frame->screen()) frame->setGeometry(screen->availableGeometry());
    frame->showMaximized();
    // The page is laid out for the area the main window really has (unless a fixed surface
    // size was asked for).
    if (!surface_size_fixed()) frame->fit_surface_to_client_area();
    result = 0;
  });
  return result;
}

std::int16_t get_window_size(WindowTarget target, WindowRequest& out) {
  const std::shared_ptr<Surface> surface = main_surface();
  if (!surface) return -1;
  if (!context().frame_exists) {
    if (target != WindowTarget::main) return -1;
    std::lock_guard lock(surface->mutex);
    out = {context().main_state, 0, 0, static_cast<std::int16_t>(surface->height()),
           static_cast<std::int16_t>(surface->width())};
    return 0;
  }
  std::int16_t result = -1;
  run_on_gui_thread([&] {
    FrameWindow* frame = frame_state().frame;
    if (frame == nullptr) return;
    if (target == WindowTarget::main) {
      const QSize visible = frame->scroll_area()->viewport()->size();
      out = {context().main_state, 0, 0, static_cast<std::int16_t>(visible.height()),
             static_cast<std::int16_t>(visible.width())};
    } else {
      const QRect geometry = frame->geometry();
      const std::int16_t state = frame->isMinimized() ? 1 : frame->isMaximized() ? 2 : 4;
      out = {state, static_cast<std::int16_t>(geometry.x()),
             static_cast<std::int16_t>(geometry.y()), static_cast<std::int16_t>(geometry.height()),
             static_cast<std::int16_t>(geometry.width())};
    }
    result = 0;
  });
  return result;
}

std::int16_t toggle_status_bar() {
  if (!main_surface()) return -1;
  if (!context().frame_exists) return 0;  // an offscreen main window has no status bar
  run_on_gui_thread([] {
    if (FrameWindow* frame = frame_state().frame) {
      frame->statusBar()->setHidden(!frame->statusBar()->isHidden());
    }
  });
  return 0;
}

// ---- Messages and the end of the program ------------------------------------------------------

void show_message(std::string_view title, std::string_view text) {
  const QString title_text =
      QString::fromLocal8Bit(title.data(), static_cast<qsizetype>(title.size()));
  const QString body = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  if (!context().frame_exists) {  // batch runs and tests: no window to show it in
    std::fprintf(stderr, "%s: %s\n", qPrintable(title_text), qPrintable(body));
    return;
  }
  run_on_gui_thread([&] {
    QMessageBox box(QMessageBox::Warning, title_text, body, QMessageBox::Ok, frame_state().frame);
    box.exec();
    if (FrameWindow* frame = frame_state().frame) frame->activateWindow();
  });
}

void set_document_title(std::string_view document) {
  const QString text =
      QString::fromLocal8Bit(document.data(), static_cast<qsizetype>(document.size()));
  if (!context().frame_exists) return;
  const auto apply = [text] {
    FrameState& state = frame_state();
    if (state.frame == nullptr) return;
    state.frame->setWindowTitle(text.isEmpty() ? state.caption : state.caption + " - " + text);
  };
  if (on_gui_thread()) {
    apply();
  } else if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, apply, Qt::QueuedConnection);
  }
}

SaveChoice ask_to_save(std::string_view title, std::string_view text) {
  SaveChoice choice = SaveChoice::cancel;
  if (!context().frame_exists) return choice;
  const QString title_text =
      QString::fromLocal8Bit(title.data(), static_cast<qsizetype>(title.size()));
  const QString body = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  run_on_gui_thread([&] {
    QMessageBox box(QMessageBox::Question, title_text, body,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    frame_state().frame);
    box.button(QMessageBox::Save)->setText("&Save");
    box.button(QMessageBox::Discard)->setText("&Discard");
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    if (answer == QMessageBox::Save) choice = SaveChoice::save;
    if (answer == QMessageBox::Discard) choice = SaveChoice::discard;
    if (FrameWindow* frame = frame_state().frame) frame->activateWindow();
  });
  return choice;
}

void set_surface_resized_handler(std::function<void()> handler) {
  run_on_gui_thread([&] { frame_state().surface_resized = std::move(handler); });
}

void set_close_query(std::function<bool()> query) {
  run_on_gui_thread([&] { frame_state().close_query = std::move(query); });
}

void end_program(int exit_code) {
  QCoreApplication* app = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(app) == nullptr) return;
  const auto ask = [exit_code] {
    FrameState& state = frame_state();
    if (state.frame == nullptr || state.end_query_asked) return;
    state.end_query_asked = true;
    QMessageBox box(QMessageBox::Warning, state.caption,
                    QString("Program Terminated with exit code %1\nExit Window?").arg(exit_code),
                    QMessageBox::Yes | QMessageBox::No, state.frame);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes) {
      close_frame_window();
    } else if (state.frame != nullptr) {
      state.frame->activateWindow();
    }
  };
  if (on_gui_thread()) {
    ask();
  } else {
    QMetaObject::invokeMethod(app, ask, Qt::QueuedConnection);
  }
}

void close_frame_window() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  context().closing = true;
  wake_key_waiters();
  const auto close = [] {
    if (FrameWindow* frame = frame_state().frame) frame->close();
    QCoreApplication::quit();
  };
  if (on_gui_thread()) {
    close();
  } else {
    QMetaObject::invokeMethod(app, close, Qt::QueuedConnection);
  }
}

// ---- Application entry -------------------------------------------------------------------------

struct GuiApplication::State {
  explicit State(int& argc, char** argv) : application(argc, argv) {}
  QApplication application;
};

GuiApplication::GuiApplication(int& argc, char** argv) {
  prepare_runtime_directory();
  state_ = std::make_unique<State>(argc, argv);
  QThread::currentThread()->setPriority(QThread::HighPriority);
}

GuiApplication::~GuiApplication() = default;

int GuiApplication::run(const ApplicationOptions& options, const std::function<bool()>& build_menu,
                        std::function<void(std::stop_token)> program_main,
                        const std::function<void()>& at_close) {
  if (!create_frame_window(options)) return 1;
  if (!build_menu || !build_menu()) {
    QMessageBox::critical(nullptr, frame_state().caption,
                          "Initialisation error: the menu bar could not be built.");
    destroy_frame_window();
    return 1;
  }
  show_frame_window();
  // The program's main thread: the start-up sequence, then the end-of-program query should it
  // return before the program is closed.
  std::jthread program([main = std::move(program_main)](std::stop_token stop) {
    if (main) main(stop);
    if (!stop.stop_requested()) end_program(0);
  });
  const int code = QApplication::exec();
  context().closing = true;
  wake_key_waiters();
  if (at_close) at_close();
  program.request_stop();
  program.join();
  destroy_frame_window();
  return code;
}

int run_application(int& argc, char** argv, const ApplicationOptions& options,
                    const std::function<bool()>& build_menu,
                    std::function<void(std::stop_token)> program_main,
                    const std::function<void()>& at_close) {
  GuiApplication application(argc, argv);
  return application.run(options, build_menu, std::move(program_main), at_close);
}

}  // namespace kt::display
