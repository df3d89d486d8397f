// The text primitives on page-sized inputs, beside glibc memmem on the same bytes.
#include <benchmark/benchmark.h>
#include <string.h>

#include <string>

#include "keywords/keyword_list.h"
#include "text/gbk_text.h"

namespace quillrank {
namespace {

// 1 MiB of mixed GBK and ASCII, much like a result page, with an ASCII marker near its end.
const std::string& mixed_page() {
  static const std::string page = [] {
    std::string text;
    const std::string chunk =
        "<div class=\"result\"><a href=\"http://example.com/\">\xD6\xD0\xCE\xC4\xCB\xD1\xCB\xF7"
        "</a>\xB0\xD9\xB6\xC8\xD2\xBB\xCF\xC2 some ASCII text \xA3\xAC\xB5\xDA\xD2\xBB</div>\r\n";
    while (text.size() < (1u << 20) - 64) text += chunk;
    text += "})\" href=\"http://shop.example/";
    return text;
  }();
  return page;
}

constexpr std::string_view kMarker = "})\" href=\"http://shop.example";

void BM_FindText(benchmark::State& state) {
  const std::string& page = mixed_page();
  const bool ignore_case = state.range(0) != 0;
  for (auto _ : state) benchmark::DoNotOptimize(find_text(page, kMarker, ignore_case));
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_FindText)->ArgName("ignore_case")->Arg(0)->Arg(1);

void BM_Memmem(benchmark::State& state) {
  const std::string& page = mixed_page();
  for (auto _ : state) {
    benchmark::DoNotOptimize(memmem(page.data(), page.size(), kMarker.data(), kMarker.size()));
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_Memmem);

void BM_ReplaceTextThroughout(benchmark::State& state) {
  const std::string& page = mixed_page();
  for (auto _ : state) benchmark::DoNotOptimize(replace_text(page, "href", "HREF", true));
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_ReplaceTextThroughout);

void BM_SplitKeywordList(benchmark::State& state) {
  std::string list;
  for (int i = 0; i < 100000; ++i) {
    list += "www.site" + std::to_string(i) + ".example|\xB9\xD8\xBC\xFC\xB4\xCA seo\r\n";
  }
  for (auto _ : state) benchmark::DoNotOptimize(split_keyword_list(list));
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_SplitKeywordList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillrank
