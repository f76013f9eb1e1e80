// The writer thread of the NetCDF files: tasks run in order, a few blocks queued at most.
#include <malloc.h>

#include <future>

#include "output/netcdf/nc_dataset.h"

namespace skelv::nc {
namespace {

constexpr std::size_t kMaxQueued = 2;  // blocks waiting for the writer
constexpr std::size_t kTrimEvery = 64;  // tasks of the writer between returns of freed pages

}  // namespace

Worker::Worker() : thread_([this] { loop(); }) {}

Worker::~Worker() { finish(); }

void Worker::post(std::function<void()> task) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return tasks_.size() < kMaxQueued; });
  tasks_.push_back(std::move(task));
  changed_.notify_all();
}

void Worker::drain() {
  std::promise<void> done;
  post([&done] { done.set_value(); });
  done.get_future().wait();
}

void Worker::finish() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void Worker::loop() {
  for (std::size_t done = 1;; ++done) {
    // The library's blocks of many sizes, freed in another order than taken, would otherwise
    // spread the heap over more and more pages.
    if (done % kTrimEvery == 0) malloc_trim(0);
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
      changed_.notify_all();
    }
    task();
  }
}


}  // namespace skelv::nc
