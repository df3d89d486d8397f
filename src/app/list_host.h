// ListHost: a RunHost without a window, the keyword list and the ticks as plain values. The
// batch command's host, and the tests'.
#pragma once

#include "app/run_control.h"
#include "engines/engines.h"

namespace quillrank {

class ListHost : public RunHost {
 public:
  explicit ListHost(GbkText box, EngineTicks ticks = {true, true, false, false})
      : box_(std::move(box)), ticks_(ticks) {}
  GbkText box_text() override { return box_; }
  void set_box_text(std::string_view text) override { box_ = GbkText(text); }
  bool engine_ticked(int engine) override { return ticks_[engine]; }

  const GbkText& box() const { return box_; }

 protected:
  GbkText box_;
  EngineTicks ticks_;
};

}  // namespace quillrank
