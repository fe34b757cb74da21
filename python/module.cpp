// The Python module `zavol`: NumPy depth in, stereogram out through the C interface with the GIL
// released, and the command-line tool's own depth readers and image writers. Depends on
// pybind11, libzavol/ and io/; nothing here draws a pixel.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/error.h"
#include "io/formats.h"
#include "libzavol/zavol.h"
#include "python/arrays.h"
#include "python/fields.h"
#include "python/settings_type.h"
#include "python/video_writer.h"

namespace py = pybind11;

namespace zavol::python {
namespace {

// A pixel as io's writers take it: four 16-bit words, red, green, blue, alpha, as in zavol_image.
using IoPixel = decltype(io::Image64::pixels)::value_type;
static_assert(sizeof(IoPixel) == 4 * sizeof(uint16_t), "io's pixels are zavol_image's four words");

// Without a progress callable the engine's per-row question costs nothing; every this many rows
// the GIL is taken anyway, for Ctrl-C. A 4K row takes tens of microseconds, so Ctrl-C still
// stops a frame within a millisecond or so.
constexpr int kSignalRows = 16;

// What the engine's per-row question reaches: the caller's callable and what it raised.
struct ProgressState {
  PyObject* callable = nullptr;  // borrowed from the call's arguments; null without one
  std::exception_ptr error;      // raised by the callable or by a signal handler
  bool stopped = false;          // the callable asked to stop
};

int AskProgress(void* user, int row, int lastRow) noexcept {
  ProgressState& state = *static_cast<ProgressState*>(user);
  if (state.callable == nullptr && row % kSignalRows != 0) return 0;
  py::gil_scoped_acquire gil;
  try {
    // Ctrl-C's handler runs here, on the main thread; it raises KeyboardInterrupt.
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (state.callable != nullptr) {
      const py::object answer = py::reinterpret_borrow<py::object>(state.callable)(row, lastRow);
      const int stop = PyObject_IsTrue(answer.ptr());
      if (stop < 0) throw py::error_already_set();
      state.stopped = stop == 1;
    }
  } catch (...) {
    state.error = std::current_exception();
    return 1;
  }
  return state.stopped ? 1 : 0;
}

std::string Quoted(py::handle value) { return py::repr(value).cast<std::string>(); }

// The argument as a C++ string; a TypeError naming it otherwise.
std::string TextArgument(py::handle value, const char* name) {
  if (!PyUnicode_Check(value.ptr())) {
    throw py::type_error(std::string(name) + ": expected a str, got " + TypeName(value));
  }
  return value.cast<std::string>();
}

// A file name as the system sees it: str, bytes or os.PathLike.
std::string PathArgument(py::handle value, const char* name) {
  try {
    return py::module_::import("os").attr("fsencode")(value).cast<std::string>();
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_TypeError)) throw;
    throw py::type_error(std::string(name) + ": expected a str or os.PathLike, got " +
                         TypeName(value));
  }
}

long long IntegerArgument(py::handle value, const char* name, long long least, long long most) {
  if (PyBool_Check(value.ptr()) || PyFloat_Check(value.ptr())) {
    throw py::type_error(std::string(name) + ": expected an integer, got " + TypeName(value));
  }
  PyObject* index = PyNumber_Index(value.ptr());
  if (index == nullptr) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + ": expected an integer, got " + TypeName(value));
  }
  int overflow = 0;
  const long long integer = PyLong_AsLongLongAndOverflow(index, &overflow);
  Py_DECREF(index);
  if (overflow != 0 || integer < least || integer > most) {
    throw py::value_error(std::string(name) + ": " + Quoted(value) + " is outside " +
                          std::to_string(least) + ".." + std::to_string(most));
  }
  return integer;
}

float CutoffArgument(py::handle value) {
  if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr())) {
    throw py::type_error("far_cutoff: expected a number, got " + TypeName(value));
  }
  const double cutoff = PyFloat_AsDouble(value.ptr());
  if (cutoff == -1.0 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    throw py::type_error("far_cutoff: expected a number, got " + TypeName(value));
  }
  if (!(cutoff > 0)) throw py::value_error("far_cutoff: " + Quoted(value) + " is not above 0");
  return static_cast<float>(cutoff);
}

// The depth kinds, as the library's field table lists them: words and ZAVOL_DEPTH_ values.
const zavol_field_info& DepthKindField() {
  const zavol_field_info* field = zavol_field(zavol_field_find("depth_kind"));
  if (field == nullptr) throw std::logic_error("no field depth_kind");
  return *field;
}

