// The setup dialog of the built zavol.dlf, opened through a filter's ShowSetupDialog and driven
// from inside its modal loop: what it shows, what OK and the ways of cancelling write, the
// enabled states it keeps, and the host objects it takes and gives back. Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin/controls.h"
#include "tests/dialogs_support.h"

namespace {

using dlgtest::Checked;
using dlgtest::Click;
using dlgtest::CoreCallLog;
using dlgtest::Enabled;
using dlgtest::Filter;
using dlgtest::ModalRun;
using dlgtest::Text;
using dlgtest::Type;

constexpr int kMediumButtons[] = {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008};

std::string Hex(const StereogramSettings& settings) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&settings);
  std::string text;
  char pair[4];
  for (std::size_t i = 0; i < sizeof settings; ++i) {
    std::snprintf(pair, sizeof pair, "%02x%s", bytes[i], i % 4 == 3 ? " " : "");
    text += pair;
  }
  return text;
}

std::string Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(bits));
  return text;
}

// What an edit field shows, read back as the real the spinner holds.
float Shown(HWND dialog, int editId) { return std::strtof(Text(dialog, editId).c_str(), nullptr); }

// A block unlike the defaults in every field, every value exact in binary.
StereogramSettings Unusual() {
  StereogramSettings s;
  s.NearObjectDepth = 0.25f;
  s.FarObjectDepth = 0.75f;
  s.BackgroundDepth = 2.5f;
  s.ViewingMedium = 1006;
  s.CustomDpi = 300;
  s.AutoDistance = 0;
  s.FarDistance = 250.5f;
  s.NearDistance = 12.25f;
  s.Color1 = 0x123456;
  s.Color2 = 0xABCDEF;
  s.RampMode = 1024;
  s.PutGuidePoints = 1;
  s.RandomizeEachFrame = 0;
  s.PreventGhosting = 0;
  return s;
}

class SetupDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(plugin_.Module(), nullptr) << "zavol.dlf did not load";
    ASSERT_NE(plugin_.Descriptor(), nullptr);
    ASSERT_NE(owner_.Handle(), nullptr);
    baseline_ = LiveControlObjects();
  }
  void TearDown() override { EXPECT_EQ(LiveControlObjects(), baseline_) << "host objects leaked"; }

  ModalRun Show(const Filter& filter, const std::function<void(HWND)>& script) {
    ModalRun run = dlgtest::RunModal(
        [&] { return static_cast<INT_PTR>(filter->ShowSetupDialog(owner_.Handle())); }, script);
    EXPECT_TRUE(run.scriptRan) << "the dialog never appeared (result " << run.result << ")";
    EXPECT_FALSE(run.forcedClosed) << "the dialog did not end when told to";
    return run;
  }

  dlgtest::Plugin plugin_;
  dlgtest::OwnerWindow owner_;
  int baseline_ = 0;
};

TEST_F(SetupDialog, FreshFilterOpensWithTheDefaults) {
  Filter filter(plugin_);
  ASSERT_TRUE(filter);
  const ModalRun run = Show(filter, [](HWND d) {
    EXPECT_FLOAT_EQ(Shown(d, 1013), 1.0f) << Text(d, 1013);
    EXPECT_EQ(Shown(d, 1010), 0.4f) << Text(d, 1010);
    EXPECT_EQ(Shown(d, 1018), 1.0f) << Text(d, 1018);
    for (int id : kMediumButtons) EXPECT_EQ(Checked(d, id), id == 1001) << "medium " << id;
    EXPECT_EQ(Text(d, 1009), "150");
    EXPECT_FALSE(Enabled(d, 1009)) << "dpi field off unless the unlabelled medium is chosen";
    EXPECT_TRUE(Checked(d, 1015));
    EXPECT_EQ(Shown(d, 1016), 0.0f) << Text(d, 1016);
    EXPECT_EQ(Shown(d, 1020), 1000.0f) << Text(d, 1020);
    EXPECT_FALSE(Enabled(d, 1016));
    EXPECT_FALSE(Enabled(d, 1020));
    EXPECT_TRUE(Checked(d, 1023));
    EXPECT_FALSE(Checked(d, 1024));
    EXPECT_EQ(dlgtest::SwatchColour(d, 1025), 0x000000u);
    EXPECT_EQ(dlgtest::SwatchColour(d, 1026), 0xFFFFFFu);
    EXPECT_TRUE(Checked(d, 1028));
    EXPECT_FALSE(Checked(d, 1027));
    EXPECT_TRUE(Checked(d, 1029));
    // The host's controls are what the template names.
    EXPECT_EQ(dlgtest::ClassOf(d, 1013), "CustEdit");
    EXPECT_EQ(dlgtest::ClassOf(d, 1014), "SpinnerControl");
    EXPECT_EQ(dlgtest::ClassOf(d, 1025), "ColorSwatch");
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(run.result, 0);
}

TEST_F(SetupDialog, OpensCentredOverItsOwnerWithTheArrowCursor) {
  Filter filter(plugin_);
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  HWND owner = owner_.Handle();
  Show(filter, [&](HWND d) {
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_EQ(GetParent(d), owner);
    RECT box, under;
    GetWindowRect(d, &box);
    GetWindowRect(owner, &under);
    EXPECT_NEAR((box.left + box.right) / 2, (under.left + under.right) / 2, 1);
    EXPECT_NEAR((box.top + box.bottom) / 2, (under.top + under.bottom) / 2, 1);
    Click(d, IDCANCEL);
  });
}

struct CancelWay {
  const char* name;
  void (*end)(HWND dialog);
};

const CancelWay kCancelWays[] = {
    {"Cancel button", [](HWND d) { Click(d, IDCANCEL); }},
    {"Esc key", [](HWND d) { dlgtest::PostKey(d, 1027, VK_ESCAPE); }},
    {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {"WM_CLOSE", [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }},
    {"command 2 with a notification code", [](HWND d) {
       SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0x0700), 0);
     }},
};

// Every kind of edit, so that any write on the way out would show in the record. Starts from
// Unusual(): the distance fields are enabled until "Auto Distance" is clicked.
void ChangeEverything(HWND d) {
  Click(d, 1008);
  Type(d, 1009, "720");
  Type(d, 1016, "3.5");
  Type(d, 1020, "1234.5");
  Click(d, 1015);
  Type(d, 1010, "0.5");
  Type(d, 1018, "0.625");
  Type(d, 1013, "7.5");
  Click(d, 1023);
  Click(d, 1027);
  Click(d, 1028);
  Click(d, 1029);
  dlgtest::SetSwatchColour(d, 1025, 0x00FF00);
  dlgtest::SetSwatchColour(d, 1026, 0x0000FF);
}

TEST_F(SetupDialog, EveryWayOfCancellingLeavesTheRecordAlone) {
  for (const CancelWay& way : kCancelWays) {
    SCOPED_TRACE(way.name);
    Filter filter(plugin_);
    filter.Load(Unusual());
    const std::string before = Hex(filter.Saved());
    const ModalRun run = Show(filter, [&](HWND d) {
      ChangeEverything(d);
      way.end(d);
    });
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(Hex(filter.Saved()), before);
    // Reopening shows the stored values, not the abandoned edits.
    Show(filter, [](HWND d) {
      EXPECT_TRUE(Checked(d, 1006));
      EXPECT_FALSE(Checked(d, 1008));
      EXPECT_FALSE(Checked(d, 1015));
      EXPECT_EQ(Shown(d, 1010), 0.25f);
      EXPECT_EQ(Text(d, 1009), "300");
      EXPECT_TRUE(Checked(d, 1024));
      EXPECT_EQ(dlgtest::SwatchColour(d, 1025), 0x123456u);
      Click(d, IDCANCEL);
    });
  }
}

TEST_F(SetupDialog, OkWithoutChangesWritesTheSameBlockBack) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  const std::string before = Hex(filter.Saved());
  const ModalRun run = Show(filter, [](HWND d) { Click(d, IDOK); });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Hex(filter.Saved()), before);
}

