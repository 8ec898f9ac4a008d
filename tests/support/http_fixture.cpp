#include "support/http_fixture.h"

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/test_certificates.h"

namespace kestrava::test {
namespace {

bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (same_name(key, name)) {
      return value;
    }
  }
  return {};
}

std::size_t RecordedRequest::header_count(std::string_view name) const {
  return static_cast<std::size_t>(std::count_if(
      headers.begin(), headers.end(), [&](const auto& h) { return same_name(h.first, name); }));
}

struct HttpFixture::State {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  int port = 0;
  bool tls = false;

  mutable std::mutex mutex;
  std::condition_variable stopping_cv;
  bool stopping = false;
  std::map<std::string, FixtureHandler, std::less<>> handlers;
  std::vector<RecordedRequest> requests;

  // Records the request and returns what the test wants answered.
  FixtureResponse answer(const httplib::Request& req) {
    RecordedRequest recorded;
    recorded.method = req.method;
    recorded.path = req.path;
    recorded.target = req.target;
    recorded.body = req.body;
    for (const auto& [name, value] : req.headers) {
      // httplib adds these itself; they did not come from the client.
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT") {
        continue;
      }
      recorded.headers.emplace_back(name, value);
    }
    FixtureHandler handler;
    {
      std::lock_guard lock(mutex);
      requests.push_back(recorded);
      if (auto it = handlers.find(req.path); it != handlers.end()) {
        handler = it->second;
      }
    }
    if (!handler) {
      return FixtureResponse{.status = 404};
    }
    return handler(recorded);
  }

  // Waits up to duration; false when the server is stopping.
  bool wait(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex);
    return !stopping_cv.wait_for(lock, duration, [this] { return stopping; });
  }

  void wait_for_stop() {
    std::unique_lock lock(mutex);
    stopping_cv.wait(lock, [this] { return stopping; });
  }

  void start();

  void serve(const httplib::Request& req, httplib::Response& res) {
    FixtureResponse response = answer(req);
    if (response.delay.count() > 0 && !wait(response.delay)) {
      res.status = 503;
      return;
    }
    res.status = response.status;
    for (const auto& [name, value] : response.headers) {
      res.headers.emplace(name, value);
    }
    if (response.stall_after) {
      auto body = std::make_shared<std::string>(std::move(response.body));
      std::size_t sent_part = std::min(*response.stall_after, body->size());
      res.set_content_provider(
          body->size(), response.content_type,
          [this, body, sent_part](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < sent_part) {
              sink.write(body->data() + offset, sent_part - offset);
              return true;
            }
            wait_for_stop();
            return false;
          });
      return;
    }
    res.set_content(response.body, response.content_type);
  }
};

void HttpFixture::State::start() {
  State& state = *this;
  auto& server = *state.server;
  if (!server.is_valid()) {
    throw std::runtime_error("the fixture server could not be set up");
  }
  auto handler = [&state](const httplib::Request& req, httplib::Response& res) {
    state.serve(req, res);
  };
  const char* any = ".*";
  server.Get(any, handler);
  server.Post(any, handler);
  server.Put(any, handler);
  server.Delete(any, handler);
  server.Options(any, handler);
  server.Patch(any, handler);
  // Methods httplib does not route (TRACE, CONNECT) are answered here.
  server.set_pre_routing_handler([&state](const httplib::Request& req, httplib::Response& res) {
    static const char* routed[] = {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"};
    if (std::find(std::begin(routed), std::end(routed), req.method) != std::end(routed)) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    state.serve(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  server.set_keep_alive_max_count(100);
  state.port = server.bind_to_any_port("127.0.0.1");
  if (state.port <= 0) {
    throw std::runtime_error("the fixture server could not bind 127.0.0.1");
  }
  state.thread = std::thread([&server] { server.listen_after_bind(); });
  while (!server.is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

HttpFixture::HttpFixture() : state_(std::make_unique<State>()) {
  state_->server = std::make_unique<httplib::Server>();
  state_->start();
}

HttpFixture::HttpFixture(const TestCertificates& certificates) : state_(std::make_unique<State>()) {
  state_->server = std::make_unique<httplib::SSLServer>(certificates.server_certificate(),
                                                        certificates.server_key());
  state_->tls = true;
  state_->start();
}

HttpFixture::~HttpFixture() {
  stop();
}

void HttpFixture::on(const std::string& path, FixtureHandler handler) {
  std::lock_guard lock(state_->mutex);
  state_->handlers[path] = std::move(handler);
}

void HttpFixture::on(const std::string& path, FixtureResponse response) {
  on(path, [response = std::move(response)](const RecordedRequest&) { return response; });
}

int HttpFixture::port() const {
  return state_->port;
}

std::string HttpFixture::base_url() const {
  return std::string(state_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port());
}

std::string HttpFixture::url(std::string_view path) const {
  return base_url() + std::string(path);
}

std::vector<RecordedRequest> HttpFixture::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::vector<RecordedRequest> HttpFixture::requests_for(std::string_view path) const {
  std::vector<RecordedRequest> found;
  for (auto& request : requests()) {
    if (request.path == path) {
      found.push_back(std::move(request));
    }
  }
  return found;
}

void HttpFixture::stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->stopping_cv.notify_all();
  state_->server->stop();
  if (state_->thread.joinable()) {
    state_->thread.join();
  }
}

}  // namespace kestrava::test
