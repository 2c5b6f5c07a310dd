#include "vhdx-inspect-json/parallel_run.h"

#include <algorithm>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "common/platform/run_control.h"
#include "vhdx_inspect/inspect.h"

namespace json_app {
namespace {

constexpr std::chrono::milliseconds kWindow{50};
// Below this share of the cores busy, the images are waiting on storage.
// From a local disk the share stays above 0.55 at the number of cores, even
// with 5,000 images whose pages leave the cache (down to 0.58 measured);
// through a mount that delays each request by 2 ms it is below 0.1.
constexpr double kWaiting = 0.3;
// Above this share, the images contend for the cores.
constexpr double kBusy = 0.9;
// How often the scan's thread, waiting for a line, looks for an interrupt.
constexpr std::chrono::milliseconds kInterruptCheck{50};

std::size_t Cores() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

// Inspects `name` with the inspector `inspector` holds, or a new one when it
// holds none, and makes what `output` makes of it (its line).
std::unique_ptr<Made> InspectImage(const ImageName& name, std::unique_ptr<vhdx_inspect::Inspector>& inspector,
                                   const ImageOutput& output) {
  if (!inspector) {
    inspector = std::make_unique<vhdx_inspect::Inspector>(vhdx_inspect::ReadPolicy::kExaminedExtents,
                                                          vhdx_inspect::Structure::kChecked);
  }
  const vhdx_inspect::Inspection inspection = InspectNamed(*inspector, name);
  return MakeOf(output, inspection);
}

}  // namespace

ParallelRun::ParallelRun(ImageOutput& output, std::ostream& err, unsigned jobs, std::string_view program)
    : output_(output),
      err_(err),
      program_(program),
      slots_(jobs == 0 ? 1 : jobs),
      cores_(Cores()),
      limit_(std::min(cores_, slots_.size())),
      most_(slots_.size()),
      windowStart_(std::chrono::steady_clock::now()),
      windowCpu_(vhdx_programs::ProcessCpuTime()) {
  workers_.reserve(slots_.size());
  // An inspector is put back by the thread that took it, and there are
  // never more of them than threads: putting one back allocates nothing.
  idleInspectors_.reserve(slots_.size());
  try {
    StartWorkers();
    if (workers_.empty()) alone_ = std::make_unique<SequentialRun>(output_);
  } catch (...) {
    // No destructor runs for a run whose constructor raised.
    StopAndJoin();
    throw;
  }
}

ParallelRun::~ParallelRun() { StopAndJoin(); }

void ParallelRun::StopAndJoin() noexcept {
  Stop();
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

void ParallelRun::Work() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] {
      return stopping_ || (nextToTake_ < handedOver_ && nextToTake_ < takeBefore_ && active_ < limit_);
    });
    // After an interrupt or a failed write no further image is read.
    if (stopping_ || vhdx_programs::InterruptRequested()) return;
    ++active_;
    // The inspector last put back, whose buffers are still in the caches;
    // a new one (InspectImage) only when all are in use.
    std::unique_ptr<vhdx_inspect::Inspector> inspector;
    if (!idleInspectors_.empty()) {
      inspector = std::move(idleInspectors_.back());
      idleInspectors_.pop_back();
    }
    const std::uint64_t index = nextToTake_++;
    Slot& slot = slots_[index % slots_.size()];
    slot.taken = true;
    lock.unlock();
    // The slot's name stays as it is until its line is written, after done.
    std::unique_ptr<Made> done;
    std::exception_ptr fault;
    try {
      done = InspectImage(slot.name, inspector, output_);
    } catch (...) {
      fault = std::current_exception();
    }
    lock.lock();
    if (fault) {
      slot.fault = std::move(fault);
      takeBefore_ = std::min(takeBefore_, index);
    } else {
      slot.made = std::move(done);
    }
    slot.done = true;
    --active_;
    if (inspector) idleInspectors_.push_back(std::move(inspector));
    // Only the scan's thread waits for lines (WriteDone). This thread takes
    // the next image itself, without waking another.
    if (LinesReady()) done_.notify_one();
  }
}