// A depth kind's word: "host", "distance", ...
std::string DepthKindWord(int kind) {
  const zavol_field_info& field = DepthKindField();
  for (int i = 0; i < field.choice_count; ++i) {
    if (field.choice_values[i] == kind) return field.choice_words[i];
  }
  return "?";
}

// The viewing medium whose resolution is custom_dpi: the field table's choice "dpi".
int32_t CustomDpiMedium() {
  const zavol_field_info* field = zavol_field(zavol_field_find("viewing_medium"));
  for (int i = 0; field != nullptr && i < field->choice_count; ++i) {
    if (std::string(field->choice_words[i]) == "dpi") return field->choice_values[i];
  }
  throw std::logic_error("no viewing medium dpi");
}

// A ZAVOL_DEPTH_ kind by its word.
int DepthKindArgument(py::handle value) {
  const std::string name = TextArgument(value, "depth_kind");
  const zavol_field_info& field = DepthKindField();
  std::string words;
  for (int i = 0; i < field.choice_count; ++i) {
    if (name == field.choice_words[i]) return field.choice_values[i];
    words += std::string(i == 0 ? "" : ", ") + field.choice_words[i];
  }
  throw py::value_error("depth_kind: '" + name + "' is not one of " + words);
}

void ScreenArgument(py::handle value, zavol_options* options) {
  if (!PySequence_Check(value.ptr()) || PyUnicode_Check(value.ptr()) ||
      py::reinterpret_borrow<py::sequence>(value).size() != 2) {
    throw py::type_error("screen: expected (width, height), got " + Quoted(value));
  }
  const py::sequence sides = py::reinterpret_borrow<py::sequence>(value);
  options->screen_width = static_cast<int>(IntegerArgument(sides[0], "screen", 1, ZAVOL_MAX_SIDE));
  options->screen_height = static_cast<int>(IntegerArgument(sides[1], "screen", 1, ZAVOL_MAX_SIDE));
}

// An option from the library's field table, by its name there (the keyword): a choice by one
// of its words, a number within its range; stored through zavol_field_set, which refuses what
// the tool and the library refuse.
void FieldArgument(py::handle value, const char* name, zavol_options* options) {
  const int index = zavol_field_find(name);
  const zavol_field_info* field = zavol_field(index);
  if (field == nullptr) throw std::logic_error(std::string("no field ") + name);
  double stored = 0;
  if (field->type == ZAVOL_FIELD_CHOICE) {
    const std::string word = TextArgument(value, name);
    std::string known;
    int i = 0;
    for (; i < field->choice_count && word != field->choice_words[i]; ++i) {
      known += (i == 0 ? "'" : ", '") + std::string(field->choice_words[i]) + "'";
    }
    if (i == field->choice_count) {
      throw py::value_error(std::string(name) + ": '" + word + "' is not one of " + known);
    }
    stored = field->choice_values[i];
  } else {
    stored = static_cast<double>(IntegerArgument(value, name, static_cast<long long>(field->minimum),
                                                 static_cast<long long>(field->maximum)));
  }
  if (zavol_field_set(nullptr, options, index, stored) != ZAVOL_OK) {
    throw py::value_error(std::string(name) + ": " + Quoted(value) + " is refused by the library");
  }
}

// The viewing options beyond the plug-in, with the field table's words and ranges; the defaults
// give the plug-in's pixels. anchor None lets the library choose (left for stream dots, centre
// for stable ones), as the tool does when --anchor is not given.
void ViewArguments(py::handle dots, py::handle dotSize, py::handle anchor, py::handle view,
                   py::handle oversample, py::handle linking, zavol_options* options) {
  FieldArgument(dots, "dots", options);
  FieldArgument(dotSize, "dot_size", options);
  if (!anchor.is_none()) FieldArgument(anchor, "anchor", options);
  FieldArgument(view, "view", options);
  FieldArgument(oversample, "oversample", options);
  FieldArgument(linking, "linking", options);
}

uint32_t SeedArgument(py::handle value) {
  // Without a seed every call gets dots of its own, as the tool's runs do from the clock.
  if (value.is_none()) return std::random_device{}();
  return static_cast<uint32_t>(IntegerArgument(value, "seed", 0, UINT32_MAX));
}

