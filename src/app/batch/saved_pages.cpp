#include "app/batch/saved_pages.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "engines/engine_client.h"
#include "engines/engines.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

// One field of a tab-separated line: tabs and line ends become blanks.
std::string field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

std::variant<std::unique_ptr<SavedPages>, std::string> SavedPages::open(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return "cannot make " + folder + ": " + error.message();
  std::ofstream index(folder + "/index.tsv", std::ios::binary | std::ios::trunc);
  if (!index) return "cannot write " + folder + "/index.tsv";
  index << "engine\trow\tpage\turl\tstatus\tfinal_url\tverdict\treason\tmember\n" << std::flush;
  return std::unique_ptr<SavedPages>(new SavedPages(folder, std::move(index)));
}

void SavedPages::save(std::string_view engine_key, const SeenPage& page) {
  const std::string key(engine_key);
  const std::string name =
      key + "-" + std::to_string(page.row + 1) + "-" + std::to_string(page.page) +
      (page.member.empty() ? "" : "-" + member_file_part(page.member)) + ".html";
  if (!failure().empty()) return;
  std::ofstream file(folder_ + "/" + name, std::ios::binary | std::ios::trunc);
  file << page.fetched.body.bytes;
  file.close();
  const std::string written_wrong =
      file ? std::string() : "cannot write " + folder_ + "/" + name + ": " + std::strerror(errno);
  const std::string line =
      key + "\t" + std::to_string(page.row + 1) + "\t" + std::to_string(page.page) + "\t" +
      field(std::string(page.url)) + "\t" + std::to_string(page.fetched.status) + "\t" +
      field(page.fetched.final_url) + "\t" + std::string(verdict_name(page.verdict.verdict)) +
      "\t" + field(gbk_to_utf8(page.verdict.reason)) + "\t" + field(std::string(page.member)) +
      "\n";
  MutexLock lock(mutex_);
  if (!failure_.empty()) return;
  failure_ = written_wrong;
  if (failure_.empty() && !(index_ << line << std::flush)) {
    failure_ = "cannot write " + folder_ + "/index.tsv: " + std::strerror(errno);
  }
}

std::string SavedPages::failure() const {
  MutexLock lock(mutex_);
  return failure_;
}

}  // namespace quillrank
