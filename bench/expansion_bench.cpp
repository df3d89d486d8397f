// The site expansion's hot paths at the sizes they must handle: UTF-8 to GBK on a 1 MiB page
// beside a bare iconv call on the same bytes, the meta-tag reader on 2,000 tags, the entry
// collection and the expansion of a box of 1,000 and 10,000 entries, the word split at its
// limits; the removal loops beside their step-by-step statements, which remove copies from the
// whole text per pass; and hostile pages.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

#include "../tests/support/expansion_reference.h"
#include "net/page_charset.h"
#include "net/site_expansion.h"

namespace quillrank {
namespace {

// 1 MiB of UTF-8, half Chinese and half ASCII markup, much like a Chinese home page.
const ByteBuffer& utf8_page() {
  static const ByteBuffer page = [] {
    const std::string chunk =
        "<div class=\"news\"><a href=\"/n/1.html\">\xE4\xB8\xAD\xE6\x96\x87\xE6\x90\x9C\xE7\xB4"
        "\xA2\xE5\xBC\x95\xE6\x93\x8E\xE6\x8E\x92\xE5\x90\x8D</a>\xE7\xAC\xAC\xE4\xB8\x80"
        "\xE9\xA1\xB5 news</div>\n";
    std::string text;
    while (text.size() + chunk.size() <= (1u << 20)) text += chunk;
    text.append((1u << 20) - text.size(), 'x');
    return ByteBuffer{text};
  }();
  return page;
}

void BM_Utf8ToGbk(benchmark::State& state) {
  const ByteBuffer& page = utf8_page();
  for (auto _ : state) benchmark::DoNotOptimize(utf8_to_gbk(page));
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_Utf8ToGbk)->Unit(benchmark::kMicrosecond);

// One iconv call into a buffer made once: the floor for any UTF-8 to GBK conversion here.
void BM_BareIconv(benchmark::State& state) {
  const ByteBuffer& page = utf8_page();
  const iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string out(page.size() + 16, '\0');
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(page.bytes.data());
    std::size_t src_left = page.size();
    char* dst = out.data();
    std::size_t dst_left = out.size();
    benchmark::DoNotOptimize(iconv(cd, &src, &src_left, &dst, &dst_left));
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_BareIconv)->Unit(benchmark::kMicrosecond);

// 2,000 distinct meta tags, then the declaration.
const std::string& tag_page() {
  static const std::string page = [] {
    std::string text = "<html><head>";
    for (int i = 0; i < 2000; ++i) {
      text += "<meta name=\"item" + std::to_string(i) + "\" content=\"value " + std::to_string(i) +
              "\">\n";
    }
    return text + "<meta charset=\"gb2312\"></head><body></body></html>";
  }();
  return page;
}

void BM_ReadMetaValue2000Tags(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(read_meta_value(tag_page(), "charset", "charset=", 9));
}
BENCHMARK(BM_ReadMetaValue2000Tags)->Unit(benchmark::kMillisecond);

void BM_ReadMetaValue2000TagsStepByStep(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(reference::read_meta_value(tag_page(), "charset", "charset=", 9));
  }
}
BENCHMARK(BM_ReadMetaValue2000TagsStepByStep)->Unit(benchmark::kMillisecond);

// A hostile home page: a long tag start that never closes, then thousands of distinct meta
// tags, so that every removal joins the long start with the next tag.
void BM_ReadMetaValueHostilePage(benchmark::State& state) {
  std::string page = "<b" + std::string(64 << 10, 'a');
  for (int i = 0; i < 50000; ++i) page += "<meta k" + std::to_string(i) + ">";
  for (auto _ : state) benchmark::DoNotOptimize(read_meta_value(page, "keywords", "content=", 10));
}
BENCHMARK(BM_ReadMetaValueHostilePage)->Unit(benchmark::kMillisecond);

// `count` distinct entries, each followed by an ordinary line.
std::string entry_box(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "[http://www.site" + std::to_string(i) + ".example]\r\nwww.other.example|seo\r\n";
  }
  return text;
}

const std::string& entry_box() {
  static const std::string box = entry_box(1000);
  return box;
}

void BM_CollectSegments1000Entries(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(collect_segments(entry_box(), '[', ']'));
}
BENCHMARK(BM_CollectSegments1000Entries)->Unit(benchmark::kMillisecond);

void BM_CollectSegments1000EntriesStepByStep(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(reference::collect_segments(entry_box(), "[", "]"));
}
BENCHMARK(BM_CollectSegments1000EntriesStepByStep)->Unit(benchmark::kMillisecond);

// Every home page the same small GBK page of seven words; no network.
FetchedPage small_home(std::string_view, std::stop_token) {
  FetchedPage page;
  page.body.bytes =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
      "<title>\xD6\xD0\xCE\xC4_\xCB\xD1\xCB\xF7-Site</title><meta name=\"keywords\" "
      "content=\"seo tools,rank check,\xC5\xC5\xC3\xFB,keyword\"></head></html>";
  return page;
}

void BM_ExpandSiteEntries(benchmark::State& state) {
  const std::string box = entry_box(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(expand_site_entries(box, small_home));
}
BENCHMARK(BM_ExpandSiteEntries)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ExpandSiteEntries1000EntriesStepByStep(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(reference::expand_site_entries(entry_box(), small_home));
  }
}
BENCHMARK(BM_ExpandSiteEntries1000EntriesStepByStep)->Unit(benchmark::kMillisecond);

// A keywords value of 10,000 distinct words.
// The largest word lists an expansion asks for: 1,000 distinct words in 64 KiB of keywords, and
// a hostile title whose long middle every removal passes again.
std::string keyword_list(int words, std::size_t filler) {
  std::string text;
  for (int i = 0; i < words; ++i) text += "keyword" + std::to_string(i) + ",";
  text += std::string(filler, 'x') + ",";
  for (int i = 0; i < words; ++i) text += "keyword" + std::to_string(i) + ",";
  return text;
}

void BM_SiteWords(benchmark::State& state) {
  const std::string keywords =
      keyword_list(kMaxSiteWords, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(site_words("Site - Title", keywords, kMaxSiteWords));
}
BENCHMARK(BM_SiteWords)->ArgName("filler")->Arg(0)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillrank
