// zavol.dlf as the host meets it: loaded with LoadLibrary, reached through its four exports and
// by slot position in the descriptor's and the filter's tables, rendering into stand-in host
// bitmaps with a progress window that records every message. Windows only.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "standin/debugcapture.h"
#include "standin/hostbitmap.h"
#include "tests/golden_cross_host.h"
#include "tests/plugin_scenes.h"
#include "tests/plugin_support.h"

namespace zavoltest {
namespace {

using zavolhost::CallSlot;

const uint8_t kDefaultBlock[::kSettingsSize] = {
    0xcd, 0xcc, 0xcc, 0x3e, 0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x80, 0x3f, 0xe9, 0x03,
    0x00, 0x00, 0x96, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7a, 0x44,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0xff, 0x03,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};

const zavol::Pixel64 kUntouched{11, 22, 33, 44};

std::string MinzLine(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "\nminz=%f", value);
  return text;
}

bool SamePixel(const zavol::Pixel64& a, const zavol::Pixel64& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// First differing pixel as "x,y", or "" when the frames are equal.
std::string FirstDifference(const std::vector<zavol::Pixel64>& actual,
                            const std::vector<zavol::Pixel64>& expected, int width) {
  if (actual.size() != expected.size()) return "sizes differ";
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (!SamePixel(actual[i], expected[i])) {
      return std::to_string(i % width) + "," + std::to_string(i / width);
    }
  }
  return "";
}

class PluginDll : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin_.Loaded()) << "zavol.dlf not found or without exports in " << BinDir();
  }

  void* NewFilter() {
    void* filter = plugin_.CreateFilter();
    EXPECT_NE(filter, nullptr);
    return filter;
  }

  PluginModule plugin_;
};

TEST_F(PluginDll, ExportsAnswerAsTheHostExpects) {
  EXPECT_EQ(plugin_.numberClasses(), 1);
  EXPECT_EQ(plugin_.version(), 100ul);
  ClassDesc* first = plugin_.classDesc(0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(plugin_.classDesc(0), first);
  EXPECT_EQ(plugin_.classDesc(1), nullptr);
  EXPECT_EQ(plugin_.classDesc(-1), nullptr);
  const std::string description = plugin_.description();
  EXPECT_NE(description.find("stereogram"), std::string::npos) << description;
  EXPECT_NE(description.find("the zavol authors"), std::string::npos) << description;
  EXPECT_NE(description.find("1997"), std::string::npos) << description;
  EXPECT_EQ(description.find('\n'), std::string::npos) << "one line";
  EXPECT_EQ(plugin_.description(), plugin_.description()) << "a static text";
}

struct WordSlot {
  std::size_t slot;
  bool takesWord;
  intptr_t expected;
};

TEST_F(PluginDll, DescriptorDefaultSlotsKeepTheirResults) {
  void* d = plugin_.classDesc(0);
  const WordSlot slots[] = {{2, true, 0}, {3, true, 0}, {8, true, 1}, {9, false, 0},
                            {12, false, 0}, {13, true, 0}, {14, true, 0}};
  for (const WordSlot& s : slots) {
    const intptr_t result = s.takesWord ? CallSlot<intptr_t>(d, s.slot, intptr_t{7})
                                        : CallSlot<intptr_t>(d, s.slot);
    EXPECT_EQ(result, s.expected) << "slot " << s.slot;
  }
  // Slots 10 and 11 give nothing back; calling them must leave the descriptor working.
  CallSlot<void>(d, 10, intptr_t{7});
  CallSlot<void>(d, 11, intptr_t{7});
  EXPECT_EQ(CallSlot<int>(d, 0), 1);
}

TEST_F(PluginDll, DescriptorOwnSlotsIdentifyTheFilterClass) {
  void* d = plugin_.classDesc(0);
  EXPECT_EQ(CallSlot<int>(d, 0), 1);
  EXPECT_STREQ(CallSlot<const char*>(d, 4), "Zavol");
  EXPECT_EQ(CallSlot<const char*>(d, 4), CallSlot<const char*>(d, 4)) << "a static text";
  EXPECT_EQ(CallSlot<uint32_t>(d, 5), 0x0E00u);
  ClassCodeValue code{0xDEADBEEF, 0xDEADBEEF};
  ClassCodeValue* returned = CallSlot<ClassCodeValue*>(d, 6, &code);
  EXPECT_EQ(returned, &code) << "the result pointer comes back";
  EXPECT_EQ(code.first, 0x79505B18u);
  EXPECT_EQ(code.second, 0x1988198Bu);
  EXPECT_STREQ(CallSlot<const char*>(d, 7), "Image Filter");
}

TEST_F(PluginDll, CreateInstanceGivesIndependentFilters) {
  void* d = plugin_.classDesc(0);
  void* a = CallSlot<void*>(d, 1, 0);
  void* b = CallSlot<void*>(d, 1, 1);  // the loading flag makes no difference
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  StereogramSettings changed = DefaultSettings();
  changed.CustomDpi = 600;
  EXPECT_EQ(Slot<int>(a, kSlotLoadSettings, static_cast<const void*>(&changed)), 1);
  uint8_t block[::kSettingsSize];
  Slot<int>(b, kSlotSaveSettings, static_cast<void*>(block));
  EXPECT_EQ(0, std::memcmp(block, kDefaultBlock, ::kSettingsSize)) << "b kept its own record";
  EXPECT_EQ(Slot<void*>(a, kSlotDestroyFilter, 1u), a);
  EXPECT_EQ(Slot<void*>(b, kSlotDestroyFilter, 1u), b);
}

TEST_F(PluginDll, FilterIdentitySlots) {
  void* f = NewFilter();
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(Slot<const char*>(f, kSlotDescriptionText), "ZAVOL Generator");
  const std::string author = Slot<const char*>(f, kSlotAuthorText);
  const std::string copyright = Slot<const char*>(f, kSlotCopyrightText);
  EXPECT_NE(author.find("the zavol authors"), std::string::npos) << author;
  EXPECT_NE(copyright.find("1997"), std::string::npos) << copyright;
  EXPECT_NE(copyright.find("the zavol authors"), std::string::npos) << copyright;
  EXPECT_EQ(Slot<const char*>(f, kSlotAuthorText), Slot<const char*>(f, kSlotAuthorText));
  EXPECT_EQ(Slot<unsigned>(f, kSlotVersionNumber), 100u);
  EXPECT_EQ(Slot<unsigned>(f, kSlotCapabilityFlags), 14u);
  EXPECT_EQ(Slot<unsigned>(f, kSlotSettingsSize), 56u);
  EXPECT_EQ(Slot<int>(f, kSlotHostYesQuery), 1);
  Slot<void*>(f, kSlotDestroyFilter, 1u);
}

// The inherited operations answer from their positions with the stand-in host's behaviour; a
// shifted table would land these calls on the filter's own operations.
TEST_F(PluginDll, InheritedSlotsSitWhereTheHostCallsThem) {
  void* f = NewFilter();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Slot<void*>(f, kSlotMax), nullptr);
  EXPECT_EQ(Slot<int>(f, kSlotLerpFloat, 0, 100, 0.25f), 25);
  EXPECT_EQ(Slot<int>(f, kSlotLerpInt, 0, 255, 255), 255);
  EXPECT_EQ(Slot<int>(f, kSlotCreatePreview, static_cast<HWND>(nullptr), static_cast<Bitmap**>(nullptr),
                      0, 0, 0, 1.0f, static_cast<Bitmap**>(nullptr), 0ul),
            0);
  // The setters fill the four base words in the host's order: source, mask, pattern, info.
  Bitmap* words[4] = {reinterpret_cast<Bitmap*>(0x1000), reinterpret_cast<Bitmap*>(0x2000),
                      reinterpret_cast<Bitmap*>(0x3000), reinterpret_cast<Bitmap*>(0x4000)};
  Slot<void>(f, kSlotSetSource, words[0]);
  Slot<void>(f, kSlotSetMask, words[1]);
  Slot<void>(f, kSlotSetForeground, words[2]);
  Slot<void>(f, kSlotSetFilterInfo, reinterpret_cast<ImageFilterInfo*>(words[3]));
  void** object = static_cast<void**>(f);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(object[1 + i], words[i]) << "base word " << i;
  Slot<void>(f, kSlotSetSource, static_cast<Bitmap*>(nullptr));
  Slot<void*>(f, kSlotDestroyFilter, 1u);
}

TEST_F(PluginDll, SettingsTravelAsTheKnownBlock) {
  void* first = NewFilter();
  void* second = NewFilter();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  uint8_t block[::kSettingsSize + 8];
  std::memset(block, 0xA5, sizeof block);
  EXPECT_EQ(Slot<int>(first, kSlotSaveSettings, static_cast<void*>(block)), 1);
  EXPECT_EQ(0, std::memcmp(block, kDefaultBlock, ::kSettingsSize));
  for (std::size_t i = ::kSettingsSize; i < sizeof block; ++i) EXPECT_EQ(block[i], 0xA5);

  // A block from elsewhere, damaged values included, comes back byte for byte.
  uint8_t foreign[::kSettingsSize];
  for (std::size_t i = 0; i < ::kSettingsSize; ++i) foreign[i] = static_cast<uint8_t>(i * 37 + 5);
  EXPECT_EQ(Slot<int>(first, kSlotLoadSettings, static_cast<const void*>(foreign)), 1);
  uint8_t saved[::kSettingsSize];
  Slot<int>(first, kSlotSaveSettings, static_cast<void*>(saved));
  EXPECT_EQ(0, std::memcmp(saved, foreign, ::kSettingsSize));
  EXPECT_EQ(Slot<int>(second, kSlotLoadSettings, static_cast<const void*>(saved)), 1);
  uint8_t copied[::kSettingsSize];
  Slot<int>(second, kSlotSaveSettings, static_cast<void*>(copied));
  EXPECT_EQ(0, std::memcmp(copied, foreign, ::kSettingsSize));
  Slot<void*>(first, kSlotDestroyFilter, 1u);
  Slot<void*>(second, kSlotDestroyFilter, 1u);
}

TEST_F(PluginDll, DestroyFilterReturnsTheObject) {
  void* f = NewFilter();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Slot<void*>(f, kSlotDestroyFilter, 1u), f);
  // Without bit 0 only the destructor runs; the memory is still the caller's to release.
  void* kept = NewFilter();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(Slot<void*>(kept, kSlotDestroyFilter, 0u), kept);
  ::operator delete(kept);
}

// Rendering ---------------------------------------------------------------------------------

struct Frame {
  int result = -1;
  std::vector<zavol::Pixel64> pixels;
  std::string debug;
};

class PluginRender : public PluginDll {
 protected:
  // Renders depth (and a pattern, when given) through the filter's slots into a frame that
  // starts as kUntouched.
  Frame Render(const StereogramSettings& settings, int width, int height,
               const std::vector<float>& depth, HWND window,
               const std::vector<zavol::Pixel64>* pattern = nullptr, int patternWidth = 0,
               int patternHeight = 0) {
    Frame frame;
    void* filter = NewFilter();
    if (filter == nullptr) return frame;
    Slot<int>(filter, kSlotLoadSettings, static_cast<const void*>(&settings));
    Bitmap* source = MakeSourceBitmap(width, height, depth, kUntouched);
    Bitmap* patternBitmap =
        pattern != nullptr ? MakePatternBitmap(patternWidth, patternHeight, *pattern) : nullptr;
    Slot<void>(filter, kSlotSetSource, source);
    if (patternBitmap != nullptr) Slot<void>(filter, kSlotSetForeground, patternBitmap);
    ClearDebugCapture();
    frame.result = Slot<int>(filter, kSlotRenderFrame, window);
    frame.debug = DebugCapture();
    frame.pixels = BitmapPixels(source, width, height);
    EXPECT_EQ(HostBitmapGuardsIntact(source), 1) << "wrote outside the frame";
    void** object = static_cast<void**>(filter);
    EXPECT_EQ(object[1], source) << "the filter never writes the base words";
    EXPECT_EQ(object[3], patternBitmap) << "the filter never writes the base words";
    Slot<void*>(filter, kSlotDestroyFilter, 1u);
    DestroyHostBitmap(source);
    if (patternBitmap != nullptr) DestroyHostBitmap(patternBitmap);
    return frame;
  }
};

TEST_F(PluginRender, WithoutSourceReturnsZeroAndSendsNothing) {
  void* filter = NewFilter();
  ASSERT_NE(filter, nullptr);
  RecordingWindow window;
  ClearDebugCapture();
  EXPECT_EQ(Slot<int>(filter, kSlotRenderFrame, window.Handle()), 0);
  EXPECT_TRUE(window.Log().empty());
  EXPECT_STREQ(DebugCapture(), "");
  Slot<void*>(filter, kSlotDestroyFilter, 1u);
}

TEST_F(PluginRender, BitmapWithoutPixelsReturnsZeroAndSendsNothing) {
  RecordingWindow window;
  const Frame frame = Render(FixedSeedSettings(), 0, 0, {}, window.Handle());
  EXPECT_EQ(frame.result, 0);
  EXPECT_TRUE(window.Log().empty());
  EXPECT_EQ(frame.debug, "");
}

TEST_F(PluginRender, ProgressWindowGetsOnePairPerRowInOrder) {
  const int width = 29, height = 9;
  const std::vector<float> depth = AsymmetricDepth(width, height);
  RecordingWindow window;
  const Frame frame = Render(FixedSeedSettings(), width, height, depth, window.Handle());
  EXPECT_EQ(frame.result, 1);
  const std::vector<Received>& log = window.Log();
  ASSERT_EQ(log.size(), static_cast<std::size_t>(2 * height));
  for (int y = 0; y < height; ++y) {
    const Received& progress = log[2 * y];
    const Received& query = log[2 * y + 1];
    EXPECT_EQ(progress.message, 1056u) << "row " << y;
    EXPECT_EQ(progress.wParam, static_cast<WPARAM>(y));
    EXPECT_EQ(progress.lParam, static_cast<LPARAM>(height - 1));
    EXPECT_EQ(query.message, 1057u) << "row " << y;
    EXPECT_EQ(query.wParam, 0u);
    EXPECT_NE(query.lParam, 0);
    EXPECT_EQ(query.flagAtQuery, 0) << "the flag starts at 0";
  }
  // The far end of this scene is its lowest slope value, -8.
  EXPECT_EQ(frame.debug, MinzLine(-8.0));
  for (const zavol::Pixel64& p : frame.pixels) ASSERT_EQ(p.a, 65535);
}

TEST_F(PluginRender, AWindowThatIgnoresTheMessagesGetsTheWholeFrame) {
  const int width = 31, height = 7;
  const std::vector<float> depth = AsymmetricDepth(width, height);
  SilentWindow window;
  const Frame frame = Render(FixedSeedSettings(), width, height, depth, window.Handle());
  EXPECT_EQ(frame.result, 1);
  const ReferenceFrame expected = RenderReference(FixedSeedSettings(), width, height, depth,
                                                  nullptr, 0, 0, kUntouched);
  EXPECT_EQ(FirstDifference(frame.pixels, expected.pixels, width), "");
}

struct StopCase {
  const char* name;
  int stopAtRow;
  bool guide;
};

class PluginStop : public PluginRender, public ::testing::WithParamInterface<StopCase> {};

TEST_P(PluginStop, RowsFromTheStopOnStayUntouched) {
  const StopCase& c = GetParam();
  // A background depth of 0.2 keeps the guide's band narrower than this frame.
  const int width = 101, height = 20;
  StereogramSettings settings = FixedSeedSettings();
  settings.BackgroundDepth = 0.2f;
  settings.PutGuidePoints = c.guide ? 1 : 0;
  const std::vector<float> depth = AsymmetricDepth(width, height);
  RecordingWindow window(c.stopAtRow);
  const Frame frame = Render(settings, width, height, depth, window.Handle());
  EXPECT_EQ(frame.result, 0);
  EXPECT_EQ(window.Log().size(), static_cast<std::size_t>(2 * (c.stopAtRow + 1)));
  EXPECT_EQ(frame.debug, MinzLine(-8.0)) << "the debug line follows a stop too";
  const ReferenceFrame expected = RenderReference(settings, width, height, depth, nullptr, 0, 0,
                                                  kUntouched, c.stopAtRow);
  EXPECT_EQ(FirstDifference(frame.pixels, expected.pixels, width), "");
  // Independently of the engine: rows at and after the stop keep their colour outside the
  // guide's rows, and the guide shows as changed pixels in rows 5 to 15.
  int guideChanges = 0;
  for (int y = c.stopAtRow; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const zavol::Pixel64& p = frame.pixels[static_cast<std::size_t>(y) * width + x];
      const bool inGuideRows = y >= 5 && y <= 15;
      if (!c.guide || !inGuideRows) {
        ASSERT_TRUE(SamePixel(p, kUntouched)) << "pixel " << x << "," << y;
      } else if (!SamePixel(p, kUntouched)) {
        ++guideChanges;
      }
    }
  }
  if (c.guide && c.stopAtRow <= 5) {
    EXPECT_GT(guideChanges, 0) << "the guide is drawn after a stop";
  }
  for (int y = 0; y < c.stopAtRow && y < 5; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(frame.pixels[static_cast<std::size_t>(y) * width + x].a, 65535);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stops, PluginStop,
    ::testing::Values(StopCase{"BeforeTheFirstRow", 0, false}, StopCase{"AfterThreeRows", 3, false},
                      StopCase{"BeforeTheLastRow", 19, false},
                      StopCase{"BeforeTheFirstRowWithGuide", 0, true},
                      StopCase{"AfterThreeRowsWithGuide", 3, true}),
    [](const ::testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });

// The plug-in inside the stand-in host renders exactly what the engine renders with a host
// that behaves the same: same screen, same colour conversions, same pattern reads.
struct SceneCase {
  const char* name;
  int width, height;
  void (*adjust)(StereogramSettings&);
  int patternWidth, patternHeight;  // 0: no pattern
};

class PluginMatchesEngine : public PluginRender, public ::testing::WithParamInterface<SceneCase> {};

TEST_P(PluginMatchesEngine, SameFrameAndDebugLine) {
  const SceneCase& c = GetParam();
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), kHostScreenWidth);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), kHostScreenHeight);
  StereogramSettings settings = FixedSeedSettings();
  c.adjust(settings);
  const std::vector<float> depth = AsymmetricDepth(c.width, c.height);
  const std::vector<zavol::Pixel64> pattern = CoordinatePattern(c.patternWidth, c.patternHeight);
  const std::vector<zavol::Pixel64>* patternPtr = c.patternWidth > 0 ? &pattern : nullptr;
  SilentWindow window;
  const Frame frame = Render(settings, c.width, c.height, depth, window.Handle(), patternPtr,
                             c.patternWidth, c.patternHeight);
  const ReferenceFrame expected = RenderReference(settings, c.width, c.height, depth, patternPtr,
                                                  c.patternWidth, c.patternHeight, kUntouched);
  EXPECT_EQ(frame.result, expected.result);
  EXPECT_EQ(FirstDifference(frame.pixels, expected.pixels, c.width), "");
  ASSERT_TRUE(expected.debugLinePrinted);
  EXPECT_EQ(frame.debug, MinzLine(expected.debugValue));
}

void Defaults(StereogramSettings&) {}
void HsvRamp(StereogramSettings& s) {
  s.RampMode = kRampHsv;
  s.Color1 = 0x2080F0;
  s.Color2 = 0xF04010;
}
void SwappedRgb(StereogramSettings& s) {
  s.Color1 = 0xFFFFFF;
  s.Color2 = 0x102030;
}
void GhostsAndGuide(StereogramSettings& s) {
  s.PreventGhosting = 0;
  s.PutGuidePoints = 1;
  s.BackgroundDepth = 0.3f;
}
void PaperA4(StereogramSettings& s) { s.ViewingMedium = kMediumA4Paper; }
void CustomDpiFixedRange(StereogramSettings& s) {
  s.ViewingMedium = kMediumCustomDpi;
  s.CustomDpi = 40;
  s.AutoDistance = 0;
  s.NearDistance = 1.0f;
  s.FarDistance = 9.0f;
}
void Monitor21(StereogramSettings& s) { s.ViewingMedium = kMedium21InchMonitor; }
// No depth at all: every separation is 0 and the guide's squares overlap at the centre.
void ZeroBackgroundGuide(StereogramSettings& s) {
  s.BackgroundDepth = 0.0f;
  s.PutGuidePoints = 1;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, PluginMatchesEngine,
    ::testing::Values(SceneCase{"DefaultsRgb", 37, 23, Defaults, 0, 0},
                      SceneCase{"HsvRamp", 41, 13, HsvRamp, 0, 0},
                      SceneCase{"SwappedRgb", 33, 11, SwappedRgb, 0, 0},
                      SceneCase{"GhostsAndGuide", 161, 19, GhostsAndGuide, 0, 0},
                      SceneCase{"PaperA4", 45, 17, PaperA4, 0, 0},
                      SceneCase{"CustomDpiFixedRange", 39, 15, CustomDpiFixedRange, 0, 0},
                      SceneCase{"Monitor21", 35, 9, Monitor21, 0, 0},
                      SceneCase{"PatternLargerThanFrame", 37, 23, Defaults, 50, 30},
                      SceneCase{"PatternSmallerThanFrame", 37, 23, Defaults, 20, 9},
                      SceneCase{"NarrowerThanAGuideSquare", 5, 21, ZeroBackgroundGuide, 0, 0}),
    [](const ::testing::TestParamInfo<SceneCase>& param) { return std::string(param.param.name); });

