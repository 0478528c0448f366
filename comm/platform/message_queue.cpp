#include "comm/platform/message_queue.hpp"

#include <array>
#include <utility>

#include "comm/platform/dispatch.hpp"
#include "comm/platform/thread_queue.hpp"
#include "comm/platform/window_table.hpp"

namespace qor::platform {

WindowHandle CreateMessageWindow(WindowProc proc) {
  auto queue = CurrentThreadQueue();
  // Closed only while the thread ends; windows made then would outlive it.
  if (!proc || queue->Closed()) return WindowHandle::None;
  return Windows().Add(std::move(queue), std::move(proc));
}

bool DestroyMessageWindow(WindowHandle window) {
  const auto entry = Windows().Remove(window);
  if (!entry) return false;
  entry->owner->FailSentTo(window);
  return true;
}

bool PostMessage(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  const auto entry = Windows().Find(window);
  return entry && entry->owner->Post({window, msg, wParam, lParam});
}

bool SendMessageTimeout(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                        std::intptr_t lParam, std::uint32_t timeoutMs, bool abortIfHung,
                        std::intptr_t* result) {
  const auto entry = Windows().Find(window);
  if (!entry) return false;
  std::optional<std::intptr_t> answer;
  if (entry->owner.get() == ExistingQueue()) {
    answer = (*entry->proc)(msg, wParam, lParam);
  } else {
    auto message = std::make_shared<SentMessage>();
    message->message = {window, msg, wParam, lParam};
    answer = SendAndWait(*entry->owner, message, timeoutMs, abortIfHung);
  }
  if (!answer) return false;
  if (result) *result = *answer;
  return true;
}

PumpResult ProcessOneMessage(QuitMode mode, int* quitCode) {
  return ProcessNext(OwnQueue(), false, mode, quitCode);
}

void PostQuitMessage(int code) { OwnQueue().PostQuit(code); }

int RunUntilQuit() {
  MessageQueue& queue = OwnQueue();
  int code = 0;
  for (;;) {
    const PumpResult result = ProcessNext(queue, false, QuitMode::Take, &code);
    if (result == PumpResult::Quit) return code;
    if (result == PumpResult::None) {
      WaitingForMessages waiting(&queue);
      queue.AnyWaiting().WaitFor(kInfinite);
    }
  }
}

WaitResult WaitMessage(std::uint32_t ms) {
  MessageQueue& queue = OwnQueue();
  WaitingForMessages waiting(&queue);
  return queue.AnyWaiting().WaitFor(ms);
}

Waitable& MessageWaiting() { return OwnQueue().AnyWaiting(); }

PumpWaitResult WaitPumping(Waitable& object, std::uint32_t ms) {
  MessageQueue& queue = OwnQueue();
  const std::array<Waitable*, 2> objects{&object, &queue.AnyWaiting()};
  const Deadline deadline(ms);
  for (;;) {
    std::size_t index;
    {
      WaitingForMessages waiting(&queue);
      index = WaitForAny(objects, deadline.RemainingMs());
    }
    if (index == 0) return PumpWaitResult::Signaled;
    if (index == kWaitTimeout) return PumpWaitResult::Timeout;
    if (ProcessNext(queue, false, QuitMode::Keep, nullptr) == PumpResult::Quit) return PumpWaitResult::Quit;
  }
}

int NotifyFd() { return OwnQueue().NotifyFd(); }

bool RunInThread(const std::shared_ptr<MessageQueue>& target, std::function<void()> fn) {
  if (!target) return false;
  if (target.get() == ExistingQueue()) {
    fn();
    return true;
  }
  auto message = std::make_shared<SentMessage>();
  message->call = std::move(fn);
  return SendAndWait(*target, message, kInfinite, false).has_value();
}

}  // namespace qor::platform
