// The engine's one way of sharing work among threads: a team of a given size, the calling thread
// included, with the thread budget passed down by whoever asked for the frame (never a
// process-wide setting). Portable C++17 with the standard library's threads.
#pragma once

#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace zavol {

// Runs work(0) on the calling thread and work(1) .. work(count - 1) on threads of their own, and
// returns when all are done. A thread the system refuses (or memory for its handle) is left
// out, never an error: work must be shared out as it is taken, so that whoever takes part gets
// all of it done. Nothing is thrown; work itself must not throw.
template <class Work>
void RunTeam(int count, Work&& work) noexcept {
  std::vector<std::thread> team;
  try {
    team.reserve(static_cast<std::size_t>(count > 1 ? count - 1 : 0));
    for (int i = 1; i < count; ++i) team.emplace_back([&work, i] { work(i); });
  } catch (const std::system_error&) {
    // Fewer threads: the ones started and this one share the work.
  } catch (const std::bad_alloc&) {
  }
  work(0);
  for (std::thread& thread : team) thread.join();
}

}  // namespace zavol
