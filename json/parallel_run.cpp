#include "json/parallel_run.h"

#include "json/json_report.h"
#include "vhdx_inspect/inspect.h"

namespace json_app {

ParallelRun::ParallelRun(std::ostream& out, unsigned jobs) : out_(out), slots_(jobs == 0 ? 1 : jobs) {
  workers_.reserve(slots_.size());
  for (std::size_t i = 0; i < slots_.size(); ++i) workers_.emplace_back([this] { Work(); });
}

ParallelRun::~ParallelRun() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ParallelRun::Work() {
  vhdx_inspect::Inspector inspector;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || nextToTake_ < handedOver_; });
    if (stopping_) return;
    Slot& slot = slots_[nextToTake_++ % slots_.size()];
    slot.taken = true;
    const ImageName name = slot.name;
    lock.unlock();
    const vhdx_inspect::Inspection inspection = InspectNamed(inspector, name);
    std::string line = json_report::JsonLine(inspection);
    const bool sound = inspection.verdict == vhdx_inspect::Verdict::kSound;
    lock.lock();
    slot.line = std::move(line);
    slot.sound = sound;
    slot.done = true;
    done_.notify_all();
  }
}

void ParallelRun::WriteDone(std::unique_lock<std::mutex>& lock, bool wait) {
  while (written_ < handedOver_) {
    Slot& slot = slots_[written_ % slots_.size()];
    if (!slot.done) {
      if (!wait) return;
      done_.wait(lock, [&slot] { return slot.done; });
    }
    std::string line = std::move(slot.line);
    if (!slot.sound) allSound_ = false;
    slot = Slot{};
    ++written_;
    work_.notify_all();
    // The write, outside the lock: the workers go on meanwhile. A failed
    // write raises here, in the scan's thread.
    lock.unlock();
    out_ << line << std::endl;
    lock.lock();
    wait = false;
  }
}

void ParallelRun::Image(const ImageName& name) {
  std::unique_lock<std::mutex> lock(mutex_);
  // A free slot: the oldest image in flight is written first when all are taken.
  while (handedOver_ - written_ >= slots_.size()) WriteDone(lock, true);
  Slot& slot = slots_[handedOver_ % slots_.size()];
  slot.name = name;
  ++handedOver_;
  work_.notify_one();
  WriteDone(lock, false);
}

void ParallelRun::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (written_ < handedOver_) WriteDone(lock, true);
}

}  // namespace json_app
