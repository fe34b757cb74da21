// The GEGL operation and the GIMP plug-in as their users run them: the gegl command and GIMP in
// batch mode against the zavol tool on the same height maps, and the properties' refusals of
// values outside the field table. Needs gegl and gimp-console-2.10 (scripts/setup installs
// them); a missing program fails.
#include <gegl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "gegl/properties.h"
#include "libzavol/zavol.h"
#include "tests/cli_support.h"

namespace {

using clitest::Image;
using clitest::ProcessResult;
using clitest::Quote;
using clitest::ScratchDir;

ProcessResult RunShell(const std::string& command) {
  ScratchDir dir;
  const int status = std::system((command + " </dev/null >" + Quote(dir / "out") + " 2>" +
                                  Quote(dir / "err")).c_str());
  ProcessResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const std::vector<uint8_t> out = clitest::ReadBytes(dir / "out");
  result.out.assign(out.begin(), out.end());
  const std::vector<uint8_t> err = clitest::ReadBytes(dir / "err");
  result.err.assign(err.begin(), err.end());
  return result;
}

// A PNG's samples as stored, whatever chunks describe their gamma: RGBA words (8-bit samples
// as sample * 257), grey repeated, full alpha where the file has none.
Image ReadPngSamples(const std::string& path) {
  Image image;
  FILE* volatile file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return image;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return Image{};
  }
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
  const int width = static_cast<int>(png_get_image_width(png, info));
  const int height = static_cast<int>(png_get_image_height(png, info));
  const int channels = png_get_channels(png, info);
  const bool sixteen = png_get_bit_depth(png, info) == 16;
  png_bytepp rows = png_get_rows(png, info);
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint16_t s[4] = {0, 0, 0, 65535};
      for (int c = 0; c < channels; ++c) {
        const png_bytep p = rows[y] + (static_cast<size_t>(x) * channels + c) * (sixteen ? 2 : 1);
        s[c] = sixteen ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[0] * 257);
      }
      image.pixels.push_back({s[0], s[1], s[2], s[3]});
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return image;
}

// An asymmetric 8-bit height map, a sloping ground and a bright disc right of centre: grey, grey
// with a margin of empty (alpha 0) pixels on the left, or colour with the height in red and
// other numbers in green and blue (which the tool ignores).
enum class Map { kGrey, kGreyAlpha, kColour };
void WriteHeightMap8(const std::string& path, int width, int height, Map kind) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  const bool withAlpha = kind == Map::kGreyAlpha;
  png.format = kind == Map::kColour ? PNG_FORMAT_RGB : withAlpha ? PNG_FORMAT_GA : PNG_FORMAT_GRAY;
  const int channels = kind == Map::kColour ? 3 : withAlpha ? 2 : 1;
  std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - 0.6 * width, dy = y - 0.45 * height;
      const bool disc = dx * dx + dy * dy < 0.06 * width * width;
      uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * channels];
      p[0] = static_cast<uint8_t>(disc ? 230 : 40 + 100 * y / height);
      if (withAlpha) p[1] = x < width / 9 ? 0 : 255;
      if (kind == Map::kColour) {
        p[1] = static_cast<uint8_t>(255 - p[0]);
        p[2] = static_cast<uint8_t>(x);
      }
    }
  }
  ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, bytes.data(), 0, nullptr)) << path;
}

std::string GeglCommand(const std::string& input, const std::string& output,
                        const std::string& properties) {
  return Quote(GEGL_PROGRAM) + " " + Quote(input) + " -o " + Quote(output) +
         " -- zavol:autostereogram " + properties;
}

// The gegl command's picture (16-bit RGBA PNG) against the tool's own 16-bit RGBA PAM of the
// same height map and settings, word for word, guide's alpha included.
struct GeglCase {
  const char* name;
  const char* input;      // made by Prepare below
  const char* gegl;       // properties for the operation
  const char* tool;       // the same for zavol render, as its options
  const char* warning;    // expected in gegl's stderr, or ""
};