void ParallelRun::WriteDone(std::unique_lock<std::mutex>& lock, bool wait) {
  while (written_ < handedOver_) {
    Slot& slot = slots_[written_ % slots_.size()];
    if (!slot.done) {
      if (!wait) return;
      // Woken once the lines of the images in flight are done but for those
      // the workers are still on (as many as may work at once), and at most
      // twice as many: one wake-up writes several lines (five of the eight
      // in flight, from local disk on 2 cores) and hands over as many images
      // while the workers go on. A wake-up for every line had cost 2,700
      // context switches per 1,000 images and the default -j a tenth of its
      // time (1.58 times -j 1 against 1.74, 2 cores under a hypervisor).
      // When as many work as are in flight (slow storage), every line is
      // written as soon as it is done.
      const std::uint64_t inFlight = handedOver_ - written_;
      waitFor_ = written_ + std::min<std::uint64_t>(2 * limit_, inFlight > limit_ + 1 ? inFlight - limit_ - 1 : 0);
      // Woken now and then to see whether the user interrupted the run.
      while (!done_.wait_for(lock, kInterruptCheck, [this] { return LinesReady(); })) ThrowIfInterrupted();
    }
    if (slot.fault) {
      // What the image raised on its worker, raised here after the lines
      // before it, as one job raises it.
      const std::exception_ptr fault = slot.fault;
      lock.unlock();
      Stop();
      std::rethrow_exception(fault);
    }
    const std::unique_ptr<Made> made = std::move(slot.made);
    if (!made->sound) allSound_ = false;
    slot = Slot{};
    ++written_;
    // The write, outside the lock: the workers go on meanwhile. A failed
    // write raises here, in the scan's thread, and stops the workers first.
    lock.unlock();
    try {
      output_.Put(*made);
    } catch (...) {
      Stop();
      throw;
    }
    lock.lock();
    // More at once only after a line went out: a report that cannot be
    // written lets no further image in.
    if (AdjustLimit()) {
      lock.unlock();
      StartWorkers();
      lock.lock();
    }
    wait = false;
  }
}

bool ParallelRun::LinesReady() const {
  if (written_ >= handedOver_ || !slots_[written_ % slots_.size()].done) return false;
  // No image after one that raised is taken: its line is never waited for.
  return waitFor_ >= takeBefore_ || slots_[waitFor_ % slots_.size()].done;
}

void ParallelRun::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
}

void ParallelRun::StartWorkers() {
  // The workers never take the interrupt: it reaches the scan's thread.
  const vhdx_programs::InterruptsHeldBack heldBack;
  std::unique_lock<std::mutex> lock(mutex_);
  while (workers_.size() < limit_) {
    lock.unlock();
    std::thread worker;
    try {
      worker = std::thread([this] { Work(); });
    } catch (const std::system_error& e) {
      // The run goes on with the threads it has, and asks for no more.
      lock.lock();
      most_ = std::max<std::size_t>(1, workers_.size());
      limit_ = most_;
      err_ << program_ << ": cannot start a thread (" << e.what() << "): going on with ";
      if (workers_.empty()) {
        err_ << "one image at a time" << std::endl;
      } else {
        err_ << workers_.size() << (workers_.size() == 1 ? " thread" : " threads") << std::endl;
      }
      return;
    }
    lock.lock();
    workers_.push_back(std::move(worker));
  }
}

bool ParallelRun::AdjustLimit() {
  const auto now = std::chrono::steady_clock::now();
  if (now - windowStart_ < kWindow) return false;
  const std::chrono::nanoseconds cpu = vhdx_programs::ProcessCpuTime();
  const double busy = std::chrono::duration<double>(cpu - windowCpu_) /
                      (std::chrono::duration<double>(now - windowStart_) * static_cast<double>(cores_));
  const std::size_t before = limit_;
  limit_ = NextLimit(busy, limit_, cores_, most_);
  windowStart_ = now;
  windowCpu_ = cpu;
  if (limit_ <= before) return false;
  work_.notify_all();  // the images waiting for a turn
  return workers_.size() < limit_;
}

std::size_t NextLimit(double busy, std::size_t limit, std::size_t cores, std::size_t most) {
  if (busy < kWaiting && limit < most) return std::min(most, 2 * limit);
  if (busy > kBusy && limit > cores) return std::max({cores, limit / 2, std::size_t{1}});
  return limit;
}

void ParallelRun::Image(const ImageName& name) {
  if (alone_) {
    alone_->Image(name);
    if (!alone_->AllSound()) allSound_ = false;
    return;
  }
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
  if (alone_) return;
  std::unique_lock<std::mutex> lock(mutex_);
  while (written_ < handedOver_) WriteDone(lock, true);
}

}  // namespace json_app