TEST_F(SetupDialog, EnterPressesTheDefaultButton) {
  Filter filter(plugin_);
  const ModalRun run = Show(filter, [](HWND d) {
    Click(d, 1027);
    dlgtest::PostKey(d, 1027, VK_RETURN);
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(filter.Saved().PutGuidePoints, 1);
}

TEST_F(SetupDialog, OkWritesEveryEditedField) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  const ModalRun run = Show(filter, [](HWND d) {
    ChangeEverything(d);
    Click(d, IDOK);
  });
  EXPECT_EQ(run.result, 1);
  const StereogramSettings s = filter.Saved();
  EXPECT_EQ(s.NearObjectDepth, 0.5f);
  EXPECT_EQ(s.FarObjectDepth, 0.625f);
  EXPECT_EQ(s.BackgroundDepth, 7.5f);
  EXPECT_EQ(s.ViewingMedium, 1008);
  EXPECT_EQ(s.CustomDpi, 720);
  EXPECT_EQ(s.AutoDistance, 1);
  EXPECT_EQ(s.FarDistance, 1234.5f);
  EXPECT_EQ(s.NearDistance, 3.5f);
  EXPECT_EQ(s.Color1, 0x00FF00u);
  EXPECT_EQ(s.Color2, 0x0000FFu);
  EXPECT_EQ(s.RampMode, 1023);
  EXPECT_EQ(s.PutGuidePoints, 0);
  EXPECT_EQ(s.RandomizeEachFrame, 1);
  EXPECT_EQ(s.PreventGhosting, 1);
}

TEST_F(SetupDialog, TypedValuesReachTheRecordOnOk) {
  Filter filter(plugin_);
  Show(filter, [](HWND d) {
    Type(d, 1010, "0.37");
    Type(d, 1013, "42.5");
    Click(d, IDOK);
  });
  EXPECT_EQ(filter.Saved().NearObjectDepth, 0.37f);
  EXPECT_EQ(filter.Saved().BackgroundDepth, 42.5f);
}

TEST_F(SetupDialog, CrossedDistancesAndDepthsAreWrittenWithoutComplaint) {
  Filter filter(plugin_);
  const ModalRun run = Show(filter, [](HWND d) {
    Click(d, 1015);
    Type(d, 1016, "900");
    Type(d, 1020, "100");
    Type(d, 1010, "0.9");
    Type(d, 1018, "0.2");
    Click(d, IDOK);
  });
  EXPECT_EQ(run.result, 1);
  const StereogramSettings s = filter.Saved();
  EXPECT_EQ(s.NearDistance, 900.0f);
  EXPECT_EQ(s.FarDistance, 100.0f);
  EXPECT_EQ(s.NearObjectDepth, 0.9f);
  EXPECT_EQ(s.FarObjectDepth, 0.2f);
}

TEST_F(SetupDialog, DpiFieldFollowsTheUnlabelledMediumButton) {
  Filter filter(plugin_);
  const ModalRun run = Show(filter, [](HWND d) {
    EXPECT_FALSE(Enabled(d, 1009));
    Click(d, 1008);
    EXPECT_TRUE(Checked(d, 1008));
    EXPECT_TRUE(Enabled(d, 1009));
    Type(d, 1009, "600");
    for (int other : {1000, 1003, 1007}) {
      Click(d, other);
      EXPECT_FALSE(Enabled(d, 1009)) << "after medium " << other;
      Click(d, 1008);
      EXPECT_TRUE(Enabled(d, 1009)) << "back on the unlabelled button after " << other;
    }
    Click(d, 1003);
    Click(d, IDOK);
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(filter.Saved().ViewingMedium, 1003);
  EXPECT_EQ(filter.Saved().CustomDpi, 600) << "the dpi is written whatever the medium";
}

TEST_F(SetupDialog, AutoDistanceTogglesTheTwoDistanceFields) {
  Filter filter(plugin_);
  const ModalRun run = Show(filter, [](HWND d) {
    Click(d, 1015);
    EXPECT_FALSE(Checked(d, 1015));
    EXPECT_TRUE(Enabled(d, 1016));
    EXPECT_TRUE(Enabled(d, 1020));
    Type(d, 1016, "5");
    Type(d, 1020, "50");
    Click(d, 1015);
    EXPECT_TRUE(Checked(d, 1015));
    EXPECT_FALSE(Enabled(d, 1016));
    EXPECT_FALSE(Enabled(d, 1020));
    Click(d, IDOK);
  });
  EXPECT_EQ(run.result, 1);
  const StereogramSettings s = filter.Saved();
  EXPECT_EQ(s.AutoDistance, 1);
  EXPECT_EQ(s.NearDistance, 5.0f) << "distances are written while Auto Distance is on";
  EXPECT_EQ(s.FarDistance, 50.0f);
}

TEST_F(SetupDialog, UncheckedAutoDistanceOpensWithTheFieldsEnabled) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  Show(filter, [](HWND d) {
    EXPECT_FALSE(Checked(d, 1015));
    EXPECT_TRUE(Enabled(d, 1016));
    EXPECT_TRUE(Enabled(d, 1020));
    EXPECT_FALSE(Enabled(d, 1009));
    Click(d, IDCANCEL);
  });
}

TEST_F(SetupDialog, RampButtonsSetTheRampMode) {
  for (int ramp : {1023, 1024}) {
    Filter filter(plugin_);
    StereogramSettings start = Unusual();
    start.RampMode = ramp == 1023 ? 1024 : 1023;
    filter.Load(start);
    const ModalRun run = Show(filter, [ramp](HWND d) {
      Click(d, ramp);
      Click(d, IDOK);
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(filter.Saved().RampMode, ramp);
  }
}

TEST_F(SetupDialog, MediumClickThenCancelKeepsTheStoredMedium) {
  Filter filter(plugin_);
  Show(filter, [](HWND d) {
    Click(d, 1005);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(filter.Saved().ViewingMedium, 1001);
}

struct OutsideCodes {
  int32_t medium;
  int32_t ramp;
};

TEST_F(SetupDialog, CodesOutsideTheGroupsCheckNothingAndSurviveOk) {
  for (const OutsideCodes codes : {OutsideCodes{0, 0}, OutsideCodes{999, 1022},
                                   OutsideCodes{1009, 1025}, OutsideCodes{-1, 7}}) {
    SCOPED_TRACE("medium " + std::to_string(codes.medium) + ", ramp " + std::to_string(codes.ramp));
    Filter filter(plugin_);
    StereogramSettings start = Unusual();
    start.ViewingMedium = codes.medium;
    start.RampMode = codes.ramp;
    filter.Load(start);
    const ModalRun run = Show(filter, [](HWND d) {
      for (int id : kMediumButtons) EXPECT_FALSE(Checked(d, id)) << "medium " << id;
      EXPECT_FALSE(Checked(d, 1023));
      EXPECT_FALSE(Checked(d, 1024));
      EXPECT_FALSE(Enabled(d, 1009));
      Click(d, IDOK);
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(Hex(filter.Saved()), Hex(start));
  }
}

// A damaged block may hold other numbers in its booleans; the boxes show them checked and OK
// writes a proper 1 back.
TEST_F(SetupDialog, NonBooleanCheckValuesComeBackAsOne) {
  Filter filter(plugin_);
  StereogramSettings start = Unusual();
  start.AutoDistance = 2;
  start.PutGuidePoints = -1;
  start.RandomizeEachFrame = 7;
  start.PreventGhosting = 0;
  filter.Load(start);
  const ModalRun run = Show(filter, [](HWND d) {
    EXPECT_FALSE(Enabled(d, 1016)) << "distance fields follow a non-zero Auto Distance";
    EXPECT_FALSE(Enabled(d, 1020));
    Click(d, IDOK);
  });
  EXPECT_EQ(run.result, 1);
  const StereogramSettings s = filter.Saved();
  EXPECT_EQ(s.AutoDistance, 1);
  EXPECT_EQ(s.PutGuidePoints, 1);
  EXPECT_EQ(s.RandomizeEachFrame, 1);
  EXPECT_EQ(s.PreventGhosting, 0);
}

// Only the low word of a command names the control; the notification code is not looked at.
TEST_F(SetupDialog, CommandsAreToldApartByTheirLowWordOnly) {
  Filter filter(plugin_);
  const ModalRun run = Show(filter, [](HWND d) {
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(1005, EN_CHANGE), 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(1024, 0x1234), 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 0x0800), 0);
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(filter.Saved().ViewingMedium, 1005);
  EXPECT_EQ(filter.Saved().RampMode, 1024);
}

TEST_F(SetupDialog, ProcedureAnswersOneToInitAndCommandsZeroOtherwise) {
  Filter filter(plugin_);
  Show(filter, [](HWND d) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(d, DWLP_DLGPROC));
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc(d, WM_COMMAND, MAKEWPARAM(4711, 0), 0), 1);
    EXPECT_EQ(proc(d, WM_COMMAND, MAKEWPARAM(1027, BN_CLICKED), 0), 1);
    EXPECT_EQ(proc(d, WM_MOUSEMOVE, 0, 0), 0);
    EXPECT_EQ(proc(d, WM_TIMER, 99, 0), 0);
    EXPECT_EQ(proc(d, WM_USER + 5, 0, 0), 0);
    Click(d, IDCANCEL);
  });
}

// The host's objects live exactly as long as the dialog, by OK and by Cancel alike.
TEST_F(SetupDialog, HostObjectsAreTakenOnOpeningAndAllGivenBack) {
  const int spinners = LiveSpinnerObjects();
  const int swatches = LiveSwatchObjects();
  for (int end : {IDOK, IDCANCEL, IDOK}) {
    Filter filter(plugin_);
    const ModalRun run = Show(filter, [&](HWND d) {
      EXPECT_EQ(LiveSpinnerObjects(), spinners + 6);
      EXPECT_EQ(LiveSwatchObjects(), swatches + 2);
      Click(d, end);
    });
    EXPECT_EQ(run.result, end == IDOK ? 1 : 0);
    EXPECT_EQ(LiveSpinnerObjects(), spinners);
    EXPECT_EQ(LiveSwatchObjects(), swatches);
  }
}

std::vector<std::string> OpeningLines(const StereogramSettings& s) {
  return {
      "CenterWindow over its parent",
      "SetupFloatSpinner 1012 1010 00000000 3f800000 " + Bits(s.NearObjectDepth) + " 3c23d70a",
      "SetupFloatSpinner 1019 1018 00000000 3f800000 " + Bits(s.FarObjectDepth) + " 3c23d70a",
      "SetupFloatSpinner 1014 1013 00000000 42c80000 " + Bits(s.BackgroundDepth) + " 3dcccccd",
      "SetupIntSpinner 1011 1009 1 2400 " + std::to_string(s.CustomDpi),
      "SetupFloatSpinner 1017 1016 00000000 7149f2ca " + Bits(s.NearDistance) + " 3dcccccd",
      "SetupFloatSpinner 1021 1020 00000000 7149f2ca " + Bits(s.FarDistance) + " 3dcccccd",
      "GetIColorSwatch 1025 123456 Color1 static",
      "GetIColorSwatch 1026 abcdef Color2 static",
  };
}

const std::vector<std::string> kReleaseLines = {
    "ReleaseISpinner 1012", "ReleaseISpinner 1019",     "ReleaseISpinner 1014",
    "ReleaseISpinner 1011", "ReleaseISpinner 1017",     "ReleaseISpinner 1021",
    "ReleaseIColorSwatch 1025", "ReleaseIColorSwatch 1026",
};

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST_F(SetupDialog, OkReadsEachObjectOnceInFieldOrderThenReleasesInCreationOrder) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  CoreCallLog log(plugin_.Module());
  ASSERT_GE(log.PatchedSlots(), 6) << "the plug-in's imports from core.dll were not found";
  Show(filter, [](HWND d) { Click(d, IDOK); });
  const std::vector<std::string> reads = {
      "FloatValue 1012", "FloatValue 1019", "FloatValue 1014", "FloatValue 1017",
      "FloatValue 1021", "IntValue 1011",   "Colour 1025",     "Colour 1026",
  };
  EXPECT_EQ(log.Lines(), Joined(Joined(OpeningLines(Unusual()), reads), kReleaseLines));
}

TEST_F(SetupDialog, CancelReadsNoObjectAndStillReleasesAll) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  CoreCallLog log(plugin_.Module());
  Show(filter, [](HWND d) {
    ChangeEverything(d);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(log.Lines(), Joined(OpeningLines(Unusual()), kReleaseLines));
}

TEST_F(SetupDialog, ReopeningObtainsFreshObjects) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  CoreCallLog log(plugin_.Module());
  Show(filter, [](HWND d) { Click(d, IDCANCEL); });
  Show(filter, [](HWND d) { Click(d, IDOK); });
  EXPECT_EQ(log.Matching("Setup").size(), 12u);
  EXPECT_EQ(log.Matching("GetIColorSwatch").size(), 4u);
  EXPECT_EQ(log.Matching("Release").size(), 16u);
  EXPECT_TRUE(log.Matching("ReleaseISpinner unknown").empty());
  EXPECT_TRUE(log.Matching("ReleaseIColorSwatch unknown").empty());
}

// When the host hands out no object for a control, OK keeps that field as it was and writes
// the rest; the missing objects are not released.
TEST_F(SetupDialog, ControlsWithoutAHostObjectKeepTheirFieldsOnOk) {
  Filter filter(plugin_);
  filter.Load(Unusual());
  CoreCallLog log(plugin_.Module(), {1014, 1011, 1021, 1026});
  const ModalRun run = Show(filter, [](HWND d) {
    Type(d, 1010, "0.5");
    Type(d, 1013, "9");
    dlgtest::SetSwatchColour(d, 1025, 0x00FF00);
    Click(d, 1027);
    Click(d, IDOK);
  });
  EXPECT_EQ(run.result, 1);
  const StereogramSettings s = filter.Saved();
  const StereogramSettings start = Unusual();
  EXPECT_EQ(s.NearObjectDepth, 0.5f);
  EXPECT_EQ(s.BackgroundDepth, start.BackgroundDepth);
  EXPECT_EQ(s.CustomDpi, start.CustomDpi);
  EXPECT_EQ(s.FarDistance, start.FarDistance);
  EXPECT_EQ(s.Color1, 0x00FF00u);
  EXPECT_EQ(s.Color2, start.Color2);
  EXPECT_EQ(s.PutGuidePoints, 0);
  EXPECT_EQ(log.Matching("Release"),
            (std::vector<std::string>{"ReleaseISpinner 1012", "ReleaseISpinner 1019",
                                      "ReleaseISpinner 1017", "ReleaseIColorSwatch 1025"}));
}

}  // namespace
