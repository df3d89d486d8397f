// The command line of quillrank-batch: [-e ENGINES] [-o FILE] [--csv] [FILE|-].
#pragma once

#include <array>
#include <string>
#include <variant>
#include <vector>

namespace quillrank {

struct BatchOptions {
  std::array<bool, 4> engines{true, true, false, false};  // Baidu, Google, Sogou, Soso
  std::string output;                                     // empty: standard output
  std::string input = "-";                                // "-": standard input
  bool csv = false;
};

inline constexpr const char* kBatchUsage =
    "usage: quillrank-batch [-e baidu,google,sogou,soso] [-o FILE] [--csv] [FILE|-]";

// The options, or a one-line message saying what is wrong with the arguments.
std::variant<BatchOptions, std::string> parse_batch_options(const std::vector<std::string>& args);

}  // namespace quillrank