const GeglCase kGeglCases[] = {
    {"eight_bit_with_empty_margin", "h8a.png", "seed=5", "--seed 5", ""},
    {"sixteen_bit_scene", "h16.png",
     "seed=9 view=cross viewing-medium=a4 put-guide-points=true ramp-mode=hsv "
     "color1=#2080ff color2=#ff1010",
     "--seed 9 --view cross --medium a4 --guide --ramp hsv --color1 2080ff --color2 ff1010", ""},
    {"float_openexr", "h.exr", "seed=3 dots=stable oversample=2 linking=symmetric",
     "--seed 3 --dots stable --oversample 2 --linking symmetric --channel Y", ""},
    {"colour_map_by_its_red", "rgb.png", "seed=4 viewing-medium=a5", "--seed 4 --medium a5", ""},
    {"too_small_to_fuse_still_renders", "small.png", "seed=1", "--seed 1", "too few to fuse"},
    // GEGL's own check refuses the value and keeps the default, as the tool's default renders.
    {"out_of_range_value_kept_at_default", "h8a.png", "seed=5 near-object-depth=7", "--seed 5",
     "near-object-depth"},
};

class GeglMatchesTool : public testing::TestWithParam<GeglCase> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    WriteHeightMap8(*dir_ / "h8a.png", 131, 77, Map::kGreyAlpha);
    WriteHeightMap8(*dir_ / "rgb.png", 90, 50, Map::kColour);
    WriteHeightMap8(*dir_ / "small.png", 40, 24, Map::kGrey);
    ASSERT_EQ(clitest::RunZavol({"scene", "--size", "173x97", "-o", *dir_ / "h16.png"}).exitCode, 0);
    // Float heights through GEGL's OpenEXR writer: linear values, which the operation and the
    // tool both take as they are stored.
    ASSERT_EQ(RunShell(Quote(GEGL_PROGRAM) + " " + Quote(*dir_ / "h16.png") + " -o " +
                  Quote(*dir_ / "h.exr")).exitCode, 0);
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
};
ScratchDir* GeglMatchesTool::dir_ = nullptr;

TEST_P(GeglMatchesTool, PictureEqualsTheTools) {
  const GeglCase& c = GetParam();
  const std::string input = *dir_ / c.input;
  const std::string ours = *dir_ / (std::string(c.name) + ".png");
  const std::string theirs = *dir_ / (std::string(c.name) + ".pam");
  const ProcessResult gegl = RunShell(GeglCommand(input, ours, c.gegl));
  ASSERT_EQ(gegl.exitCode, 0) << gegl.err;
  if (*c.warning) {
    EXPECT_NE(gegl.err.find(c.warning), std::string::npos) << gegl.err;
  }
  std::vector<std::string> args = {"render", input, "-o", theirs, "--depth-kind", "height",
                                   "--quiet"};
  std::istringstream words(c.tool);
  for (std::string w; words >> w;) args.push_back(w);
  const ProcessResult tool = clitest::RunZavol(args);
  ASSERT_EQ(tool.exitCode, 0) << tool.err;

  const Image got = ReadPngSamples(ours);
  const Image want = clitest::DecodePam(clitest::ReadBytes(theirs));
  ASSERT_GT(want.width, 0);
  ASSERT_EQ(got.width, want.width);
  ASSERT_EQ(got.height, want.height);
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < want.pixels.size(); ++i) {
    const auto &a = got.pixels[i], &b = want.pixels[i];
    if (a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a) {
      if (differing++ == 0) first = i;
    }
  }
  EXPECT_EQ(differing, 0u) << "first at x " << first % want.width << " y " << first / want.width;
}

INSTANTIATE_TEST_SUITE_P(Heights, GeglMatchesTool, testing::ValuesIn(kGeglCases),
                         [](const testing::TestParamInfo<GeglCase>& i) { return i.param.name; });

