// A bounded parallel ImageRun: up to N images inspected at once, each
// worker thread with its own Inspector, and the lines written in the order
// the scan handed the images over, each as soon as it and every line before
// it are done. At most N images are in flight between the scan and the
// output, so memory does not grow with the size of the folder.
//
// Only the thread that calls Image() and Finish() writes to the output, so a
// failed write raises there, as in SequentialRun; the destructor stops the
// workers and waits for them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "json/image_run.h"

namespace json_app {

class ParallelRun final : public ImageRun {
 public:
  // `jobs` workers (at least 1).
  ParallelRun(std::ostream& out, unsigned jobs);
  ~ParallelRun() override;
  ParallelRun(const ParallelRun&) = delete;
  ParallelRun& operator=(const ParallelRun&) = delete;

  void Image(const ImageName& name) override;
  void Finish() override;
  bool AllSound() const override { return allSound_; }

 private:
  struct Slot {
    ImageName name;
    std::string line;  // the JSON line, once inspected
    bool sound = false;
    bool taken = false;  // a worker is on it
    bool done = false;
  };

  void Work();
  // Writes the lines that are done, in order; with `wait`, waits for the
  // next one first.
  void WriteDone(std::unique_lock<std::mutex>& lock, bool wait);

  std::ostream& out_;
  std::vector<Slot> slots_;       // slot of image i: i % slots_.size()
  std::uint64_t handedOver_ = 0;  // images given to Image()
  std::uint64_t written_ = 0;     // lines written
  std::uint64_t nextToTake_ = 0;  // the next image a worker takes
  bool stopping_ = false;
  bool allSound_ = true;
  std::mutex mutex_;
  std::condition_variable work_;  // an image to take, or stop
  std::condition_variable done_;  // an image done
  std::vector<std::thread> workers_;
};

}  // namespace json_app