// zavol.StereogramWarning, kept from the module's creation: the module may be imported under
// another name (inside a package, as the Blender add-on bundles it), so it is never looked up
// by the name "zavol".
PyObject* stereogramWarning = nullptr;

// The warnings the tool gives about a frame that renders but cannot be seen as set up, in the
// module's words, through Python's warnings (category zavol.StereogramWarning). Throws when a
// warnings filter turned one into an exception.
void WarnAboutFrame(const zavol_findings& f, int width, int kind) {
  std::vector<std::string> warnings;
  if (f.scene == 0) {
    warnings.push_back("depth: no pixel lies in front of the background (read as " +
                       DepthKindWord(kind) + "), so the picture is flat; is depth_kind right?");
  }
  if (f.few_repeats != 0) {
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", f.repeats);
    warnings.push_back("the background repeats every " + std::to_string(f.background) + " px, only " +
                       count + " times across " + std::to_string(width) +
                       " px, too few to fuse; fit=True picks a dpi for " +
                       std::to_string(ZAVOL_FIT_REPEATS) +
                       ", or give the medium it is viewed on (viewing_medium, screen, custom_dpi)");
  }
  if (f.flat != ZAVOL_FLAT_NO) {
    const std::string both = "near and far separations are both " + std::to_string(f.separation) +
                             " px, so the scene shows flat; ";
    warnings.push_back(both + (f.flat == ZAVOL_FLAT_SAME_DEPTH
                                   ? "every scene pixel has the same depth; give the range with "
                                     "auto_distance=False, near_distance and far_distance"
                               : f.flat == ZAVOL_FLAT_SAME_FRACTION
                                   ? "set near_object_depth below far_object_depth"
                                   : "raise the resolution (fit=True or custom_dpi)"));
  }
  if (f.level_merges != 0) {
    char lies[32];
    std::snprintf(lies, sizeof lies, "%.6g", -f.level_depth);
    warnings.push_back("the farthest level of the depth (" + std::to_string(f.level_pixels) +
                       " pixels) gets the background's separation, " + std::to_string(f.background) +
                       " px, and merges with the background; " +
                       (f.lifted_by_far_object_depth != 0
                            ? std::string("set far_object_depth below 1 (e.g. 0.9) to lift it off")
                            : "raise far_distance beyond it (it lies at " + std::string(lies) +
                                  ") or set auto_distance=True"));
  }
  for (const std::string& warning : warnings) {
    if (PyErr_WarnEx(stereogramWarning, warning.c_str(), 2) != 0) throw py::error_already_set();
  }
}

// Integer heights as the PNG reader reads them: uint8 over 255, uint16 over 65535, in float32
// arithmetic, then read as heights unless depth_kind says otherwise. Other arrays as they are.
py::object HeightsOfIntegers(py::object depth, std::optional<int>* kind) {
  if (!py::isinstance<py::array>(depth)) return depth;
  const py::array array = py::reinterpret_borrow<py::array>(depth);
  if (array.dtype().kind() != 'u' || (array.itemsize() != 1 && array.itemsize() != 2)) return depth;
  if (*kind == ZAVOL_DEPTH_HOST) {
    throw py::value_error("depth: a " + py::str(array.dtype()).cast<std::string>() +
                          " array holds heights, as a PNG does; depth_kind 'host' wants the "
                          "engine's real numbers (float32); leave depth_kind out to read it as heights");
  }
  if (!*kind) *kind = ZAVOL_DEPTH_HEIGHT;
  const py::object numpy = py::module_::import("numpy");
  const py::object float32 = numpy.attr("float32");
  const float scale = array.itemsize() == 1 ? 1.0f / 255.0f : 1.0f / 65535.0f;
  return numpy.attr("multiply")(array.attr("astype")(float32), float32(scale));
}

