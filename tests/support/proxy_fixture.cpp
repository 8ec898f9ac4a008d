#include "support/proxy_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kestrava::test {
namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool accepts_connections(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

int free_loopback_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(0);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

ProxyFixture::ProxyFixture() {
  char pattern[] = "/tmp/kestrava-proxy-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  directory_ = pattern;
  port_ = free_loopback_port();
  const std::string config = directory_ + "/tinyproxy.conf";
  {
    std::ofstream out(config);
    out << "Port " << port_ << "\n"
        << "Listen 127.0.0.1\n"
        << "Timeout 30\n"
        << "MaxClients 32\n"
        << "Allow 127.0.0.1\n"
        << "LogLevel Info\n"
        << "LogFile \"" << directory_ << "/tinyproxy.log\"\n"
        << "PidFile \"" << directory_ << "/tinyproxy.pid\"\n";
    if (geteuid() == 0) {
      out << "User nobody\nGroup nogroup\n";
    }
  }
  std::filesystem::permissions(directory_, std::filesystem::perms::all);
  const char* argv[] = {"/usr/bin/tinyproxy", "-d", "-c", config.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    throw std::runtime_error("tinyproxy could not be started");
  }
  pid_ = pid;
  for (int i = 0; i < 500; ++i) {
    if (accepts_connections(port_)) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  throw std::runtime_error("tinyproxy did not start listening");
}

ProxyFixture::~ProxyFixture() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string ProxyFixture::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string ProxyFixture::log() const {
  std::ifstream in(directory_ + "/tinyproxy.log");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kestrava::test