// GIMP in batch mode with a scratch profile: the plug-in run from a script on an 8-bit height
// map, then once more on a second copy with the last values (which the first run stored as
// text), both saved as PNG and compared with the tool's 8-bit PNG.
TEST(GimpPlugIn, ScriptRunsEqualTheTool) {
  ScratchDir dir;
  const std::string profile = dir / "profile";
  const std::string plugins = profile + "/plug-ins/zavol-autostereogram";
  std::filesystem::create_directories(plugins);
  std::filesystem::copy_file(GIMP_PLUG_IN, plugins + "/zavol-autostereogram");
  WriteHeightMap8(dir / "in.png", 120, 70, Map::kGrey);
  auto run = [&](const std::string& mode, const std::string& properties, const std::string& out) {
    return "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"" + dir / "in.png" +
           "\" \"in\"))) (layer (car (gimp-image-get-active-drawable image))))"
           " (plug-in-zavol-autostereogram " + mode + " image layer \"" + properties + "\")"
           " (file-png-save2 RUN-NONINTERACTIVE image (car (gimp-image-get-active-drawable "
           "image)) \"" + out + "\" \"out\" 0 9 0 0 0 0 0 0 0))";
  };
  const std::string script = "(begin " + run("RUN-NONINTERACTIVE", "seed=11 view=cross", dir / "gimp.png") +
                             " " + run("RUN-WITH-LAST-VALS", "", dir / "again.png") + ")";
  // A script's mistake is an error naming the property, and the batch goes on.
  const std::string mistake = run("RUN-NONINTERACTIVE", "view=sideways", dir / "never.png");
  const ProcessResult gimp =
      RunShell("GIMP2_DIRECTORY=" + Quote(profile) + " " + Quote(GIMP_CONSOLE) + " -i -d -f -b " +
               Quote(script) + " -b " + Quote(mistake) + " -b '(gimp-quit 0)'");
  ASSERT_EQ(gimp.exitCode, 0) << gimp.out << gimp.err;
  EXPECT_NE((gimp.out + gimp.err).find("view: sideways is not one of wall cross"), std::string::npos)
      << gimp.out << gimp.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "never.png"));
  const ProcessResult tool = clitest::RunZavol({"render", dir / "in.png", "-o", dir / "tool.png",
                                                "--seed", "11", "--view", "cross", "--quiet"});
  ASSERT_EQ(tool.exitCode, 0) << tool.err;
  const Image want = ReadPngSamples(dir / "tool.png");
  ASSERT_GT(want.width, 0);
  for (const char* name : {"gimp.png", "again.png"}) {
    const Image got = ReadPngSamples(dir / name);
    ASSERT_EQ(got.width, want.width) << name;
    ASSERT_EQ(got.height, want.height) << name;
    size_t differing = 0;
    for (size_t i = 0; i < want.pixels.size(); ++i) {
      const auto &a = got.pixels[i], &b = want.pixels[i];
      differing += a.r != b.r || a.g != b.g || a.b != b.b;
    }
    EXPECT_EQ(differing, 0u) << name;
  }
}

// The install rules of the gegl component, as packages and `cmake --install` use them: the
// operation lands where GEGL loads it from and the plug-in in a folder of its own name.
TEST(GeglInstall, ComponentInstallsALoadableOperation) {
  ScratchDir dir;
  const ProcessResult install = RunShell(Quote(CMAKE_PROGRAM) + " --install " + Quote(BUILD_DIR) +
                                         " --prefix " + Quote(dir / "usr") + " --component gegl");
  ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
  const std::string modules = dir / "usr/" GEGL_MODULE_DIR;
  const std::string plugin = dir / "usr/" GIMP_PLUGIN_DIR "/zavol-autostereogram/zavol-autostereogram";
  EXPECT_EQ(access(plugin.c_str(), X_OK), 0) << plugin;
  const ProcessResult info = RunShell("GEGL_PATH=" + Quote(modules + ":" GEGL_SYSTEM_DIR) + " " +
                                      Quote(GEGL_PROGRAM) + " --info zavol:autostereogram");
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("viewing-medium"), std::string::npos) << info.out << info.err;
}

// Values outside a property's range or words: refused by GObject's own check (a warning, the
// value kept) and by the plug-in's script parser (a message naming the property).
int g_refusals = 0;
void CountRefusal(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
  if (std::strstr(message, "out of range") != nullptr) ++g_refusals;
}

struct Refused {
  const char* property;
  const char* text;
};

