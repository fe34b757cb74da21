// The engine's one way of sharing work among threads: a team of a given size, with the thread
// budget passed down by whoever asked for the work (never a process-wide setting). Portable C++17
// with the standard library's threads.
//
// One rule for every team:
// - A thread the system refuses (or memory for its handle) is left out, never an error: work
//   must be shared out as it is taken, so that whoever takes part gets all of it done; when no
//   thread starts, the thread that made the team does it all.
// - Nothing is thrown out of a member. What a member's work lets out ends that member, is kept
//   for the thread that made the team (Failure, after Join), and asks the others to stop
//   (Stopping), which work that can fail looks at between its pieces.
#pragma once

#include <atomic>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace zavol {

// Threads that work for the thread that made the team, the coordinator (member 0). The
// coordinator may take part in the same work, or do work of its own meanwhile (write what the
// members finish, draw progress, feed them), and joins them. A team may outlive the call that
// started it: the destructor joins, so a team declared after the state its members use never
// outlives that state.
class ThreadTeam {
 public:
  ThreadTeam() = default;
  ThreadTeam(const ThreadTeam&) = delete;
  ThreadTeam& operator=(const ThreadTeam&) = delete;
  ~ThreadTeam() { Join(); }

  // Starts up to count members, each running work(member) on a thread of its own, the members
  // numbered on from those started before (1, 2, ...). Returns how many started.
  template <class Work>
  int Start(int count, Work work) noexcept {
    int started = 0;
    try {
      threads_.reserve(threads_.size() + static_cast<std::size_t>(count > 0 ? count : 0));
      for (; started < count; ++started) {
        const int member = static_cast<int>(threads_.size()) + 1;
        threads_.emplace_back([this, work, member]() mutable { TakePart(member, work); });
      }
    } catch (const std::system_error&) {
      // Fewer threads: the ones started and the coordinator share the work.
    } catch (const std::bad_alloc&) {
    }
    return started;
  }

  // Runs work(member) on the calling thread under the team's rule (the coordinator's own part).
  template <class Work>
  void TakePart(int member, Work& work) noexcept {
    try {
      work(member);
    } catch (...) {
      if (!failed_.exchange(true)) failure_ = std::current_exception();
      stopping_.store(true);
    }
  }

  // Waits for every member started; a joined team may be started again.
  void Join() noexcept {
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
    threads_.clear();
  }

  // Threads started and not yet joined.
  int Size() const noexcept { return static_cast<int>(threads_.size()); }

  // Set once a member has failed, or the coordinator asked the members to stop.
  bool Stopping() const noexcept { return stopping_.load(std::memory_order_relaxed); }
  void Stop() noexcept { stopping_.store(true); }

  // What the first member to fail let out; null when none did. Read after Join.
  std::exception_ptr Failure() const noexcept { return failure_; }

 private:
  std::vector<std::thread> threads_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::exception_ptr failure_;
};

// Runs work(0) on the calling thread and work(1) .. work(count - 1) on threads of their own, and
// returns when all are done; a thread the system refuses is left out (see above). False when
// some member's work threw, which work given here should never do.
template <class Work>
bool RunTeam(int count, Work&& work) noexcept {
  ThreadTeam team;
  team.Start(count - 1, [&work](int member) { work(member); });
  team.TakePart(0, work);
  team.Join();
  return team.Failure() == nullptr;
}

}  // namespace zavol
