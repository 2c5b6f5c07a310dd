#include "vhdx-inspect-json/parallel_run.h"

#include <algorithm>

#include "common/run_control.h"
#include "vhdx-inspect-json/json_report.h"
#include "vhdx_inspect/inspect.h"

namespace json_app {
namespace {

constexpr std::chrono::milliseconds kWindow{50};
// Below this share of the cores busy, the images are waiting on storage.
// From a local disk the share stays above 0.55 at the number of cores, even
// with 5,000 images whose pages leave the cache (down to 0.58 measured);
// through a mount that delays each request by 2 ms it is below 0.1.
constexpr double kWaiting = 0.3;

std::size_t Cores() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

}  // namespace

ParallelRun::ParallelRun(std::ostream& out, unsigned jobs)
    : out_(out),
      slots_(jobs == 0 ? 1 : jobs),
      cores_(Cores()),
      limit_(std::min(cores_, slots_.size())),
      windowStart_(std::chrono::steady_clock::now()),
      windowCpu_(platform::ProcessCpuTime()) {
  workers_.reserve(slots_.size());
  StartWorkers();
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
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || (nextToTake_ < handedOver_ && active_ < limit_); });
    if (stopping_) return;
    ++active_;
    // The inspector last put back, whose buffers are still in the caches;
    // a new one only when all are in use.
    std::unique_ptr<vhdx_inspect::Inspector> inspector;
    if (idleInspectors_.empty()) {
      inspector = std::make_unique<vhdx_inspect::Inspector>();
    } else {
      inspector = std::move(idleInspectors_.back());
      idleInspectors_.pop_back();
    }
    Slot& slot = slots_[nextToTake_++ % slots_.size()];
    slot.taken = true;
    const ImageName name = slot.name;
    lock.unlock();
    const vhdx_inspect::Inspection inspection = InspectNamed(*inspector, name);
    std::string line = json_report::JsonLine(inspection);
    const bool sound = inspection.verdict == vhdx_inspect::Verdict::kSound;
    lock.lock();
    slot.line = std::move(line);
    slot.sound = sound;
    slot.done = true;
    --active_;
    idleInspectors_.push_back(std::move(inspector));
    done_.notify_all();
    work_.notify_one();
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
    AdjustLimit();
    // The write, outside the lock: the workers go on meanwhile. A failed
    // write raises here, in the scan's thread.
    lock.unlock();
    out_ << line << std::endl;
    lock.lock();
    wait = false;
  }
}

void ParallelRun::StartWorkers() {
  while (workers_.size() < limit_) workers_.emplace_back([this] { Work(); });
}

void ParallelRun::AdjustLimit() {
  const auto now = std::chrono::steady_clock::now();
  if (now - windowStart_ < kWindow) return;
  const std::chrono::nanoseconds cpu = platform::ProcessCpuTime();
  const double busy = std::chrono::duration<double>(cpu - windowCpu_) /
                      (std::chrono::duration<double>(now - windowStart_) * static_cast<double>(cores_));
  if (busy < kWaiting && limit_ < slots_.size()) {
    limit_ = std::min(slots_.size(), 2 * limit_);
    StartWorkers();
    work_.notify_all();  // the images waiting for a turn
  } else if (busy > 0.9 && limit_ > cores_) {
    limit_ = std::max(cores_, limit_ / 2);
  }
  windowStart_ = now;
  windowCpu_ = cpu;
}

void ParallelRun::Image(const ImageName& name) {
  ThrowIfInterrupted();
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
