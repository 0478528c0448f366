#include "comm/platform/queue_core.hpp"

#include <algorithm>
#include <vector>

#include "comm/platform/clock.hpp"

namespace qor::platform {

MessageQueue::MessageQueue() : lastService_(TimeGetTime()) {}

bool MessageQueue::Post(const WindowMessage& message) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  posted_.push_back(message);
  Update();
  return true;
}

bool MessageQueue::Send(const std::shared_ptr<SentMessage>& message) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  sent_.push_back(message);
  Update();
  return true;
}

void MessageQueue::PostQuit(int code) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  quit_ = code;
  Update();
}

MessageQueue::Taken MessageQueue::Take(bool sentOnly, bool keepQuit) {
  std::lock_guard lock(mutex_);
  lastService_ = TimeGetTime();
  Taken taken;
  if (!sent_.empty()) {
    taken.kind = Taken::Kind::Sent;
    taken.sent = std::move(sent_.front());
    sent_.pop_front();
    taken.sent->state = SentMessage::State::Running;
  } else if (sentOnly) {
    return taken;
  } else if (!posted_.empty()) {
    taken.kind = Taken::Kind::Posted;
    taken.posted = posted_.front();
    posted_.pop_front();
  } else if (quit_) {
    taken.kind = Taken::Kind::Quit;
    taken.quitCode = *quit_;
    if (!keepQuit) quit_.reset();
  }
  Update();
  return taken;
}

void MessageQueue::Finish(SentMessage& message, bool answered, std::intptr_t result) {
  {
    std::lock_guard lock(mutex_);
    message.state = answered ? SentMessage::State::Answered : SentMessage::State::Failed;
    message.result = result;
  }
  message.finished.Set();
}

std::optional<std::intptr_t> MessageQueue::Conclude(SentMessage& message) {
  std::lock_guard lock(mutex_);
  switch (message.state) {
    case SentMessage::State::Pending:
      sent_.erase(std::find_if(sent_.begin(), sent_.end(),
                               [&](const auto& queued) { return queued.get() == &message; }));
      message.state = SentMessage::State::Failed;
      Update();
      return std::nullopt;
    case SentMessage::State::Answered:
      return message.result;
    case SentMessage::State::Running:  // answer discarded when it comes
    case SentMessage::State::Failed:
      return std::nullopt;
  }
  return std::nullopt;
}

void MessageQueue::FailSentTo(WindowHandle window) {
  std::vector<std::shared_ptr<SentMessage>> failed;
  {
    std::lock_guard lock(mutex_);
    const auto addressed = [&](const auto& m) { return !m->call && m->message.window == window; };
    for (const auto& m : sent_) {
      if (addressed(m)) {
        m->state = SentMessage::State::Failed;
        failed.push_back(m);
      }
    }
    std::erase_if(sent_, addressed);
    Update();
  }
  for (const auto& m : failed) m->finished.Set();
}

void MessageQueue::Close() {
  std::deque<std::shared_ptr<SentMessage>> failed;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    failed.swap(sent_);
    for (const auto& m : failed) m->state = SentMessage::State::Failed;
    posted_.clear();
    quit_.reset();
    Update();
  }
  for (const auto& m : failed) m->finished.Set();
}

bool MessageQueue::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

std::uint32_t MessageQueue::MsUntilHung() const {
  std::lock_guard lock(mutex_);
  // Waiting or idle: cannot become hung sooner than a full period from now.
  if (waiting_ > 0 || !hasAny_) return kHungAfterMs;
  const std::uint32_t idle = TimeGetTime() - lastService_;
  return idle >= kHungAfterMs ? 0 : kHungAfterMs - idle;
}

void MessageQueue::Update() {
  const bool any = !sent_.empty() || !posted_.empty() || quit_.has_value();
  if (any != hasAny_) {
    hasAny_ = any;
    if (any) {
      // An idle owner was not neglecting anything: its time starts now.
      lastService_ = TimeGetTime();
      anyWaiting_.Set();
    } else {
      anyWaiting_.Reset();
    }
    notify_.SetReadable(any);
  }
  const bool sent = !sent_.empty();
  if (sent != hasSent_) {
    hasSent_ = sent;
    if (sent) {
      sentWaiting_.Set();
    } else {
      sentWaiting_.Reset();
    }
  }
}

WaitingForMessages::WaitingForMessages(MessageQueue* queue) : queue_(queue) {
  if (!queue_) return;
  std::lock_guard lock(queue_->mutex_);
  ++queue_->waiting_;
  queue_->lastService_ = TimeGetTime();
}

WaitingForMessages::~WaitingForMessages() {
  if (!queue_) return;
  std::lock_guard lock(queue_->mutex_);
  --queue_->waiting_;
  queue_->lastService_ = TimeGetTime();
}

}  // namespace qor::platform