py::object Render(py::object depth, py::object settings, py::object depthKind,
                  py::object farCutoff, py::object screen, py::object seed, py::object dots,
                  py::object dotSize, py::object anchor, py::object view, py::object oversample,
                  py::object linking, py::object pattern, py::object progress, py::object out,
                  bool fit, py::object threads, const py::kwargs& overrides) {
  zavol_settings record = SettingsArgument(settings, overrides);
  if (fit && (overrides.contains("viewing_medium") || overrides.contains("custom_dpi"))) {
    throw py::value_error("fit: chooses the dpi itself; give either fit=True or viewing_medium/custom_dpi");
  }
  std::optional<int> givenKind;
  if (!depthKind.is_none()) givenKind = DepthKindArgument(depthKind);
  depth = HeightsOfIntegers(depth, &givenKind);
  const int kind = givenKind.value_or(ZAVOL_DEPTH_HOST);
  const float cutoff = CutoffArgument(farCutoff);
  zavol_options options;
  zavol_options_default(&options);
  ScreenArgument(screen, &options);
  options.seed = SeedArgument(seed);
  ViewArguments(dots, dotSize, anchor, view, oversample, linking, &options);
  options.threads = static_cast<int>(IntegerArgument(threads, "threads", 0, 256));
  ProgressState state;
  if (!progress.is_none()) {
    if (!PyCallable_Check(progress.ptr())) {
      throw py::type_error("progress: expected a callable (row, last_row) -> bool, got " +
                           TypeName(progress));
    }
    state.callable = progress.ptr();
  }
  options.progress = AskProgress;
  options.user = &state;
  zavol_findings findings{};
  findings.struct_size = sizeof findings;
  options.findings = &findings;

  // Depth of another kind is converted into a copy of its own, never in the caller's array.
  DepthArgument depthArgument = DepthFromObject(depth, "depth", kind != ZAVOL_DEPTH_HOST);
  const zavol_depth& depthView = depthArgument.view;
  if (fit) {
    // As the tool's --fit: the custom medium at the dpi that fits the width.
    record.viewing_medium = CustomDpiMedium();
    record.custom_dpi = zavol_fit_dpi(&record, depthView.width);
  }
  // What the tool refuses is refused here, naming the field by its keyword (the table's name).
  char problem[256];
  if (zavol_settings_check(&record, nullptr, problem, sizeof problem, nullptr) != ZAVOL_OK) {
    throw py::value_error(std::string(problem) + ": the settings cannot make a picture");
  }
  RgbaArgument patternArgument;
  if (!pattern.is_none()) {
    patternArgument = RgbaFromObject(pattern, "pattern");
    options.pattern = &patternArgument.view;
  }
  zavol_image outView;
  py::object result;
  if (out.is_none()) {
    result = NewRgbaArray(depthView.width, depthView.height, &outView);
  } else {
    outView = OutFromObject(out, depthView.width, depthView.height);
    result = py::reinterpret_borrow<py::object>(out);
  }

  int status = ZAVOL_OK;
  {
    py::gil_scoped_release released;
    if (kind != ZAVOL_DEPTH_HOST) {
      // The copy of its own is contiguous.
      status = zavol_depth_convert(const_cast<float*>(depthView.values),
                                   static_cast<std::size_t>(depthView.width) * depthView.height,
                                   kind, cutoff);
    }
    if (status == ZAVOL_OK) status = zavol_render(&record, &depthView, &options, &outView);
  }
  if (state.error) std::rethrow_exception(state.error);
  if (status == ZAVOL_OK) WarnAboutFrame(findings, depthView.width, kind);
  switch (status) {
    case ZAVOL_OK: return result;
    case ZAVOL_E_STOPPED: return py::none();
    case ZAVOL_E_NO_MEMORY: throw std::bad_alloc();
    case ZAVOL_E_OVERLAP: throw py::value_error("out: shares memory with the depth or the pattern");
    default: throw std::runtime_error(std::string("render: ") + zavol_status_text(status));
  }
}

// A buffer that owns its memory as the base of the NumPy array that shows it.
template <class Owner>
py::capsule OwnedBy(std::unique_ptr<Owner> owner) {
  py::capsule capsule(owner.get(), [](void* p) { delete static_cast<Owner*>(p); });
  owner.release();
  return capsule;
}

py::array ReadDepth(py::object path, py::object depthKind, py::object channel,
                    py::object farCutoff) {
  const std::string file = PathArgument(path, "path");
  io::DepthReadOptions options;
  // io's kinds count as the ZAVOL_DEPTH_ kinds do.
  if (!depthKind.is_none()) options.kind = static_cast<io::DepthKind>(DepthKindArgument(depthKind));
  if (!channel.is_none()) options.channel = TextArgument(channel, "channel");
  options.farCutoff = CutoffArgument(farCutoff);
  auto map = std::make_unique<io::DepthMap>();
  {
    py::gil_scoped_release released;
    io::ReadDepthFile(file, options, *map);
  }
  const float* values = map->depth.data();
  const py::ssize_t width = map->width, height = map->height;
  return py::array(py::dtype::of<float>(), {height, width},
                   {width * py::ssize_t{sizeof(float)}, py::ssize_t{sizeof(float)}}, values,
                   OwnedBy(std::move(map)));
}

