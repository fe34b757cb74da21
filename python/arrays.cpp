// Array arguments: shapes, dtypes and strides checked before any pointer is taken, so that no
// array reaches the engine with a layout it would misread.
#include "python/arrays.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "io/large_buffer.h"

namespace py = pybind11;

namespace zavol::python {
namespace {

py::module_ Numpy() { return py::module_::import("numpy"); }

std::string Shape(const py::array& array) { return py::str(array.attr("shape")); }

bool Aligned(const void* data, std::size_t alignment) {
  return reinterpret_cast<std::uintptr_t>(data) % alignment == 0;
}

// Any array-like through numpy.asarray; what NumPy cannot make an array of is a TypeError.
py::array AsArray(py::handle value, const char* name) {
  if (py::isinstance<py::array>(value)) return py::reinterpret_borrow<py::array>(value);
  if (value.is_none() || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) {
    throw py::type_error(std::string(name) + ": expected an array, got " + TypeName(value));
  }
  try {
    return Numpy().attr("asarray")(value);
  } catch (py::error_already_set& e) {
    py::raise_from(e, PyExc_TypeError, (std::string(name) + ": not an array of numbers").c_str());
    throw py::error_already_set();
  }
}

// Sides the engine takes: 1..ZAVOL_MAX_SIDE.
void CheckSides(const py::array& array, const char* name) {
  for (int axis = 0; axis < 2; ++axis) {
    if (array.shape(axis) == 0) {
      throw py::value_error(std::string(name) + ": the array is empty, shape " + Shape(array));
    }
    if (array.shape(axis) > ZAVOL_MAX_SIDE) {
      throw py::value_error(std::string(name) + ": sides up to " + std::to_string(ZAVOL_MAX_SIDE) +
                            " pixels, got shape " + Shape(array));
    }
  }
}

// Whether rows of `rowBytes` lie at a stride the C interface can take: in order, not
// overlapping, a whole number of words apart. A single row's stride is never used.
bool RowsInOrder(const py::array& array, std::size_t word, py::ssize_t rowBytes) {
  const py::ssize_t stride = array.strides(0);
  return array.shape(0) == 1 ||
         (stride >= rowBytes && stride % static_cast<py::ssize_t>(word) == 0);
}

std::ptrdiff_t RowStrideInWords(const py::array& array, std::size_t word) {
  return array.shape(0) == 1 ? 0 : array.strides(0) / static_cast<py::ssize_t>(word);
}

// The memory of a frame's output array.
struct Block {
  void* words;
  std::size_t bytes;
};

// The last output block whose array has gone, kept for the next frame of the same size: a loop
// that renders, writes and drops frames then renders into memory already mapped, instead of
// having the kernel clear a fresh frame each time (a sixth of a 4K frame's time). One block at
// most, of at most kKeptBytes; it is never freed, like an allocator's cache.
constexpr std::size_t kKeptBytes = std::size_t{512} << 20;
std::mutex& KeptMutex() {
  static std::mutex* mutex = new std::mutex;  // outlives every array, even at exit
  return *mutex;
}
Block* gKept = nullptr;

Block* TakeKeptBlock(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(KeptMutex());
  if (gKept == nullptr || gKept->bytes != bytes) return nullptr;
  return std::exchange(gKept, nullptr);
}

void KeepBlock(Block* block) {
  if (block->bytes <= kKeptBytes) {
    std::lock_guard<std::mutex> lock(KeptMutex());
    std::swap(block, gKept);  // the newest stays; the one it replaces is freed below
  }
  if (block != nullptr) {
    io::FreeLarge(block->words, block->bytes);
    delete block;
  }
}

}  // namespace

std::string TypeName(py::handle value) {
  return py::str(py::type::of(value).attr("__name__"));
}

DepthArgument DepthFromObject(py::handle depth, const char* name, bool ownCopy) {
  py::array array = AsArray(depth, name);
  if (array.ndim() != 2) {
    throw py::value_error(std::string(name) + ": expected a 2-D array (height, width), got shape " +
                          Shape(array));
  }
  const char kind = array.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
    throw py::type_error(std::string(name) + ": expected real numbers, got dtype " +
                         py::str(array.dtype()).cast<std::string>());
  }
  CheckSides(array, name);
  const int width = static_cast<int>(array.shape(1));
  const bool inPlace = !ownCopy && py::isinstance<py::array_t<float, 0>>(array) &&
                       array.strides(1) == sizeof(float) && Aligned(array.data(), alignof(float)) &&
                       RowsInOrder(array, sizeof(float), width * py::ssize_t{sizeof(float)});
  if (!inPlace) {
    // A float32 copy, row by row in order; NaN and infinities stay what they are.
    array = Numpy().attr("array")(array, py::arg("dtype") = Numpy().attr("float32"),
                                  py::arg("order") = "C");
  }
  const zavol_depth view{static_cast<const float*>(array.data()), width,
                         static_cast<int>(array.shape(0)), RowStrideInWords(array, sizeof(float))};
  return DepthArgument{array, view};
}

