// Messages, the progress bar, stop signals, short numbers and suggestions.
#include "cli/tool.h"

#include <CLI/CLI.hpp>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <set>

#include "render/frame_checks.h"

namespace zavol::cli {
namespace {

std::mutex gOutputMutex;
bool gBarShown = false;
std::set<std::string> gWarned;

std::atomic<bool> gStop{false};
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "set from a signal handler");

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  gStopSignal.compare_exchange_strong(none, signal);
  gStop.store(true);
}

void Line(const std::string& text) {
  std::lock_guard<std::mutex> lock(gOutputMutex);
  if (gBarShown) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "zavol: %s\n", text.c_str());
}

std::string FormatDuration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) that turn a into b.
std::size_t EditDistance(const std::string& a, const std::string& b) {
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
  for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[n][m];
}

}  // namespace

void Report(const std::string& message) { Line(message); }

void Warn(const std::string& message) { Line("warning: " + message); }

void WarnOnce(const std::string& key, const std::string& message) {
  {
    std::lock_guard<std::mutex> lock(gOutputMutex);
    if (!gWarned.insert(key).second) return;
  }
  Warn(message);
}

int UsageError(const std::string& message, const std::string& command) {
  Report(message);
  std::fprintf(stderr, "Run 'zavol help%s' for %s.\n", command.empty() ? "" : (" " + command).c_str(),
               command.empty() ? "the commands" : "its options");
  return kUsageError;
}

void DrawBar(int done, int total, double seconds, const char* unit) {
  if (total < 0) {
    // A video of unknown length: no bar to fill, no time to tell.
    std::lock_guard<std::mutex> lock(gOutputMutex);
    std::fprintf(stderr, "\r\033[K%d %s  %.1f %s/s", done, unit, seconds > 0 ? done / seconds : 0.0, unit);
    std::fflush(stderr);
    gBarShown = true;
    return;
  }
  constexpr int kCells = 30;
  const int filled = total > 0 ? static_cast<int>(static_cast<int64_t>(done) * kCells / total) : kCells;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kCells - filled), '.');
  const double rate = seconds > 0 ? done / seconds : 0;
  const std::string left = done > 0 ? FormatDuration((total - done) / rate) + " left" : "";
  std::lock_guard<std::mutex> lock(gOutputMutex);
  std::fprintf(stderr, "\r\033[K[%s] %d/%d %s  %.1f %s/s  %s", bar.c_str(), done, total, unit,
               rate, unit, left.c_str());
  std::fflush(stderr);
  gBarShown = true;
}

void ClearBar() {
  std::lock_guard<std::mutex> lock(gOutputMutex);
  if (gBarShown) std::fputs("\r\033[K", stderr);
  gBarShown = false;
}

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

const std::atomic<bool>& StopFlag() { return gStop; }

bool StopRequested() { return gStop.load(); }

int StoppedExitCode() { return 128 + gStopSignal.load(); }

std::string ShortNumber(double value) { return zavol::ShortNumber(value); }

CLI::Validator NumberWithin(double minimum, double maximum) {
  const std::string range = ShortNumber(minimum) + " to " + ShortNumber(maximum);
  return CLI::Validator(
      [minimum, maximum, range](std::string& text) -> std::string {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value)) return "'" + text + "' is not a number";
        if (!(value >= minimum && value <= maximum)) return text + " is not within " + range;
        return {};
      },
      "in " + range);
}

std::string Closest(const std::string& word, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = word.size() / 3 + 1;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(word, candidate);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace zavol::cli
