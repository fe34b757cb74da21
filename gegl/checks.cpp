// The library's frame checks for the GEGL face: the tool's refusals and warnings in the
// operation's property names (field names with dashes). Depends on libzavol/zavol.h and GLib.
#include "gegl/checks.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string PropertyName(const char* fieldName) {
  std::string name = fieldName;
  for (char& c : name) {
    if (c == '_') c = '-';
  }
  return name;
}

// The property of every row of the library's field table, in its order, made once.
const char* const* PropertyNames() {
  static const struct Names {
    std::vector<std::string> names;
    std::vector<const char*> pointers;
    Names() {
      for (int i = 0; i < zavol_field_count(); ++i) names.push_back(PropertyName(zavol_field(i)->name));
      for (const std::string& name : names) pointers.push_back(name.c_str());
    }
  } table;
  return table.pointers.data();
}

void Warn(const std::string& text) { g_warning("autostereogram: %s", text.c_str()); }

}  // namespace

gchar* zavol_gegl_settings_problem(const zavol_settings* settings) {
  char text[256];
  if (zavol_settings_check(settings, PropertyNames(), text, sizeof text, nullptr) !=
      ZAVOL_E_SETTING_VALUE) {
    return nullptr;
  }
  return g_strdup(text);
}

void zavol_gegl_warn_about_frame(const zavol_findings* f, int width) {
  if (f->scene == 0) {
    Warn("no pixel lies in front of the background, so the picture is flat; is depth-kind right?");
  }
  if (f->few_repeats != 0) {
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", f->repeats);
    Warn("the background repeats every " + std::to_string(f->background) + " px, only " + count +
         " times across " + std::to_string(width) +
         " px, too few to fuse; set the medium it is viewed on (viewing-medium, screen-width, "
         "custom-dpi)");
  }
  if (f->flat != ZAVOL_FLAT_NO) {
    Warn("near and far separations are both " + std::to_string(f->separation) +
         " px, so the scene shows flat; " +
         (f->flat == ZAVOL_FLAT_SAME_DEPTH
              ? "every scene pixel has the same depth; give the range with "
                "auto-distance=false, near-distance and far-distance"
          : f->flat == ZAVOL_FLAT_SAME_FRACTION
              ? "set near-object-depth below far-object-depth"
              : "raise the resolution (viewing-medium=dpi and custom-dpi)"));
  }
  if (f->level_merges != 0) {
    char lies[32];
    std::snprintf(lies, sizeof lies, "%.6g", -f->level_depth);
    Warn("the farthest level of the depth (" + std::to_string(f->level_pixels) +
         " pixels) gets the background's separation, " + std::to_string(f->background) +
         " px, and merges with the background; " +
         (f->lifted_by_far_object_depth != 0
              ? std::string("set far-object-depth below 1 (e.g. 0.9) to lift it off")
              : "raise far-distance beyond it (it lies at " + std::string(lies) +
                    ") or set auto-distance=true"));
  }
}