RgbaArgument RgbaFromObject(py::handle image, const char* name) {
  py::array array = AsArray(image, name);
  if (array.ndim() != 3 || (array.shape(2) != 3 && array.shape(2) != 4)) {
    throw py::value_error(std::string(name) +
                          ": expected a (height, width, 3 or 4) array of RGB(A), got shape " +
                          Shape(array));
  }
  const py::dtype dtype = array.dtype();
  if (dtype.kind() != 'u' || (dtype.itemsize() != 1 && dtype.itemsize() != 2)) {
    throw py::type_error(std::string(name) + ": expected uint8 or uint16 samples, got dtype " +
                         py::str(py::handle(dtype)).cast<std::string>());
  }
  CheckSides(array, name);
  if (dtype.itemsize() == 2 && !py::isinstance<py::array_t<uint16_t, 0>>(array)) {
    array = Numpy().attr("asarray")(array, py::arg("dtype") = Numpy().attr("uint16"));  // byte order
  }
  const int width = static_cast<int>(array.shape(1));
  const int height = static_cast<int>(array.shape(0));
  const bool sixteen = dtype.itemsize() == 2;
  const py::ssize_t channels = array.shape(2);
  RgbaArgument argument{array, {}, {}};
  if (sixteen && channels == 4 && array.strides(2) == 2 && array.strides(1) == 8 &&
      Aligned(array.data(), alignof(uint16_t)) && RowsInOrder(array, 2, 8 * py::ssize_t{width})) {
    // The library only reads a pattern, so a read-only array is viewed as it is.
    argument.view = zavol_image{static_cast<uint16_t*>(const_cast<void*>(array.data())), width,
                                height, RowStrideInWords(array, 2)};
    return argument;
  }
  // Any other layout, sample by sample through the strides.
  argument.converted.resize(std::size_t{4} * static_cast<std::size_t>(width) * height);
  const auto* bytes = static_cast<const unsigned char*>(array.data());
  uint16_t* out = argument.converted.data();
  for (py::ssize_t y = 0; y < height; ++y) {
    for (py::ssize_t x = 0; x < width; ++x, out += 4) {
      const unsigned char* pixel = bytes + y * array.strides(0) + x * array.strides(1);
      for (py::ssize_t c = 0; c < 4; ++c) {
        if (c == 3 && channels == 3) {
          out[c] = sixteen ? 0xFFFF : 0xFF00;  // as an opaque 8-bit sample widens
          continue;
        }
        const unsigned char* sample = pixel + c * array.strides(2);
        uint16_t value;
        if (sixteen) std::memcpy(&value, sample, 2);
        else value = static_cast<uint16_t>(*sample << 8);
        out[c] = value;
      }
    }
  }
  argument.view = zavol_image{argument.converted.data(), width, height, 0};
  return argument;
}

zavol_image OutFromObject(py::handle out, int width, int height) {
  if (!py::isinstance<py::array>(out)) {
    throw py::type_error("out: expected a NumPy array, got " + TypeName(out));
  }
  py::array array = py::reinterpret_borrow<py::array>(out);
  if (!py::isinstance<py::array_t<uint16_t, 0>>(array)) {
    throw py::type_error("out: expected dtype uint16, got " +
                         py::str(array.dtype()).cast<std::string>());
  }
  if (array.ndim() != 3 || array.shape(0) != height || array.shape(1) != width ||
      array.shape(2) != 4) {
    throw py::value_error("out: expected shape (" + std::to_string(height) + ", " +
                          std::to_string(width) + ", 4) like the depth, got " + Shape(array));
  }
  if (!array.writeable()) throw py::value_error("out: the array is read-only");
  if (array.strides(2) != 2 || array.strides(1) != 8 || !Aligned(array.data(), 2) ||
      !RowsInOrder(array, 2, 8 * py::ssize_t{width})) {
    throw py::value_error("out: pixels must be 8 bytes apart and rows in order, top to bottom");
  }
  return zavol_image{static_cast<uint16_t*>(array.mutable_data()), width, height,
                     RowStrideInWords(array, 2)};
}

py::array NewRgbaArray(int width, int height, zavol_image* view) {
  const std::size_t bytes = std::size_t{8} * static_cast<std::size_t>(width) * height;
  Block* block = TakeKeptBlock(bytes);
  if (block == nullptr) block = new Block{io::AllocateLarge(bytes), bytes};  // MemoryError
  const py::capsule owner(block, [](void* p) { KeepBlock(static_cast<Block*>(p)); });
  *view = zavol_image{static_cast<uint16_t*>(block->words), width, height, 0};
  return py::array(py::dtype::of<uint16_t>(), {py::ssize_t{height}, py::ssize_t{width}, py::ssize_t{4}},
                   {py::ssize_t{8} * width, py::ssize_t{8}, py::ssize_t{2}}, block->words, owner);
}

}  // namespace zavol::python
