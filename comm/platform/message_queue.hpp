#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "comm/platform/sync.hpp"

// Per-thread message queues and hidden message windows. A thread gets its queue
// the first time it creates a window or uses any function here that works on
// "the calling thread's queue". When the thread ends, the queue is closed: its
// windows are destroyed, posted messages dropped and sends to it fail at once.
namespace qor::platform {

// Never reused, so a stale handle simply fails.
enum class WindowHandle : std::uintptr_t { None = 0 };

using WindowProc =
    std::function<std::intptr_t(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)>;

class MessageQueue;

// A window owned by the calling thread; None if proc is empty.
WindowHandle CreateMessageWindow(WindowProc proc);

// From any thread, also from inside the window's own procedure. Posted messages
// for it are dropped when met; sends waiting for it fail at once. False for an
// unknown handle.
bool DestroyMessageWindow(WindowHandle window);

// Queues a message for the window's thread. Messages posted to one window are
// processed in the order they were posted. False when the window is gone.
bool PostMessage(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

// A thread counts as hung when messages have waited for it this long while it
// neither took any nor waited for them.
inline constexpr std::uint32_t kHungAfterMs = 5000;

// Calls the window's procedure and stores its answer in *result (if given).
// In the owning thread the procedure is called directly. From another thread the
// message goes to the owner, and the call waits until it is answered (true), or
// fails (false) when: timeoutMs passes (kInfinite allowed), the window is
// destroyed, the owner's thread ends, or abortIfHung is set and the owner is
// hung. Meanwhile the caller handles messages sent to its own thread, so two
// threads sending to each other do not deadlock. A message the owner has not
// taken yet when the call fails is withdrawn and never runs; one already running
// completes and its answer is discarded.
bool SendMessageTimeout(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                        std::intptr_t lParam, std::uint32_t timeoutMs, bool abortIfHung,
                        std::intptr_t* result);

enum class PumpResult { None, Processed, Quit };

// What taking the quit message does: remove it, or leave it queued for an outer
// loop (for code that pumps while it waits).
enum class QuitMode { Take, Keep };

// Handles one message of the calling thread: a sent message first, else the
// oldest posted one; the quit message only when nothing else waits. Quit puts
// the code in *quitCode (if given). Exceptions from a procedure propagate.
PumpResult ProcessOneMessage(QuitMode mode = QuitMode::Take, int* quitCode = nullptr);

// Queues the quit message for the calling thread; a later one replaces the code.
void PostQuitMessage(int code);

// Waits for and handles the calling thread's messages until the quit message,
// and returns its code.
int RunUntilQuit();

// Waits until a message waits for the calling thread.
WaitResult WaitMessage(std::uint32_t ms);

// Signaled while any message waits for the calling thread, for WaitForAny in
// that thread.
Waitable& MessageWaiting();

enum class PumpWaitResult { Signaled, Timeout, Quit };

// Waits until object is signaled or ms pass, handling the calling thread's
// messages one at a time meanwhile. A quit message ends the wait early (Quit)
// and stays queued for the loop above.
PumpWaitResult WaitPumping(Waitable& object, std::uint32_t ms);

// A descriptor of the calling thread's queue that is readable exactly while a
// message waits, for an outside loop to poll (then call ProcessOneMessage until
// None). Owned by the queue: do not read, write or close it.
int NotifyFd();

// The calling thread's queue, as a target for RunInThread.
std::shared_ptr<MessageQueue> CurrentThreadQueue();

void SetMainThread();

// The queue of the thread that called SetMainThread; null before.
std::shared_ptr<MessageQueue> MainThreadQueue();

// Runs fn in target's thread, as that thread handles its messages, and returns
// once fn has returned (directly when target is the calling thread's queue).
// False, without running fn, if target is null or closes first.
bool RunInThread(const std::shared_ptr<MessageQueue>& target, std::function<void()> fn);

}  // namespace qor::platform
