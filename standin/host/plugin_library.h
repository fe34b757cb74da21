// A loaded plug-in library as the host sees it: its four exports, and its class descriptors
// reached by slot position. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/filter.h"

namespace zavolhost {

// Positions of the class descriptor's operations in its table.
enum DescriptorSlot : std::size_t {
  kSlotIsPublicClass = 0,
  kSlotCreateInstance = 1,
  kSlotInternalClassName = 4,
  kSlotSuperClassCode = 5,
  kSlotClassCode = 6,
  kSlotCategoryName = 7,
};

constexpr uint32_t kImageFilterSuperClass = 0x0E00;

class PluginLibrary {
 public:
  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  ~PluginLibrary();

  // False with a one-line reason when the file cannot be loaded or lacks an export.
  bool Load(const std::string& path, std::string* error);

  const char* Description() const { return description_(); }
  int NumberClasses() const { return numberClasses_(); }
  ClassDesc* Descriptor(int index) const { return classDesc_(index); }
  unsigned long Version() const { return version_(); }

  // The first class whose super class is the image filter's, or null.
  ClassDesc* FindFilterClass() const;
  // A new filter of that class through CreateInstance, or null.
  static ImageFilter* CreateFilter(ClassDesc* descriptor);

 private:
  HMODULE module_ = nullptr;
  const char* (*description_)() = nullptr;
  int (*numberClasses_)() = nullptr;
  ClassDesc* (*classDesc_)(int) = nullptr;
  unsigned long (*version_)() = nullptr;
};

}  // namespace zavolhost
