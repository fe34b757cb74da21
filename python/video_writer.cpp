// zavol.VideoWriter: frames as NumPy arrays into one video file through the tool's own video
// writer (io/video_write.h), so a Python program's videos are the bytes `zavol render -o out.mp4`
// writes for the same frames. The file appears under its name only when closed after a complete
// run; an exception inside the `with` block leaves nothing behind. Depends on pybind11, io/ and
// python/arrays.h.
#include "python/video_writer.h"

#include <pybind11/numpy.h>

#include <cstdint>
#include <memory>
#include <string>

#include "io/error.h"
#include "io/video_write.h"
#include "python/arrays.h"

namespace py = pybind11;

namespace zavol::python {
namespace {

// A pixel as io's writers take it: four 16-bit words, red, green, blue, alpha, as in zavol_image.
using IoPixel = decltype(io::Image64::pixels)::value_type;
static_assert(sizeof(IoPixel) == 4 * sizeof(uint16_t), "io's pixels are zavol_image's four words");

// zavol.StereogramWarning, taken when the class is bound.
PyObject* warningCategory = PyExc_UserWarning;

std::string Repr(py::handle value) { return py::repr(value).cast<std::string>(); }

class VideoWriter {
 public:
  VideoWriter(py::object path, py::object fps, py::object codec, py::object crf,
              py::object preset, py::object format) {
    try {
      path_ = py::module_::import("os").attr("fsdecode")(path).cast<std::string>();
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_TypeError)) throw;
      throw py::type_error("path: expected a str or os.PathLike, got " + TypeName(path));
    }
    if (format.is_none()) {
      if (!io::VideoFormatForPath(path_, &format_)) {
        throw py::value_error("path: '" + path_ +
                              "' does not end in .mp4, .mkv, .webm, .gif or .y4m (or give format=)");
      }
    } else if (!PyUnicode_Check(format.ptr()) ||
               !io::VideoFormatForName(format.cast<std::string>(), &format_)) {
      throw py::value_error("format: " + Repr(format) +
                            " is not one of 'mp4', 'mkv', 'webm', 'gif', 'y4m', 'rgb48'");
    }
    // 24, 29.97, "30000/1001" and fractions.Fraction(30000, 1001) all read as the tool's --fps.
    if (PyBool_Check(fps.ptr()) ||
        !(PyUnicode_Check(fps.ptr()) || PyNumber_Check(fps.ptr()))) {
      throw py::type_error("fps: expected a number or a str such as '30000/1001', got " +
                           TypeName(fps));
    }
    const std::string rate = py::str(fps).cast<std::string>();
    if (!io::ParseVideoRate(rate, &options_.rate)) {
      throw py::value_error("fps: " + Repr(fps) + " is not a rate above 0 and at most 1000");
    }
    if (!codec.is_none()) options_.codec = TextOf(codec, "codec");
    if (!preset.is_none()) options_.preset = TextOf(preset, "preset");
    if (!crf.is_none()) {
      if (PyBool_Check(crf.ptr()) || !PyLong_Check(crf.ptr())) {
        throw py::type_error("crf: expected an integer, got " + TypeName(crf));
      }
      const long value = crf.cast<long>();
      if (value < 0 || value > 63) throw py::value_error("crf: " + Repr(crf) + " is outside 0..63");
      options_.crf = static_cast<int>(value);
    }
    // Checked against what the encoder declares, so a codec or value it refuses is found before
    // any frame; an option it has no use for is a warning, as in the tool.
    std::string warning;
    const std::string problem = io::VideoOptionsProblem(format_, options_, &warning);
    if (!problem.empty()) throw py::value_error(problem);
    if (!warning.empty() && PyErr_WarnEx(warningCategory, warning.c_str(), 2) != 0) {
      throw py::error_already_set();
    }
  }

  // One frame: (height, width, 3 or 4) uint8 or uint16, every frame the first frame's size.
  void Write(py::object img) {
    if (closed_) throw py::value_error(path_ + ": the video is closed");
    const RgbaArgument image = RgbaFromObject(img, "img");
    const zavol_image& view = image.view;
    if (writer_ == nullptr) {
      py::gil_scoped_release released;
      writer_ = io::OpenVideoWriter(format_, path_, view.width, view.height, options_);
      frame_ = writer_->NewFrame();
      width_ = view.width;
      height_ = view.height;
    } else if (view.width != width_ || view.height != height_) {
      throw py::value_error("img: the frame is " + Sides(view.width, view.height) +
                            ", the video's frames " + Sides(width_, height_));
    }
    const std::ptrdiff_t rowStride = view.row_stride != 0 ? view.row_stride : 4 * view.width;
    try {
      py::gil_scoped_release released;
      frame_->Begin();
      for (int y = 0; y < view.height; ++y) {
        frame_->WriteRow(reinterpret_cast<const IoPixel*>(view.pixels + y * rowStride));
      }
      frame_->Finish();
      writer_->Write(*frame_);
    } catch (const io::IoError&) {
      Abandon();  // a video missing a frame would be wrong: nothing is written
      throw;
    }
    ++frames_;
  }

