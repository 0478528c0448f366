#include "tests/protocols/kermit/peer_process.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace qor::testing {

PeerProcess::PeerProcess(const std::vector<std::string>& argv, const std::string& dir,
                         const std::string& line) {
  Spawn(argv, dir, line, -1);
}

PeerProcess::PeerProcess(const std::vector<std::string>& argv, const std::string& dir,
                         int line_fd) {
  Spawn(argv, dir, {}, line_fd);
}

void PeerProcess::Spawn(const std::vector<std::string>& argv, const std::string& dir,
                        const std::string& line, int line_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  if (line_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, line_fd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, line.empty() ? "/dev/null" : line.c_str(),
                                     O_RDWR | O_NOCTTY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, 0, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "peer.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawnp " + argv[0]);
}

PeerProcess::~PeerProcess() { Kill(); }

int PeerProcess::Wait(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (pid_ > 0) {
    int status = 0;
    rusage use{};
    const pid_t r = ::wait4(pid_, &status, WNOHANG, &use);
    if (r == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      cpu_seconds_ = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                     static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
      break;
    }
    if (std::chrono::steady_clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return status_;
}

void PeerProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

void PeerProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace qor::testing