TEST_F(PluginRender, PatternSuppliesTheDotsAtTheSameCoordinates) {
  // Flat background: each row is its first separation's worth of dots, repeated.
  const int width = 200, height = 3;
  const std::vector<float> depth(static_cast<std::size_t>(width) * height, -1e30f);
  const std::vector<zavol::Pixel64> pattern = CoordinatePattern(width, height);
  SilentWindow window;
  const Frame frame =
      Render(FixedSeedSettings(), width, height, depth, window.Handle(), &pattern, width, height);
  EXPECT_EQ(frame.result, 1);
  for (int y = 0; y < height; ++y) {
    const zavol::Pixel64& first = frame.pixels[static_cast<std::size_t>(y) * width];
    const zavol::Pixel64& source = pattern[static_cast<std::size_t>(y) * width];
    EXPECT_EQ(first.r, source.r) << "row " << y;
    EXPECT_EQ(first.g, source.g) << "row " << y;
    EXPECT_EQ(first.b, source.b) << "row " << y;
    EXPECT_EQ(first.a, 65535);
  }
}

TEST_F(PluginRender, FixedSeedFramesRepeat) {
  const int width = 37, height = 11;
  const std::vector<float> depth = AsymmetricDepth(width, height);
  SilentWindow window;
  const Frame first = Render(FixedSeedSettings(), width, height, depth, window.Handle());
  const Frame second = Render(FixedSeedSettings(), width, height, depth, window.Handle());
  EXPECT_EQ(FirstDifference(first.pixels, second.pixels, width), "");
}

// Dialogs open from the plug-in's own module; skipped while it carries no dialog templates.
class PluginDialogs : public PluginDll {
 protected:
  bool HasTemplate(int id) {
    return FindResourceA(plugin_.Handle(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)) != nullptr;
  }
};

WORD pressButton = 0;

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM found) {
  char name[16];
  if (GetClassNameA(window, name, sizeof name) && std::strcmp(name, "#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK PressButton(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialogWindow, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  KillTimer(nullptr, timer);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(pressButton, BN_CLICKED), 0);
}

TEST_F(PluginDialogs, AboutBoxResultPassesThrough) {
  if (!HasTemplate(101)) GTEST_SKIP() << "zavol.dlf has no about box template yet";
  void* f = NewFilter();
  ASSERT_NE(f, nullptr);
  pressButton = IDOK;
  SetTimer(nullptr, 0, 30, PressButton);
  EXPECT_EQ(Slot<int>(f, kSlotShowAboutBox, static_cast<HWND>(nullptr)), 1);
  Slot<void*>(f, kSlotDestroyFilter, 1u);
}

TEST_F(PluginDialogs, SetupDialogCancelLeavesTheSettings) {
  if (!HasTemplate(102)) GTEST_SKIP() << "zavol.dlf has no setup dialog template yet";
  void* f = NewFilter();
  ASSERT_NE(f, nullptr);
  pressButton = IDCANCEL;
  SetTimer(nullptr, 0, 30, PressButton);
  EXPECT_EQ(Slot<int>(f, kSlotShowSetupDialog, static_cast<HWND>(nullptr)), 0);
  uint8_t block[::kSettingsSize];
  Slot<int>(f, kSlotSaveSettings, static_cast<void*>(block));
  EXPECT_EQ(0, std::memcmp(block, kDefaultBlock, ::kSettingsSize));
  pressButton = IDOK;
  SetTimer(nullptr, 0, 30, PressButton);
  EXPECT_EQ(Slot<int>(f, kSlotShowSetupDialog, static_cast<HWND>(nullptr)), 1);
  Slot<void*>(f, kSlotDestroyFilter, 1u);
}

}  // namespace
}  // namespace zavoltest
