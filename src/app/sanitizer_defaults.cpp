// AddressSanitizer and LeakSanitizer settings for the programs and tests that run QtWebEngine,
// built in only when the build is sanitized. They add to ASAN_OPTIONS and LSAN_OPTIONS, which
// are read after them.
//
// QtWebEngine's Chromium deletes some objects through a base class of another size, which
// AddressSanitizer reports as new-delete-type-mismatch; that check is off here (the core's tests
// keep it). The leak suppressions cover allocations that Qt, fontconfig and Chromium make once
// per process and never free (Chromium renders the page in this process, so its renderer's ICU
// and HarfBuzz tables count among them); they name those libraries only, so leaks in
// Quillrank's own code are still reported.

extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }

// The suppressions' use is not worth a report on standard error, which tests of the programs
// read.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6WebEngineCore.so\n"
         "leak:libfontconfig.so\n"
         "leak:libicuuc.so\n"
         "leak:libharfbuzz.so\n";
}
