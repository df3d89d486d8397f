// The command-line programs of a build without the desktop libraries: no browser, so engines
// whose pages it would render fail saying so.
#include "app/program_browser.h"

namespace quillrank {

std::unique_ptr<ProgramBrowser> start_program_browser() { return nullptr; }

}  // namespace quillrank
