// HTTP and HTTPS requests over the network, in the shape the request routine
// works with: a session (agent, proxy), a connection (host, port) and a
// request (verb, path, flags) that is sent once, read in pieces of the
// caller's size, asked for its raw response headers and closed.
//
// Every request that allows cookies shares one in-memory cookie store for the
// whole process, across threads; a request opened with inet_flag_no_cookies
// neither sends nor stores any.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::platform {

// Request flags, combined with |.
inline constexpr std::uint32_t inet_flag_reload = 0x80000000;  // never answer from a cache
inline constexpr std::uint32_t inet_flag_need_file = 0x10;
inline constexpr std::uint32_t inet_flag_no_cookies = 0x80000;
inline constexpr std::uint32_t inet_flag_no_auto_redirect = 0x200000;
inline constexpr std::uint32_t inet_flag_secure = 0x800000;  // HTTPS
// A plain HTTP request may be redirected to HTTPS.
inline constexpr std::uint32_t inet_flag_allow_redirect_to_https = 0x4000;

// Limits every request obeys. The defaults are the product's; tests shorten
// the time-outs and add their own certificate authority.
struct InetSettings {
  // A connection (with its TLS handshake and proxy tunnel) not made by then fails.
  std::chrono::milliseconds connect_timeout{30'000};
  // Once connected, a transfer that moves no byte for this long fails.
  std::chrono::milliseconds stall_timeout{30'000};
  // The whole request, connection included, ends by then however steadily
  // the bytes trickle in; what was read is kept, as on a stall.
  std::chrono::milliseconds transfer_timeout{120'000};
  long max_redirects = 30;
  // The body is cut here: reads deliver this many bytes, then end as a read
  // that fails part-way does.
  std::int64_t max_body_bytes = std::int64_t{256} << 20;
  // A response header block larger than this ends the transfer.
  std::size_t max_header_bytes = std::size_t{1} << 20;
  // PEM certificates trusted in addition to the system's store.
  std::string extra_authorities_pem;
};

InetSettings inet_settings();
void set_inet_settings(InetSettings settings);

// Prepares the network library; call once at start-up, before any thread.
// Opening a session does it too, for programs that forget. False when the
// library cannot be used.
bool inet_initialise();

class HttpRequest;
class InternetConnection;

class InternetSession {
 public:
  // proxy: empty for a direct connection; otherwise entries separated by
  // spaces or ";", each "host:port" (every scheme) or "scheme=host:port"
  // (http or https only). No session without a library, for an agent
  // holding a line break, or for a malformed proxy list.
  static std::unique_ptr<InternetSession> open(std::string_view agent, std::string_view proxy);

  // port 0 stands for the default port of the request's scheme. No
  // connection for a host that is not a plain name or address, or a port
  // outside 0-65535.
  std::unique_ptr<InternetConnection> connect(std::string_view host, int port) const;

  const std::string& agent() const { return agent_; }
  const std::string& proxy() const { return proxy_; }

 private:
  InternetSession(std::string agent, std::string proxy)
      : agent_(std::move(agent)), proxy_(std::move(proxy)) {}
  std::string agent_;
  std::string proxy_;
};

class InternetConnection {
 public:
  // path begins with "/"; version is "HTTP/1.1" or "HTTP/1.0". No request
  // for an empty or malformed verb, a path without "/" or another version.
  std::unique_ptr<HttpRequest> open_request(std::string_view verb, std::string_view path,
                                            std::string_view version, std::uint32_t flags) const;

 private:
  friend class InternetSession;
  InternetConnection(const InternetSession& session, std::string host, int port)
      : agent_(session.agent()), proxy_(session.proxy()), host_(std::move(host)), port_(port) {}
  std::string agent_;
  std::string proxy_;
  std::string host_;
  int port_;
};

class HttpRequest {
 public:
  ~HttpRequest();  // closes the request, ending a transfer still under way
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Sends the request with the header lines (separated by CR LF) and the
  // body, if any, and waits for the response to begin. True when a response
  // arrived. A request is sent once.
  bool send(std::string_view headers, std::optional<std::string_view> body);

  // Up to size bytes of the response body; 0 at its end and on failure.
  std::size_t read(char* buffer, std::size_t size);

  // The rest of the response body, appended to out: what reads until the end
  // would give, without the copy through a caller's buffer. The number of
  // bytes appended.
  std::size_t read_rest(std::string& out);

  // The header block of the final response, status line first, each line
  // ending in CR LF and the block in an empty line; nothing when no response
  // arrived.
  std::optional<std::string> raw_headers() const;

  struct Transfer;

 private:
  friend class InternetConnection;
  explicit HttpRequest(std::unique_ptr<Transfer> transfer);
  std::unique_ptr<Transfer> transfer_;
};

}  // namespace kestrava::platform
