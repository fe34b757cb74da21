// What every subcommand of the zavol tool shares: exit codes, one-line messages on stderr, the
// progress bar, the stop signals, numbers in messages and the suggestions for misspelt words.
// Depends on the standard library, POSIX signals and CLI11 only.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace CLI {
class Validator;
}

namespace zavol::cli {

constexpr int kFailed = 1;      // a bad input file or a failed frame
constexpr int kUsageError = 2;  // the command line asks for something that cannot be done

// "zavol: message" on stderr, clearing the progress bar first. Safe from any thread.
void Report(const std::string& message);
// "zavol: warning: message": the run goes on.
void Warn(const std::string& message);
// The same, only the first time key is warned about in this run (a sequence's frames would
// otherwise repeat it for every frame).
void WarnOnce(const std::string& key, const std::string& message);
// Reports message and where to read more ("zavol help COMMAND", or "zavol help" when command
// is empty); returns kUsageError.
int UsageError(const std::string& message, const std::string& command = "");

// The bar on stderr: frames (or other units) done of total, the rate and the time left (total
// -1: unknown, then only the units done and the rate).
void DrawBar(int done, int total, double seconds, const char* unit = "frames");
void ClearBar();

// SIGINT, SIGTERM and SIGHUP set the stop flag, which every frame looks at before each row;
// SIGPIPE is ignored so that a closed pipe is a write error, not a death that leaves
// temporaries behind.
void CatchStopSignals();
const std::atomic<bool>& StopFlag();
bool StopRequested();
// 128 + the first stop signal, as a shell reports a program ended by it.
int StoppedExitCode();

// The shortest text that reads back as the same double: 0.4, 1e30, 2400.
std::string ShortNumber(double value);
// A CLI11 check that a number lies in [minimum, maximum], saying so in short numbers
// ("1e31 is not within 0 to 1e30").
CLI::Validator NumberWithin(double minimum, double maximum);

// The candidate closest to word by edit distance, if it is close enough to be a likely
// misspelling (at most a third of the word's letters wrong); empty otherwise.
std::string Closest(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace zavol::cli
