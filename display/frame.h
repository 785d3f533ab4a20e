// Frame window (menu bar, status bar, the main window in a scroll area) and the widget that
// shows the main window's surface. GUI thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "display/display.h"
#include "display/surface.h"

class QAction;
class QMenu;
class QScrollArea;

namespace kt::display {

// Shows the surface; repaints are requested from any thread and coalesced to screen rate.
class SurfaceWidget : public QWidget {
  Q_OBJECT
 public:
  explicit SurfaceWidget(std::shared_ptr<Surface> surface, QWidget* parent = nullptr);
  ~SurfaceWidget() override;
  // Shows another surface from now on (the main window's surface was made anew).
  void set_surface(std::shared_ptr<Surface> surface);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  std::shared_ptr<Surface> surface_;
  QTimer repaint_timer_;
  std::atomic<bool> repaint_pending_{false};
};

class FrameWindow : public QMainWindow {
  Q_OBJECT
 public:
  FrameWindow(const QString& caption, std::shared_ptr<Surface> surface);
  SurfaceWidget* surface_widget() const { return surface_widget_; }
  QScrollArea* scroll_area() const { return scroll_area_; }
  // The size the main window has inside the frame when the frame fills the available area of
  // its screen: that area less the frame's decoration, the menu bar and a shown status bar.
  QSize maximized_client_size() const;
  // Makes the main window's surface anew at the client size of the maximized frame and the
  // screen's device pixel ratio, so that the page needs no scroll bars. Nothing changes when
  // the surface has that size already.
  void fit_surface_to_client_area();
  // The same for the client area the frame has now (after the user resized it).
  void fit_surface_to_current_area();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Makes the surface anew at `client` unless it has that size and ratio; tells the resize
  // handler when it did.
  void fit_surface_to(QSize client);

  QScrollArea* scroll_area_ = nullptr;
  SurfaceWidget* surface_widget_ = nullptr;
  // Coalesces the resize events of one drag into one new surface.
  QTimer refit_timer_;
};

struct BarItem {
  QString text;
  QAction* action = nullptr;  // the command on the bar, or the popup's own action
  QMenu* popup = nullptr;
};

struct FrameState {
  QPointer<FrameWindow> frame;
  QString caption;
  std::vector<BarItem> bar;
  bool end_query_asked = false;
  std::function<bool()> close_query;      // asked before the close box closes the frame
  std::function<void()> surface_resized;  // told when the surface was made anew at a new size
};

// The frame's state (GUI thread only).
FrameState& frame_state();

}  // namespace kt::display
