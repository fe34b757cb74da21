// The engine's frame checks for the GEGL face: the tool's refusals and warnings in the
// operation's property names (field names with dashes). Depends on render/ and GLib.
#include "gegl/checks.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "render/field_table.h"
#include "render/frame_checks.h"

namespace {

static_assert(sizeof(zavol_settings) == sizeof(StereogramSettings),
              "the C record mirrors the engine's field by field");

StereogramSettings Record(const zavol_settings* settings) {
  StereogramSettings record;
  std::memcpy(&record, settings, sizeof record);
  return record;
}

std::string PropertyName(const char* fieldName) {
  std::string name = fieldName;
  for (char& c : name) {
    if (c == '_') c = '-';
  }
  return name;
}

std::string PropertyOf(const zavol::SettingsField& field) {
  for (std::size_t i = 0; i < zavol::FieldCount(); ++i) {
    if (zavol::FieldAt(i).record == &field) return PropertyName(zavol::FieldAt(i).name);
  }
  return field.name;
}

void Warn(const std::string& text) { g_warning("autostereogram: %s", text.c_str()); }

}  // namespace

gchar* zavol_gegl_settings_problem(const zavol_settings* settings) {
  const zavol::SettingsProblem problem = zavol::FindUnusableSetting(Record(settings), PropertyOf);
  if (problem.fields.empty()) return nullptr;
  return g_strdup(problem.text.c_str());
}

void zavol_gegl_warn_about_frame(const zavol_settings* settings, const float* depth, int width,
                                 int height, int screen_width, int screen_height) {
  using zavol::Fusing;
  const StereogramSettings record = Record(settings);
  const zavol::DepthSpread spread = zavol::LookAtDepth(depth, width, height, width);
  if (!spread.scene) {
    Warn("no pixel lies in front of the background, so the picture is flat; is depth-kind right?");
  }
  const zavol::FramePlan plan = zavol::PlanFrame(
      record, zavol::DepthView{depth, width, height, width}, screen_width, screen_height, 0);
  const Fusing f = zavol::CheckFusing(record, plan, spread);
  if (f.fewRepeats) {
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", f.repeats);
    Warn("the background repeats every " + std::to_string(f.background) + " px, only " + count +
         " times across " + std::to_string(width) +
         " px, too few to fuse; set the medium it is viewed on (viewing-medium, screen-width, "
         "custom-dpi)");
  }
  if (f.flat != Fusing::Flat::kNo) {
    Warn("near and far separations are both " + std::to_string(f.separation) +
         " px, so the scene shows flat; " +
         (f.flat == Fusing::Flat::kSameDepth
              ? "every scene pixel has the same depth; give the range with "
                "auto-distance=false, near-distance and far-distance"
          : f.flat == Fusing::Flat::kSameFraction
              ? "set near-object-depth below far-object-depth"
              : "raise the resolution (viewing-medium=dpi and custom-dpi)"));
  }
  if (f.levelMerges) {
    char lies[32];
    std::snprintf(lies, sizeof lies, "%.6g", -f.levelDepth);
    Warn("the farthest level of the depth (" + std::to_string(f.levelPixels) +
         " pixels) gets the background's separation, " + std::to_string(f.background) +
         " px, and merges with the background; " +
         (f.liftedByFarObjectDepth
              ? std::string("set far-object-depth below 1 (e.g. 0.9) to lift it off")
              : "raise far-distance beyond it (it lies at " + std::string(lies) +
                    ") or set auto-distance=true"));
  }
}
