// Loading a plug-in library and reaching its descriptors. Windows only.
#include "standin/host/plugin_library.h"

#include "standin/host/slots.h"

namespace zavolhost {
namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* function, std::string* error) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    *error = std::string("the library has no export ") + name;
    return false;
  }
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

PluginLibrary::~PluginLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  module_ = LoadLibraryA(path.c_str());
  if (module_ == nullptr) {
    *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return Resolve(module_, "LibDescription", &description_, error) &&
         Resolve(module_, "LibNumberClasses", &numberClasses_, error) &&
         Resolve(module_, "LibClassDesc", &classDesc_, error) &&
         Resolve(module_, "LibVersion", &version_, error);
}

ClassDesc* PluginLibrary::FindFilterClass() const {
  const int count = NumberClasses();
  for (int i = 0; i < count; ++i) {
    ClassDesc* descriptor = Descriptor(i);
    if (descriptor != nullptr &&
        CallSlot<uint32_t>(descriptor, kSlotSuperClassCode) == kImageFilterSuperClass) {
      return descriptor;
    }
  }
  return nullptr;
}

ImageFilter* PluginLibrary::CreateFilter(ClassDesc* descriptor) {
  return static_cast<ImageFilter*>(CallSlot<void*>(descriptor, kSlotCreateInstance, 0));
}

}  // namespace zavolhost
