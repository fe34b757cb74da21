// The shell's code linked straight into a test program, where the allocator can be watched and
// the entry routine called by hand: what the host cannot see through the DLL. Windows only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "shell/exports.h"
#include "shell/filter.h"
#include "standin/host/slots.h"

namespace {

// The nothrow allocation the descriptor uses, and every release, observed.
int nothrowAllocations = 0;
std::size_t lastNothrowSize = 0;
bool failNextNothrow = false;
const void* watched = nullptr;
int watchedReleases = 0;

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++nothrowAllocations;
  lastNothrowSize = size;
  if (failNextNothrow) {
    failNextNothrow = false;
    return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* p) noexcept {
  if (p != nullptr && p == watched) ++watchedReleases;
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using zavolhost::CallSlot;

void* Create() { return CallSlot<void*>(LibClassDesc(0), 1, 0); }

TEST(PluginShell, CreateInstanceAllocatesOneFilterWithoutThrowing) {
  const int before = nothrowAllocations;
  void* filter = Create();
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(nothrowAllocations, before + 1);
  EXPECT_EQ(lastNothrowSize, sizeof(StereogramFilter));
  CallSlot<void*>(filter, 0, 1u);
}

TEST(PluginShell, CreateInstanceGivesNullWhenMemoryIsExhausted) {
  failNextNothrow = true;
  EXPECT_EQ(Create(), nullptr);
  EXPECT_FALSE(failNextNothrow) << "the failing allocation was the descriptor's";
}

TEST(PluginShell, DestroyFilterWithBitZeroFreesTheObjectOnce) {
  void* filter = Create();
  ASSERT_NE(filter, nullptr);
  watched = filter;
  watchedReleases = 0;
  EXPECT_EQ(CallSlot<void*>(filter, 0, 1u), filter);
  EXPECT_EQ(watchedReleases, 1);
  watched = nullptr;
}

TEST(PluginShell, DestroyFilterWithoutBitZeroOnlyDestroys) {
  void* filter = Create();
  ASSERT_NE(filter, nullptr);
  watched = filter;
  watchedReleases = 0;
  EXPECT_EQ(CallSlot<void*>(filter, 0, 0u), filter);
  EXPECT_EQ(watchedReleases, 0);
  ::operator delete(filter);  // the memory stayed the caller's
  EXPECT_EQ(watchedReleases, 1);
  watched = nullptr;
}

TEST(PluginShell, EntryRoutineInitialisesControlsOnceAndAlwaysTakesTheHandle) {
  HINSTANCE self = GetModuleHandleA(nullptr);
  HINSTANCE other = GetModuleHandleA("kernel32.dll");
  ASSERT_EQ(ControlsInitialised, 0) << "nothing has run the entry routine yet";
  EXPECT_EQ(DllMain(self, DLL_PROCESS_ATTACH, nullptr), TRUE);
  EXPECT_EQ(ModuleInstance, self);
  EXPECT_EQ(ControlsInitialised, 1);
  const DWORD reasons[] = {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH};
  for (DWORD reason : reasons) {
    EXPECT_EQ(DllMain(other, reason, nullptr), TRUE) << "reason " << reason;
    EXPECT_EQ(ModuleInstance, other);
    EXPECT_EQ(ControlsInitialised, 1);
  }
  ModuleInstance = self;
}

// This program carries no dialog templates, so the dialogs cannot be created; the filter passes
// the dialog result through unchanged.
TEST(PluginShell, DialogsThatCannotBeCreatedReportMinusOne) {
  ModuleInstance = GetModuleHandleA(nullptr);
  void* filter = Create();
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(CallSlot<int>(filter, 6, static_cast<HWND>(nullptr)), -1);
  EXPECT_EQ(CallSlot<int>(filter, 7, static_cast<HWND>(nullptr)), -1);
  CallSlot<void*>(filter, 0, 1u);
}

TEST(PluginShell, LibVersionMatchesTheFilterVersion) {
  void* filter = Create();
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(LibVersion(), static_cast<unsigned long>(CallSlot<unsigned>(filter, 4)));
  CallSlot<void*>(filter, 0, 1u);
}

}  // namespace
