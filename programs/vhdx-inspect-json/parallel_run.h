// A bounded parallel ImageRun: up to N images inspected at once, each
// inspection with an Inspector of its own and made into what the run's
// ImageOutput makes of it (vhdx-inspect-json: its line) on the same worker,
// and put out in the order the scan handed the images over, a few at a time
// once they and every one before them are done (WriteDone). At most N images are in flight between
// the scan and the output, so memory does not grow with the size of the
// folder.
//
// How many of the N work at once adapts to where the images come from. It
// starts at the number of cores (never above N): from local disk an
// inspection is CPU work, and more at once than there are cores only makes
// them contend for the caches (1,000 images on 2 cores: 128 ms with 2 at
// once, 217 ms with 8, against 222 ms at -j 1). While the process keeps the
// cores less than 30 % busy, the images are waiting on storage (a network
// share), and twice as many are let in, up to N (100 images through a mount
// that delays each open and read by 2 ms: 1.33 s at 1, 0.27 s at 8). Above
// 90 % busy it falls back towards the number of cores. A fixed pool of N
// threads was measured against this, and kept out: 1.10 times -j 1 from
// local disk, 6.4 times through the mount (bench/README.md).
//
// Only the thread that calls Image() and Finish() writes to the output, so a
// failed write raises there, as in SequentialRun, after telling the workers
// to take no further image; the destructor waits for them. An interrupt
// (Ctrl+C) reaches that thread only (the workers hold it back), cuts short a
// write blocked on a pipe and wakes a wait for a line within 50 ms; the
// workers take no further image once it came.
//
// A thread that cannot be started (std::system_error) is told on the error
// stream, once, and the run goes on with the threads it has, and with none,
// in the calling thread one image after another, as with -j 1: every image
// is still inspected and its line written, so the exit status is what the
// images make it. Any other exception while threads are started (no memory
// for the next one) leaves the constructor or the call that started them,
// after the threads already started are stopped and joined.
//
// An exception on a worker (no memory for an image's line) never leaves its
// thread: it takes the image's place in the order, no worker takes a later
// image, and the scan's thread raises it once every line before that image
// is written, as SequentialRun raises it after the same lines.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "vhdx-inspect-json/image_run.h"
#include "vhdx_inspect/inspect.h"

namespace json_app {

// The next number of images let in at once, from the share of the cores the
// process kept busy over the last window (CPU time / (wall time x cores)),
// the number now, the cores and N: twice as many (up to N) below 0.3 busy,
// half as many (down to the cores) above 0.9, else the same.
std::size_t NextLimit(double busy, std::size_t limit, std::size_t cores, std::size_t most);

class ParallelRun final : public ImageRun {
 public:
  // Up to `jobs` workers (at least 1); `err` takes the line about a thread
  // that could not be started, after "<program>: ".
  ParallelRun(ImageOutput& output, std::ostream& err, unsigned jobs, std::string_view program = "vhdx-inspect-json");
  ~ParallelRun() override;
  ParallelRun(const ParallelRun&) = delete;
  ParallelRun& operator=(const ParallelRun&) = delete;

  void Image(const ImageName& name) override;
  void Finish() override;
  bool AllSound() const override { return allSound_; }

 private:
  struct Slot {
    ImageName name;
    std::unique_ptr<Made> made;  // what the output made of it (its line), once inspected
    bool taken = false;          // a worker is on it
    bool done = false;
    std::exception_ptr fault;  // raised on the worker instead of a line
  };

  // A worker's loop. Nothing leaves it: what an image raises is kept in its
  // slot (Slot::fault). (The lock and the waits raise only for a mutex used
  // wrongly.)
  void Work() noexcept;
  // Starts threads up to the number allowed at once. A thread is started
  // only when that many may work, so a scan that never needs more than the
  // cores runs that many: each thread that allocates costs the allocator an
  // arena of its own (peak memory grew by 500 KiB from 100 to 5,000 images
  // when 8 threads took turns on 2 cores).
  // Called without the lock held.
  void StartWorkers();
  // Every kWindow of the scan, lets more images in at once when the cores
  // are mostly idle, fewer when they are nearly all busy (NextLimit). True
  // when more threads are needed (StartWorkers, after the lock is let go).
  bool AdjustLimit();
  // Tells the workers to take no further image.
  void Stop();
  // Stops the workers and waits for each to end.
  void StopAndJoin() noexcept;
  // Whether the lines the scan's thread waits for are done: the next one
  // to write and the one it waits for with it (waitFor_).
  bool LinesReady() const;
  // Writes the lines that are done, in order; with `wait`, waits for the
  // next one first.
  void WriteDone(std::unique_lock<std::mutex>& lock, bool wait);

  ImageOutput& output_;
  std::ostream& err_;
  std::string_view program_;
  std::vector<Slot> slots_;       // slot of image i: i % slots_.size()
  std::uint64_t handedOver_ = 0;  // images given to Image()
  std::uint64_t written_ = 0;     // lines written
  std::uint64_t nextToTake_ = 0;  // the next image a worker takes
  std::uint64_t waitFor_ = 0;     // the last line the scan's thread waits for
  // No worker takes this image or a later one: the first image whose
  // inspection raised (Slot::fault).
  std::uint64_t takeBefore_ = std::numeric_limits<std::uint64_t>::max();
  bool stopping_ = false;
  std::size_t active_ = 0;  // images being inspected now
  std::size_t cores_;
  std::size_t limit_;  // at most this many inspected at once
  std::size_t most_;   // at most this many ever: N, or the threads there are once one could not start
  std::chrono::steady_clock::time_point windowStart_;
  std::chrono::nanoseconds windowCpu_{};
  // Inspectors between two inspections, the one put back last at the end:
  // when fewer than N work at once, the same few inspectors serve, so only
  // as many inspectors exist, with their buffers (640 KiB each for the
  // sample shape), as have ever worked at once.
  std::vector<std::unique_ptr<vhdx_inspect::Inspector>> idleInspectors_;
  bool allSound_ = true;
  std::mutex mutex_;
  std::condition_variable work_;  // an image to take, or stop
  std::condition_variable done_;  // an image done
  std::vector<std::thread> workers_;
  // When no thread could be started: the images one after another here.
  std::unique_ptr<SequentialRun> alone_;
};

}  // namespace json_app