TEST(GeglProperties, OutOfRangeValuesAreRefused) {
  gegl_init(nullptr, nullptr);
  GeglNode* graph = gegl_node_new();
  GeglNode* node = gegl_node_new_child(graph, "operation", "zavol:autostereogram", nullptr);
  GObject* op = G_OBJECT(gegl_node_get_gegl_operation(node));
  ASSERT_NE(op, nullptr);
  ASSERT_STREQ(G_OBJECT_TYPE_NAME(op), "ZavolAutostereogram") << "GEGL_PATH lacks the module";
  g_log_set_handler("GLib-GObject", G_LOG_LEVEL_WARNING, CountRefusal, nullptr);
  gchar* before = zavol_properties_text(op);

  // Numbers just beyond each numeric field's limits, from the table itself.
  for (int i = 0; i < zavol_field_count(); ++i) {
    const zavol_field_info* f = zavol_field(i);
    if (f->type != ZAVOL_FIELD_REAL && f->type != ZAVOL_FIELD_INTEGER) continue;
    gchar* name = zavol_property_name(f->name);
    GParamSpec* prop = g_object_class_find_property(G_OBJECT_GET_CLASS(op), name);
    ASSERT_NE(prop, nullptr) << name;
    for (double bad : {f->minimum - std::max(1.0, std::fabs(f->minimum)),
                       f->maximum + std::max(1.0, std::fabs(f->maximum))}) {
      if (f->type == ZAVOL_FIELD_INTEGER && (bad < G_MININT || bad > G_MAXUINT)) continue;
      GValue value = G_VALUE_INIT;
      g_value_init(&value, G_PARAM_SPEC_VALUE_TYPE(prop));
      if (G_VALUE_HOLDS_DOUBLE(&value)) g_value_set_double(&value, bad);
      else if (G_VALUE_HOLDS_INT(&value)) g_value_set_int(&value, static_cast<int>(bad));
      else if (bad >= 0) g_value_set_uint(&value, static_cast<guint>(bad));
      else continue;  // an unsigned property cannot even hold it
      const int refusals = g_refusals;
      g_object_set_property(op, name, &value);
      EXPECT_EQ(g_refusals, refusals + 1) << name << " = " << bad;
      g_value_unset(&value);
      gchar* text = g_strdup_printf("%s=%.17g", name, bad);
      gchar* error = zavol_properties_apply(op, text);
      EXPECT_NE(error, nullptr) << text;
      if (error != nullptr) {
        EXPECT_NE(std::strstr(error, name), nullptr) << error;
      }
      g_free(error);
      g_free(text);
    }
    g_free(name);
  }

  const Refused kTexts[] = {
      {"view", "sideways"},         {"color1", "#12345"},   {"put-guide-points", "maybe"},
      {"near-object-depth", "nan"}, {"seed", "-1"},         {"dot-size", "two"},
      {"viewing-medium", "1001"},   {"no-such-property", "1"},
  };
  for (const Refused& r : kTexts) {
    const std::string text = std::string(r.property) + "=" + r.text;
    gchar* error = zavol_properties_apply(op, text.c_str());
    ASSERT_NE(error, nullptr) << text;
    EXPECT_NE(std::strstr(error, r.property), nullptr) << error;
    g_free(error);
  }
  // Values each within range that together cannot make a picture, as the tool refuses them.
  EXPECT_EQ(zavol_properties_problem(op), nullptr);
  for (const char* pair : {"background-depth=0", "auto-distance=false near-distance=50 far-distance=10",
                           "auto-distance=false near-distance=10 far-distance=10"}) {
    EXPECT_EQ(zavol_properties_apply(op, before), nullptr);
    EXPECT_EQ(zavol_properties_apply(op, pair), nullptr) << pair;
    gchar* problem = zavol_properties_problem(op);
    EXPECT_NE(problem, nullptr) << pair;
    g_free(problem);
  }
  EXPECT_EQ(zavol_properties_apply(op, before), nullptr);

  // Every refusal kept the defaults; and the text round-trips through the parser.
  gchar* after = zavol_properties_text(op);
  EXPECT_STREQ(after, before);
  gchar* error = zavol_properties_apply(op, "view=cross seed=77 color2=#0a0b0c far-cutoff=5000");
  EXPECT_EQ(error, nullptr) << error;
  gchar* changed = zavol_properties_text(op);
  EXPECT_STRNE(changed, before);
  EXPECT_EQ(zavol_properties_apply(op, before), nullptr);
  gchar* restored = zavol_properties_text(op);
  EXPECT_STREQ(restored, before);
  for (gchar* text : {before, after, changed, restored, error}) g_free(text);
  g_object_unref(graph);
}

}  // namespace