py::array ReadImage(py::object path) {
  const std::string file = PathArgument(path, "path");
  auto image = std::make_unique<io::Image64>();
  {
    py::gil_scoped_release released;
    *image = io::ReadImage(file);
  }
  const uint16_t* words = reinterpret_cast<const uint16_t*>(image->pixels.data());
  const py::ssize_t width = image->width, height = image->height;
  return py::array(py::dtype::of<uint16_t>(), {height, width, py::ssize_t{4}},
                   {8 * width, py::ssize_t{8}, py::ssize_t{2}}, words, OwnedBy(std::move(image)));
}

void WriteImage(py::object path, py::object img, py::object bits, py::object compression) {
  const std::string file = PathArgument(path, "path");
  io::ImageFormat format;
  if (!io::FormatForPath(file, &format)) {
    throw py::value_error("path: '" + file + "' does not end in .png, .pam or .exr");
  }
  io::WriteOptions options;
  options.pngBits = static_cast<int>(IntegerArgument(bits, "bits", 8, 16));
  if (options.pngBits != 8 && options.pngBits != 16) {
    throw py::value_error("bits: " + Quoted(bits) + " is neither 8 nor 16");
  }
  options.compression = static_cast<int>(IntegerArgument(compression, "compression", 0, 9));
  // As the tool does for one frame: compression on every core; the bytes stay the same.
  options.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const RgbaArgument image = RgbaFromObject(img, "img");
  const zavol_image& view = image.view;
  const std::ptrdiff_t rowStride = view.row_stride != 0 ? view.row_stride : 4 * view.width;

  py::gil_scoped_release released;
  io::OutputFile out(file);
  // Declared after the file: the writer and its threads end before an unfinished file goes.
  std::unique_ptr<io::RowWriter> writer =
      io::MakeRowWriter(format, out.Stream(), file, view.width, view.height, options);
  for (int y = 0; y < view.height; ++y) {
    writer->WriteRow(reinterpret_cast<const IoPixel*>(view.pixels + y * rowStride));
  }
  writer->Finish();
  writer.reset();
  out.Commit();
}

}  // namespace
}  // namespace zavol::python

PYBIND11_MODULE(zavol, module) {
  using namespace zavol::python;
  module.doc() = R"(Random-dot autostereograms from depth, with the engine of the zavol plug-in and tool.

    depth = zavol.read_depth("depth.exr")          # float32 (H, W), the engine's convention
    img = zavol.render(depth, seed=1)               # uint16 (H, W, 4): red, green, blue, alpha
    zavol.write_image("stereo.png", img)

Errors name the argument: TypeError for a wrong type, ValueError for a wrong value, and
zavol.FileError (an OSError) for a file that cannot be read or written.)";
  module.attr("__version__") = zavol_version();
  py::register_exception<zavol::io::IoError>(module, "FileError", PyExc_OSError);
  stereogramWarning = PyErr_NewExceptionWithDoc(
      "zavol.StereogramWarning",
      "A picture that renders but cannot be seen in relief as set up.", PyExc_UserWarning, nullptr);
  if (stereogramWarning == nullptr) throw py::error_already_set();
  // The module keeps one reference and the static another: the category lives as long as the
  // process, as the module does.
  module.attr("StereogramWarning") = py::reinterpret_borrow<py::object>(stereogramWarning);
  BindSettings(module);
  BindVideoWriter(module);
  BindFields(module);

  module.def("render", &Render, py::arg("depth"), py::arg("settings") = py::none(), py::kw_only(),
             py::arg("depth_kind") = py::none(), py::arg("far_cutoff") = 1e9,
             py::arg("screen") = py::make_tuple(1920, 1080), py::arg("seed") = py::none(),
             py::arg("dots") = "stream", py::arg("dot_size") = 1, py::arg("anchor") = py::none(),
             py::arg("view") = "wall", py::arg("oversample") = 1, py::arg("linking") = "classic",
             py::arg("pattern") = py::none(),
             py::arg("progress") = py::none(), py::arg("out") = py::none(), py::arg("fit") = false,
             py::arg("threads") = 0,
             R"(Renders the stereogram of a depth map.

depth: 2-D array-like (height, width) of real numbers, sides 1..65535; float32 arrays whose
  columns are 4 bytes apart are read in place, anything else through a float32 copy. NaN and
  infinities are passed on as they are.
  A uint8 or uint16 array holds heights as a PNG does: each value over 255 or 65535, read as
  depth_kind 'height' unless another kind is given.
settings: a zavol.Settings, or None for the defaults; keyword arguments named like its fields
  (near_object_depth=0.3, ...) override it for this call. Settings that cannot make a picture
  (a background_depth of 0, a NaN, a near_distance behind far_distance) raise ValueError naming
  the field, as the tool refuses them.
depth_kind: what the numbers mean: 'host' (the engine's convention: negative in front of the
  camera, nearer is closer to 0), 'distance', 'disparity', 'height' or 'mist'; None: 'host' for
  real numbers, 'height' for uint8 and uint16; far_cutoff is the distance at and beyond which a
  pixel is empty.
screen: (width, height) of the monitor for the monitor media.
seed: the dots' seed (0..2**32-1) when randomize_each_frame is set; None draws a fresh one.
dots: where new dots get their colours: 'stream' (the frame's random numbers one after another,
  the plug-in's dots) or 'stable' (a hash of the dot's place and the seed, so that dots hold
  still from frame to frame where the depth does; give every frame the same seed).
dot_size: dots of N x N pixels, 1..64.
anchor: which of a row's linked pixels gives them their colour: 'left' (the plug-in's) or
  'centre'; None: left for stream dots, centre for stable ones.
