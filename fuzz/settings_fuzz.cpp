// Fuzz target: the settings block reader of `zavol settings` and `zavol render --settings`. A
// 56-byte file is a block, whatever its bytes, and must come back byte for byte when saved (the
// host restores blocks as they are); every other size is a bad file with a reason.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cli/settings_options.h"
#include "fuzz/reader_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace zavol;
  const std::string& path = fuzz::Input().Write(data, size);
  StereogramSettings settings;
  try {
    settings = cli::ReadSettingsBlock(path);
  } catch (const io::IoError& error) {
    fuzz::CheckError(error, path);
    if (size == kSettingsSize) fuzz::Finding("a 56-byte block turned down");
    return 0;
  }
  if (size != kSettingsSize) fuzz::Finding("a block of the wrong size taken");
  const std::string text = cli::DescribeSettings(settings);
  if (text.empty()) fuzz::Finding("a block described as nothing");
  // A real that is not a number is shown by its bits, never as the C library's "nan".
  if (text.find("nan") != std::string::npos) fuzz::Finding("a field shown as nan");
  unsigned char saved[kSettingsSize];
  SaveSettings(settings, saved);
  if (std::memcmp(saved, data, kSettingsSize) != 0) fuzz::Finding("a block that does not save back as read");
  return 0;
}
