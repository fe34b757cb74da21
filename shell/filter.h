// The filter object the host works with: the host's ImageFilter base part followed by the
// settings record, with its operations in the slot order the host calls them by. Windows only.
#pragma once

#include <windows.h>

#include "host/filter.h"
#include "render/settings.h"

class StereogramFilter : public ImageFilter {
 public:
  StereogramFilter();

  void* DestroyFilter(unsigned flags) override;
  const char* DescriptionText() override;
  const char* AuthorText() override;
  const char* CopyrightText() override;
  unsigned VersionNumber() override;
  unsigned CapabilityFlags() override;
  int ShowAboutBox(HWND parent) override;
  int ShowSetupDialog(HWND parent) override;
  int RenderFrame(HWND progressWindow) override;
  unsigned SettingsSize() override;
  int LoadSettings(const void* source) override;
  int SaveSettings(void* destination) override;
  int HostYesQuery() override;

 private:
  ~StereogramFilter();  // only through DestroyFilter

  StereogramSettings settings_;
};

// The library's module handle, from which both dialogs are created (set by the entry routine).
extern HINSTANCE ModuleInstance;
