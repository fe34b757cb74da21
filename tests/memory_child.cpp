// A frame through zavol_render in a process whose address space is capped at what it uses once
// its buffers are set up and a little more, so that the frame's working memory cannot be had.
// Run by libzavol_tests as a fresh process (a test process's heap keeps freed memory that would
// serve the frame). Arguments: oversample, linking, dots. Exit 0 when the frame failed with
// ZAVOL_E_NO_MEMORY and wrote nothing, and then rendered once the cap was lifted.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "libzavol/zavol.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  constexpr int kWidth = ZAVOL_MAX_SIDE, kHeight = 2;
  constexpr uint16_t kCanary = 0xA5C3;
  std::vector<float> depth(static_cast<std::size_t>(kWidth) * kHeight, -1.5f);
  std::vector<uint16_t> pixels(4 * depth.size(), kCanary);
  zavol_settings settings;
  zavol_settings_default(&settings);
  zavol_options options;
  zavol_options_default(&options);
  options.oversample = std::atoi(argv[1]);
  options.linking = std::atoi(argv[2]);
  options.dots = std::atoi(argv[3]);
  const zavol_depth in{depth.data(), kWidth, kHeight, 0};
  zavol_image out{pixels.data(), kWidth, kHeight, 0};

  rlimit before{};
  unsigned long pagesNow = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%lu", &pagesNow) != 1) return 2;
  std::fclose(statm);
  if (getrlimit(RLIMIT_AS, &before) != 0) return 2;
  const rlim_t cap = pagesNow * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + 256 * 1024;
  rlimit limit{cap, before.rlim_max};
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 2;
  const int status = zavol_render(&settings, &in, &options, &out);
  if (status == ZAVOL_OK) return 1;
  if (status != ZAVOL_E_NO_MEMORY) return 10 - status;
  if (!std::all_of(pixels.begin(), pixels.end(), [](uint16_t w) { return w == kCanary; })) return 3;
  if (setrlimit(RLIMIT_AS, &before) != 0) return 2;
  return zavol_render(&settings, &in, &options, &out) == ZAVOL_OK ? 0 : 5;
}
