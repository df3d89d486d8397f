#include "app/live_pages.h"

#include "net/page_fetcher.h"

namespace quillrank {

PageSource live_result_pages() {
  return [](std::string_view url, std::stop_token stop) {
    FetchResult result = PageFetcher::instance().fetch(url, stop);
    return FetchedPage{std::move(result.body), result.ok};
  };
}

HomePageSource live_home_pages() {
  return [](std::string_view url, std::stop_token stop) {
    return PageFetcher::instance().fetch_page(url, stop);
  };
}

}  // namespace quillrank
