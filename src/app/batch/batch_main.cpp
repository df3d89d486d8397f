// quillrank-batch: ranks a keyword list on the chosen engines without a window, exactly as the
// start button does, and writes the final table as UTF-8 text.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "app/batch/batch_options.h"
#include "app/batch/batch_output.h"
#include "app/live_pages.h"
#include "app/run_control.h"
#include "keywords/keyword_file.h"

namespace quillrank {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

class BatchHost : public RunHost {
 public:
  BatchHost(GbkText text, std::array<bool, 4> engines)
      : text_(std::move(text)), engines_(engines) {}
  GbkText box_text() override { return text_; }
  void set_box_text(std::string_view text) override { text_ = GbkText(text); }
  bool engine_ticked(int engine) override { return engines_[engine]; }

 private:
  GbkText text_;
  std::array<bool, 4> engines_;
};

bool read_input(const std::string& path, ByteBuffer& bytes) {
  std::ostringstream content;
  if (path == "-") {
    content << std::cin.rdbuf();
    bytes.bytes = content.str();
    return !std::cin.bad();
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  content << file.rdbuf();
  bytes.bytes = content.str();
  return !file.bad();
}

// Rows done per engine, counted from the workers' writes of a final cell text.
class Progress {
 public:
  explicit Progress(const std::array<bool, 4>& engines) : engines_(engines) {}

  void count(const ResultTable& table, const TableChange& change) {
    if (change.kind != TableChange::Kind::cell_changed || change.column < 2) return;
    const GbkText text = table.get_cell_text(change.row, change.column);
    if (text != kQueryingText && text != kNotStartedText) ++done_[change.column - 2];
  }

  void print(int rows) const {
    std::string line = "\r";
    for (int engine = 0; engine < 4; ++engine) {
      if (!engines_[engine]) continue;
      line += std::string(kEngines[engine]->name) + " " + std::to_string(done_[engine].load()) +
              "/" + std::to_string(rows) + "  ";
    }
    std::cerr << line << std::flush;
  }

  static void clear() { std::cerr << "\r\033[K" << std::flush; }

 private:
  std::array<bool, 4> engines_;
  std::array<std::atomic<int>, 4> done_{};
};

int run(const std::vector<std::string>& args) {
  auto parsed = parse_batch_options(args);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    std::cerr << "quillrank-batch: " << *error << "\n" << kBatchUsage << "\n";
    return kExitUsage;
  }
  const BatchOptions& options = std::get<BatchOptions>(parsed);
  ByteBuffer input;
  if (!read_input(options.input, input)) {
    std::cerr << "quillrank-batch: cannot read " << options.input << ": " << std::strerror(errno)
              << "\n";
    return kExitUsage;
  }

  // Ctrl-C and SIGTERM are taken by the main thread alone, which then stops the workers.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  BatchHost host(decode_keyword_file(input), options.engines);
  ResultTable table;
  const bool show_progress = isatty(STDERR_FILENO);
  Progress progress(options.engines);
  if (show_progress) {
    table.set_observer([&](const TableChange& change) { progress.count(table, change); });
  }
  std::atomic<bool> finished{false};
  RunControl control(host, table, live_result_pages(), live_home_pages());
  control.set_run_finished([&finished] { finished = true; });
  control.start_query();

  const timespec tick{0, 100'000'000};
  while (!finished) {
    if (sigtimedwait(&signals, nullptr, &tick) > 0) {
      control.release_worker_handles();
      if (show_progress) Progress::clear();
      return kExitInterrupted;
    }
    if (show_progress) progress.print(table.row_count());
  }
  if (show_progress) Progress::clear();

  const std::string output = format_result_table(table, options.csv);
  if (options.output.empty()) {
    std::cout << output << std::flush;
    return std::cout ? 0 : 1;
  }
  std::ofstream file(options.output, std::ios::binary | std::ios::trunc);
  file << output;
  file.close();
  if (!file) {
    std::cerr << "quillrank-batch: cannot write " << options.output << ": " << std::strerror(errno)
              << "\n";
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  return quillrank::run(std::vector<std::string>(argv + 1, argv + argc));
}
