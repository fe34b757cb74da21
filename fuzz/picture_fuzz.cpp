// Fuzz target: the decoder's picture reader (PNG, PAM, JPEG), as `zavol decode` calls it, and
// the decoder itself on whatever pixels a small picture holds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/reader_input.h"
#include "io/formats.h"
#include "render/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace zavol;
  const std::string& path = fuzz::Input().Write(data, size);
  io::Image64 image;
  try {
    image = io::ReadPicture(path);
  } catch (const io::IoError& error) {
    fuzz::CheckError(error, path);
    return 0;
  }
  if (image.width < 1 || image.height < 1 || image.width > io::kMaxSide || image.height > io::kMaxSide ||
      image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
    fuzz::Finding("a picture whose sides are out of range or do not match its pixels");
  }
  // Small pictures only: the decoder's time grows with width times the shifts searched.
  if (image.width < 2 || image.pixels.size() > 4096) return 0;
  DecodeOptions options;
  options.bounds = {1, image.width - 1 < 40 ? image.width - 1 : 40};
  options.window = 1 + 2 * static_cast<int>(data[size / 2] % 5);
  options.oversample = 1 + static_cast<int>(data[size / 3] % kMaxOversample);
  std::vector<float> separations(image.pixels.size()), confidence(image.pixels.size());
  const ConstPixelView view{reinterpret_cast<const uint16_t*>(image.pixels.data()), image.width,
                            image.height, 4 * static_cast<std::ptrdiff_t>(image.width)};
  if (DecodeStereogram(view, options, separations.data(), confidence.data()) != FrameStatus::kDone) {
    fuzz::Finding("the decoder refused a picture it should take");
  }
  for (std::size_t i = 0; i < separations.size(); ++i) {
    const float s = separations[i];
    if (!std::isnan(s) && !(s >= 0.5f && s <= options.bounds.maxSeparation + 0.5f)) {
      fuzz::Finding("a separation outside the range searched");
    }
    if (!(confidence[i] >= 0.0f && confidence[i] <= 1.0f)) fuzz::Finding("a confidence outside 0..1");
  }
  return 0;
}
