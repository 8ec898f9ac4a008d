// Runs the demo site binary on a free loopback port for the length of a test
// and stops it afterwards.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace kestrava::testing {

class DemoProcess {
 public:
  // binary: the path of kestrava-demo-site. base() is empty when it failed to
  // start or to report its address.
  explicit DemoProcess(const std::string& binary) {
    int out[2];
    if (pipe(out) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string port_flag = "--port";
    std::string port = "0";
    char* argv[] = {const_cast<char*>(binary.c_str()), port_flag.data(), port.data(), nullptr};
    const int spawned = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
      pid_ = -1;
      close(out[0]);
      return;
    }
    // The first line: "listening on http://127.0.0.1:PORT".
    std::string line;
    char c = 0;
    while (line.size() < 200 && read(out[0], &c, 1) == 1 && c != '\n') {
      line.push_back(c);
    }
    close(out[0]);
    const std::string prefix = "listening on ";
    if (line.rfind(prefix, 0) == 0) {
      base_ = line.substr(prefix.size());
    }
  }
  ~DemoProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  DemoProcess(const DemoProcess&) = delete;
  DemoProcess& operator=(const DemoProcess&) = delete;

  const std::string& base() const { return base_; }

 private:
  pid_t pid_ = -1;
  std::string base_;
};

}  // namespace kestrava::testing
