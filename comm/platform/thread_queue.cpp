#include "comm/platform/thread_queue.hpp"

#include <mutex>

#include "comm/platform/window_table.hpp"

namespace qor::platform {

namespace {

void CloseQueue(MessageQueue& queue) {
  queue.Close();
  // The removed entries, procedures included, are destroyed here, unlocked.
  Windows().RemoveOwnedBy(queue);
}

// Closes the thread's queue when the thread ends. The closed queue stays in
// place, so that later use during the thread's teardown finds it closed.
struct QueueHolder {
  std::shared_ptr<MessageQueue> queue;
  ~QueueHolder() {
    if (queue) CloseQueue(*queue);
  }
};

thread_local QueueHolder holder;

struct MainQueue {
  std::mutex mutex;
  std::shared_ptr<MessageQueue> queue;
};

MainQueue& Main() {
  static MainQueue main;
  return main;
}

}  // namespace

MessageQueue* ExistingQueue() { return holder.queue.get(); }

MessageQueue& OwnQueue() { return *CurrentThreadQueue(); }

void CloseCurrentQueue() {
  if (holder.queue) CloseQueue(*holder.queue);
}

std::shared_ptr<MessageQueue> CurrentThreadQueue() {
  if (!holder.queue) holder.queue = std::make_shared<MessageQueue>();
  return holder.queue;
}

void SetMainThread() {
  auto queue = CurrentThreadQueue();
  MainQueue& main = Main();
  std::lock_guard lock(main.mutex);
  main.queue = std::move(queue);
}

std::shared_ptr<MessageQueue> MainThreadQueue() {
  MainQueue& main = Main();
  std::lock_guard lock(main.mutex);
  return main.queue;
}

}  // namespace qor::platform
