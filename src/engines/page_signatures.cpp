#include "engines/page_signatures.h"

namespace quillrank {

const PageSignatures& signatures_for(const EngineProfile& profile) {
  if (profile.column == kBaidu.column) return kBaiduSignatures;
  if (profile.column == kGoogle.column) return kGoogleSignatures;
  return kSogouSignatures;
}

}  // namespace quillrank
