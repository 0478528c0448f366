#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "comm/platform/message_queue.hpp"
#include "comm/platform/wakeup_fd.hpp"
#include "comm/platform/sync.hpp"

namespace qor::platform {

struct WindowMessage {
  WindowHandle window = WindowHandle::None;
  std::uint32_t msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// A message sent from another thread and awaiting its answer, or a function
// queued by RunInThread (call set). Shared by the sender and the target queue.
struct SentMessage {
  enum class State { Pending, Running, Answered, Failed };

  WindowMessage message;
  std::function<void()> call;
  State state = State::Pending;  // guarded by the target queue's mutex
  std::intptr_t result = 0;      // likewise
  Event finished{true, false};   // set once Answered or Failed
};

// The messages waiting for one thread. Any thread may queue; only the owning
// thread takes. Its mutex is taken before an event's mutex, never after, and is
// never held while a window procedure or a queued function runs.
class MessageQueue {
 public:
  struct Taken {
    enum class Kind { None, Sent, Posted, Quit };
    Kind kind = Kind::None;
    std::shared_ptr<SentMessage> sent;
    WindowMessage posted;
    int quitCode = 0;
  };

  MessageQueue();

  // All three refuse (false, or nothing) once the queue is closed.
  bool Post(const WindowMessage& message);
  bool Send(const std::shared_ptr<SentMessage>& message);
  void PostQuit(int code);

  // Owner only: sent messages first (they become Running), then posted ones in
  // order, then the quit request (left in place with keepQuit).
  Taken Take(bool sentOnly, bool keepQuit);

  // Owner only: records the outcome of a message it took.
  void Finish(SentMessage& message, bool answered, std::intptr_t result);

  // Sender: ends its interest in message. A message still pending is withdrawn
  // and never runs. Returns the answer if there is one.
  std::optional<std::intptr_t> Conclude(SentMessage& message);

  // Fails every pending message sent to window.
  void FailSentTo(WindowHandle window);

  // Fails pending sends and drops everything else; later queuing is refused.
  void Close();
  bool Closed() const;

  // Milliseconds until the owner counts as hung (0: it is hung now). It is hung
  // when messages have waited for kHungAfterMs without the owner taking any or
  // waiting for them, and it is not waiting now.
  std::uint32_t MsUntilHung() const;

  Waitable& AnyWaiting() { return anyWaiting_; }
  Waitable& SentWaiting() { return sentWaiting_; }
  int NotifyFd() const { return notify_.Get(); }

 private:
  friend class WaitingForMessages;

  void Update();  // mutex_ held: brings the signals in line with the contents

  mutable std::mutex mutex_;
  bool closed_ = false;
  std::deque<std::shared_ptr<SentMessage>> sent_;
  std::deque<WindowMessage> posted_;
  std::optional<int> quit_;
  int waiting_ = 0;             // nested waits of the owner for messages
  std::uint32_t lastService_;   // TimeGetTime of the owner's last take or wait
  bool hasAny_ = false;         // mirrors anyWaiting_ and notify_
  bool hasSent_ = false;        // mirrors sentWaiting_
  Event anyWaiting_{true, false};
  Event sentWaiting_{true, false};
  WakeupFd notify_;
};

// Marks the owner of a queue (may be null) as waiting for messages for its
// lifetime, so it does not count as hung meanwhile.
class WaitingForMessages {
 public:
  explicit WaitingForMessages(MessageQueue* queue);
  ~WaitingForMessages();
  WaitingForMessages(const WaitingForMessages&) = delete;
  WaitingForMessages& operator=(const WaitingForMessages&) = delete;

 private:
  MessageQueue* queue_;
};

}  // namespace qor::platform
