#include "support/fault_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace kestrava::test {
namespace {

constexpr std::size_t max_request_head = 64 * 1024;

std::string status_line(int status) {
  const char* reason = status == 200   ? "OK"
                       : status == 302 ? "Found"
                       : status == 404 ? "Not Found"
                                       : "Status";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
}

}  // namespace

struct FaultServer::State {
  int listener = -1;
  int port = 0;
  int wake[2] = {-1, -1};  // written once at stop; every wait watches its read end
  std::atomic<bool> stopping{false};
  std::thread acceptor;

  mutable std::mutex mutex;
  std::map<std::string, FaultResponse> routes;
  std::vector<FaultRequest> requests;
  std::vector<std::thread> handlers;
  int connections = 0;

  // Waits until fd is ready for events or the server stops; false on stop
  // or time-out (a negative timeout waits without end).
  bool wait_for(int fd, short events, int timeout_ms = -1) const {
    pollfd fds[2] = {{fd, events, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
      const int ready = ::poll(fds, 2, timeout_ms);
      if (ready < 0 && errno == EINTR) {
        continue;
      }
      return ready > 0 && (fds[1].revents & POLLIN) == 0 && fds[0].revents != 0;
    }
  }

  bool pause(std::chrono::milliseconds interval) const {
    pollfd wake_fd = {wake[0], POLLIN, 0};
    return ::poll(&wake_fd, 1, static_cast<int>(interval.count())) == 0;
  }

  bool send_all(int fd, std::string_view bytes) const {
    while (!bytes.empty()) {
      if (!wait_for(fd, POLLOUT)) {
        return false;
      }
      const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // The request line and headers, up to the empty line; "" when the peer
  // went away first.
  std::string read_head(int fd) const {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < max_request_head) {
      if (!wait_for(fd, POLLIN)) {
        return {};
      }
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) {
        return {};
      }
      head.append(buffer, static_cast<std::size_t>(got));
    }
    return head;
  }

  static void reset(int fd) {
    linger abort{1, 0};  // close sends RST instead of FIN
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }

  void serve(int fd) {
    const std::string head = read_head(fd);
    if (head.empty()) {
      ::close(fd);
      return;
    }
    const std::size_t target_at = head.find(' ') + 1;
    const std::string target = head.substr(target_at, head.find(' ', target_at) - target_at);
    const std::string path = target.substr(0, target.find('?'));
    FaultResponse r{.status = 404, .content_type = "text/plain"};
    {
      std::lock_guard lock(mutex);
      requests.push_back({target, head.substr(0, head.find("\r\n\r\n") + 2)});
      if (auto found = routes.find(path); found != routes.end()) {
        r = found->second;
      }
    }
    answer(fd, r);
    ::close(fd);
  }

  void answer(int fd, const FaultResponse& r) {
    std::string headers = status_line(r.status);
    headers += "Content-Type: " + r.content_type + "\r\nConnection: close\r\n";
    if (!r.location.empty()) {
      headers += "Location: " + r.location + "\r\n";
    }
    const std::string filler_line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
    switch (r.fault) {
      case Fault::page:
        send_all(
            fd, headers + "Content-Length: " + std::to_string(r.body.size()) + "\r\n\r\n" + r.body);
        return;
      case Fault::reset_in_headers:
        send_all(fd, headers.substr(0, headers.size() - 10));
        pause(std::chrono::milliseconds(200));
        reset(fd);
        return;
      case Fault::reset_in_body:
        send_all(fd, headers + "Content-Length: " + std::to_string(2 * r.body.size() + 1) +
                         "\r\n\r\n" + r.body);
        pause(std::chrono::milliseconds(200));  // the client has read it before the reset
        reset(fd);
        return;
      case Fault::silent:
        wait_for(fd, POLLIN);  // until the peer closes or the server stops
        return;
      case Fault::drip:
        if (send_all(fd,
                     headers + "Content-Length: " + std::to_string(r.body.size()) + "\r\n\r\n")) {
          for (std::size_t i = 0; i < r.body.size(); ++i) {
            if (!pause(r.drip_interval) || !send_all(fd, r.body.substr(i, 1))) {
              return;
            }
          }
        }
        return;
      case Fault::huge_headers: {
        std::string lines;
        while (lines.size() + filler_line.size() <= r.header_bytes) {
          lines += filler_line;
        }
        send_all(fd, headers + lines + "Content-Length: " + std::to_string(r.body.size()) +
                         "\r\n\r\n" + r.body);
        return;
      }
      case Fault::endless_headers: {
        if (!send_all(fd, headers)) {
          return;
        }
        std::string lines;
        for (int i = 0; i < 64; ++i) {
          lines += filler_line;
        }
        while (send_all(fd, lines)) {
        }
        return;
      }
      case Fault::endless_body: {
        if (!send_all(fd, headers + "\r\n" + r.body)) {
          return;
        }
        const std::string filler(64 * 1024, ' ');
        while (send_all(fd, filler)) {
        }
        return;
      }
      case Fault::gzip: {
        const std::string packed = gzip_bytes(r.body);
        send_all(fd, headers + "Content-Encoding: gzip\r\nContent-Length: " +
                         std::to_string(packed.size()) + "\r\n\r\n" + packed);
        return;
      }
    }
  }

  void accept_loop() {
    while (wait_for(listener, POLLIN)) {
      const int fd = ::accept(listener, nullptr, nullptr);
      if (fd < 0) {
        continue;
      }
      std::lock_guard lock(mutex);
      ++connections;
      handlers.emplace_back([this, fd] { serve(fd); });
    }
  }
};

FaultServer::FaultServer() : state_(std::make_unique<State>()) {
  State& s = *state_;
  if (::pipe(s.wake) != 0) {
    throw std::runtime_error("fault server: no pipe");
  }
  s.listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (s.listener < 0 || ::bind(s.listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(s.listener, 256) != 0 ||
      ::getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("fault server: cannot listen on loopback");
  }
  s.port = ntohs(address.sin_port);
  s.acceptor = std::thread([&s] { s.accept_loop(); });
}

FaultServer::~FaultServer() {
  stop();
  ::close(state_->wake[0]);
  ::close(state_->wake[1]);
}

void FaultServer::on(const std::string& path, FaultResponse response) {
  std::lock_guard lock(state_->mutex);
  state_->routes[path] = std::move(response);
}

int FaultServer::port() const {
  return state_->port;
}

std::string FaultServer::base_url() const {
  return "http://127.0.0.1:" + std::to_string(state_->port);
}

int FaultServer::connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->connections;
}

std::vector<FaultRequest> FaultServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

void FaultServer::stop() {
  State& s = *state_;
  if (s.stopping.exchange(true)) {
    return;
  }
  const char byte = 1;
  [[maybe_unused]] ssize_t written = ::write(s.wake[1], &byte, 1);
  s.acceptor.join();
  ::close(s.listener);
  std::vector<std::thread> handlers;
  {
    std::lock_guard lock(s.mutex);
    handlers.swap(s.handlers);
  }
  for (std::thread& handler : handlers) {
    handler.join();
  }
}

std::string refused_base_url() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

std::string unresolvable_base_url() {
  return "http://" + std::string(64, 'k') + ".invalid";
}

std::string gzip_bytes(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string packed(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed.data());
  stream.avail_out = static_cast<uInt>(packed.size());
  deflate(&stream, Z_FINISH);
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  return packed;
}

}  // namespace kestrava::test