view: 'wall' (eyes diverged behind the picture, the plug-in's) or 'cross' (crossed in front of
  it); either way the scene comes out toward the viewer.
oversample: rows linked at N sub-pixels per pixel and averaged down, 1..8.
linking: 'classic' (each pixel repeats the one a separation to its left, the plug-in's) or
  'symmetric' (pairs centred on each point, hidden surfaces left unlinked).
pattern: optional (height, width, 3 or 4) uint8 or uint16 image whose pixel (x, y) is the dot at
  (x, y); 8-bit samples count as their value times 256.
progress: optional callable(row, last_row) asked before every row; a true result stops the frame
  and render returns None. Ctrl-C raises KeyboardInterrupt with or without it.
out: optional (height, width, 4) uint16 array to render into instead of a new one.
fit: choose the dpi (custom medium) so that the background repeats 8 times across the width, as
  the tool's --fit; for pictures whose viewing medium is unknown.
threads: the threads the frame's rows render on, 0 (every core) to 256; the pixels are the same
  for any number.

A picture that renders but cannot be seen in relief as set up (too few background repeats to
fuse, near and far at one separation, no pixel in front of the background) is told through
Python's warnings, category zavol.StereogramWarning, as the tool warns.

Returns a (height, width, 4) uint16 array of red, green, blue and alpha (65535 is full): the
values `zavol render -o frame.pam` writes. The GIL is released while the engine runs, so
frames rendered on several threads use several cores.)");

  module.def("read_depth", &ReadDepth, py::arg("path"), py::arg("depth_kind") = py::none(),
             py::arg("channel") = py::none(), py::kw_only(), py::arg("far_cutoff") = 1e9,
             R"(Reads a depth file (OpenEXR, PFM or PNG, told apart by its first bytes) as the tool
does, into a float32 (height, width) array in the engine's convention (empty pixels -1e30).

depth_kind: what the file's numbers mean (default: EXR 'distance', PFM 'host', PNG 'height').
channel: the EXR channel (default Z, else one ending in .Depth.Z, else in .Z).
far_cutoff: distances at or beyond it are empty.)");

  module.def("read_image", &ReadImage, py::arg("path"),
             R"(Reads a PNG or PAM image as the tool reads patterns: a (height, width, 4) uint16
array of red, green, blue and alpha, 8-bit samples times 256.)");

  module.def("write_image", &WriteImage, py::arg("path"), py::arg("img"), py::arg("bits") = 8,
             py::kw_only(), py::arg("compression") = 1,
             R"(Writes an RGBA image as the tool writes stereograms, chosen by the extension:
.png (8-bit RGB, or 16-bit with bits=16; deflate level `compression` 0..9), .pam (16-bit RGBA,
exact) or .exr (half-float RGBA). img is a (height, width, 3 or 4) uint8 or uint16 array. The
file appears under its name only when complete.)");
}
