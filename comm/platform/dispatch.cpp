#include "comm/platform/dispatch.hpp"

#include <algorithm>
#include <array>

#include "comm/platform/thread_queue.hpp"
#include "comm/platform/window_table.hpp"

namespace qor::platform {

namespace {

void RunSent(MessageQueue& queue, SentMessage& message) {
  std::intptr_t result = 0;
  bool answered = false;
  try {
    if (message.call) {
      message.call();
      answered = true;
    } else if (const auto entry = Windows().Find(message.message.window)) {
      const WindowMessage& m = message.message;
      result = (*entry->proc)(m.msg, m.wParam, m.lParam);
      answered = true;
    }
  } catch (...) {
    // The sender must not wait for an answer that will never come.
    queue.Finish(message, false, 0);
    throw;
  }
  queue.Finish(message, answered, result);
}

}  // namespace

PumpResult ProcessNext(MessageQueue& queue, bool sentOnly, QuitMode mode, int* quitCode) {
  for (;;) {
    const MessageQueue::Taken taken = queue.Take(sentOnly, mode == QuitMode::Keep);
    switch (taken.kind) {
      case MessageQueue::Taken::Kind::None:
        return PumpResult::None;
      case MessageQueue::Taken::Kind::Quit:
        if (quitCode) *quitCode = taken.quitCode;
        return PumpResult::Quit;
      case MessageQueue::Taken::Kind::Sent:
        RunSent(queue, *taken.sent);
        return PumpResult::Processed;
      case MessageQueue::Taken::Kind::Posted:
        if (const auto entry = Windows().Find(taken.posted.window)) {
          (*entry->proc)(taken.posted.msg, taken.posted.wParam, taken.posted.lParam);
          return PumpResult::Processed;
        }
        break;  // its window is gone: dropped, take the next one
    }
  }
}

std::optional<std::intptr_t> SendAndWait(MessageQueue& target, const std::shared_ptr<SentMessage>& message,
                                         std::uint32_t timeoutMs, bool abortIfHung) {
  if (!target.Send(message)) return std::nullopt;
  // A window destroyed between the caller's look-up and the queuing above has
  // already failed its pending sends, without this one.
  if (!message->call && !Windows().Find(message->message.window)) return target.Conclude(*message);

  MessageQueue* own = ExistingQueue();
  const std::array<Waitable*, 2> objects{&message->finished, own ? &own->SentWaiting() : nullptr};
  const std::span<Waitable* const> waitOn(objects.data(), own ? 2 : 1);
  const Deadline deadline(timeoutMs);
  WaitingForMessages waiting(own);
  try {
    for (;;) {
      std::uint32_t slice = deadline.RemainingMs();
      if (abortIfHung) {
        const std::uint32_t untilHung = target.MsUntilHung();
        if (untilHung == 0) break;
        slice = std::min(slice, untilHung);
      }
      const std::size_t index = WaitForAny(waitOn, slice);
      if (index == 0) break;
      if (index == 1) {
        ProcessNext(*own, true, QuitMode::Keep, nullptr);
      } else if (deadline.Expired()) {
        break;
      }
    }
  } catch (...) {
    // A procedure run meanwhile threw: the message must not run after we leave.
    target.Conclude(*message);
    throw;
  }
  return target.Conclude(*message);
}

}  // namespace qor::platform
