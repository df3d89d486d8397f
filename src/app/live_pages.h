// The page sources of a real run: result pages and home pages from the process's PageFetcher.
#pragma once

#include "app/run_control.h"

namespace quillrank {

PageSource live_result_pages();
HomePageSource live_home_pages();

}  // namespace quillrank