  // Flushes the encoder and puts the file in place. A video of no frames is refused (no file).
  void Close() {
    if (closed_) return;
    closed_ = true;
    if (writer_ == nullptr) throw py::value_error(path_ + ": no frames were written; no video made");
    std::unique_ptr<io::VideoWriter> writer = std::move(writer_);
    frame_.reset();
    // The flush encodes the frames the encoder still holds; Ctrl-C stops it, and then no file
    // appears.
    bool interrupted = false;
    {
      py::gil_scoped_release released;
      writer->Finish([&interrupted] {
        py::gil_scoped_acquire gil;
        interrupted = PyErr_CheckSignals() != 0;
        return !interrupted;
      });
    }
    if (interrupted) throw py::error_already_set();
  }

  // Drops the video unfinished: nothing appears under its name.
  void Abandon() {
    closed_ = true;
    frame_.reset();
    writer_.reset();
  }

  const std::string& Path() const { return path_; }
  long long Frames() const { return frames_; }
  bool Closed() const { return closed_; }

 private:
  static std::string TextOf(py::handle value, const char* name) {
    if (!PyUnicode_Check(value.ptr())) {
      throw py::type_error(std::string(name) + ": expected a str, got " + TypeName(value));
    }
    return value.cast<std::string>();
  }
  static std::string Sides(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
  }

  std::string path_;
  io::VideoFormat format_ = io::VideoFormat::kMp4;
  io::VideoWriteOptions options_;
  std::unique_ptr<io::VideoWriter> writer_;
  std::unique_ptr<io::VideoFrame> frame_;
  int width_ = 0, height_ = 0;
  long long frames_ = 0;
  bool closed_ = false;
};

}  // namespace

void BindVideoWriter(py::module_& module) {
  if (py::hasattr(module, "StereogramWarning")) {
    warningCategory = module.attr("StereogramWarning").ptr();  // the module keeps it alive
  }
  py::class_<VideoWriter>(module, "VideoWriter", R"(Frames into one video file, written by the zavol tool's video writer.

    with zavol.VideoWriter("out.mp4", fps=24, crf=18) as video:
        for depth in frames:
            video.write(zavol.render(depth, seed=7, dots="stable"))

path: .mp4 (H.264), .mkv (FFV1, lossless), .webm (VP9), .gif or .y4m, or any name with
  format= one of 'mp4', 'mkv', 'webm', 'gif', 'y4m', 'rgb48'.
fps: frames per second: 24, 29.97, '30000/1001', a fractions.Fraction (above 0, at most 1000).
codec, crf, preset: another FFmpeg encoder, its constant quality and speed preset, as the
  tool's --codec, --crf and --preset; refused here when the encoder does not take them.
The video appears under its name when close() (or the end of the with block) finishes it;
an exception in the block, or a frame that cannot be written, leaves no file.)")
      .def(py::init<py::object, py::object, py::object, py::object, py::object, py::object>(),
           py::arg("path"), py::kw_only(), py::arg("fps") = 24, py::arg("codec") = py::none(),
           py::arg("crf") = py::none(), py::arg("preset") = py::none(),
           py::arg("format") = py::none())
      .def("write", &VideoWriter::Write, py::arg("img"),
           "Adds a frame: (height, width, 3 or 4) uint8 or uint16 RGB(A), as zavol.render returns "
           "it; every frame has the first one's size.")
      .def("close", &VideoWriter::Close, "Finishes the video and puts it in place.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__",
           [](VideoWriter& self, py::object type, py::object, py::object) {
             if (type.is_none()) {
               self.Close();
             } else {
               self.Abandon();
             }
             return false;
           })
      .def_property_readonly("path", &VideoWriter::Path)
      .def_property_readonly("frames", &VideoWriter::Frames, "Frames written so far.")
      .def_property_readonly("closed", &VideoWriter::Closed);
}

}  // namespace zavol::python
