// The class descriptor through which the host creates the filter, and the four exports by which
// it finds the descriptor. Windows only; knows the filter object only by its constructor.
#include <new>

#include "host/filter.h"
#include "shell/exports.h"
#include "shell/filter.h"

namespace {

constexpr uint32_t kImageFilterSuperClass = 0x0E00;
constexpr ClassCodeValue kStereogramClassCode = {0x79505B18, 0x1988198B};

class StereogramClassDesc final : public ClassDesc {
 public:
  int IsPublicClass() override { return 1; }

  // The host's argument says whether a file is being loaded; the filter is the same either way.
  void* CreateInstance(int /*loading*/) override {
    ImageFilter* filter = new (std::nothrow) StereogramFilter;
    return filter;
  }

  const char* InternalClassName() override { return "Zavol"; }
  uint32_t SuperClassCode() override { return kImageFilterSuperClass; }

  ClassCodeValue* ClassCode(ClassCodeValue* result) override {
    *result = kStereogramClassCode;
    return result;
  }

  const char* CategoryName() override { return "Image Filter"; }
};

// Built by the runtime before the entry routine first runs; never destroyed explicitly.
StereogramClassDesc stereogramClassDesc;

}  // namespace

extern "C" const char* LibDescription() {
  return "Random-dot autostereograms from rendered depth, by the zavol authors (1997)";
}

extern "C" int LibNumberClasses() { return 1; }

extern "C" ClassDesc* LibClassDesc(int index) {
  return index == 0 ? &stereogramClassDesc : nullptr;
}

extern "C" unsigned long LibVersion() { return kFilterVersion; }
