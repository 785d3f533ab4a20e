// The panel of a pulse train, between the two spatial panels: the depth each pulse removed
// against the pulse number, growing pulse by pulse, and which pulse is under way ("Pulse 3 of
// 10"). The depth axis starts at one and a half times the first pulse's depth and doubles when a
// pulse outgrows it (every point is then drawn again); the pulse axis runs from 1 to N.
#pragma once

#include <string>
#include <vector>

#include "display/drawing_context.h"
#include "graphics/page_conventions.h"

namespace kt {

class PulsePanel {
 public:
  // The page is read at every call; it must outlive the panel.
  explicit PulsePanel(const PageGeometry& page) : page_(page) {}

  // A train of `pulses` pulses begins: the empty panel.
  void start(int pulses);
  // Pulse `pulse` is under way.
  void pulse_started(int pulse);
  // Pulse `pulse` removed `depth_nm`.
  void pulse_done(int pulse, double depth_nm);
  // Draws the panel again for the page as it is now; nothing when no train has drawn it.
  void relayout();

  bool shown() const { return pulses_ > 0; }
  int current_pulse() const { return current_; }
  float depth_top() const { return top_; }
  // "Pulse K of N".
  std::string caption() const;

 private:
  void draw_all();
  void draw_pulse_caption();
  void draw_point(std::size_t index);

  const PageGeometry& page_;
  int pulses_ = 0;
  int current_ = 0;
  float top_ = 0.0f;  // 0 until the first pulse's depth is known
  std::vector<double> depths_;
  NumberField label_;
  FontField font_;
  display::DrawingContext pen_;
};

}  // namespace kt
