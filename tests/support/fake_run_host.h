// A RunHost without a window: the keyword list and the ticks as plain values.
#pragma once

#include <array>

#include "app/run_control.h"

namespace quillrank::testing {

class FakeRunHost : public RunHost {
 public:
  explicit FakeRunHost(GbkText box, std::array<bool, 4> ticks = {true, true, false, false})
      : box_(std::move(box)), ticks_(ticks) {}
  GbkText box_text() override { return box_; }
  void set_box_text(std::string_view text) override { box_ = GbkText(text); }
  bool engine_ticked(int engine) override { return ticks_[engine]; }

  GbkText box_;
  std::array<bool, 4> ticks_;
};

}  // namespace quillrank::testing
