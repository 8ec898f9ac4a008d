#include "platform/inet/inet.h"

#include <curl/curl.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <mutex>
#include <vector>

namespace kestrava::platform {
namespace {

std::mutex settings_mutex;
InetSettings current_settings;

// The cookie store of the process. It is never freed: detached workers may
// still be inside a request when the process ends.
CURLSH* cookie_share = nullptr;
std::array<std::mutex, CURL_LOCK_DATA_LAST> share_locks;

void lock_share(CURL*, curl_lock_data data, curl_lock_access, void*) {
  share_locks[static_cast<std::size_t>(data)].lock();
}

void unlock_share(CURL*, curl_lock_data data, void*) {
  share_locks[static_cast<std::size_t>(data)].unlock();
}

bool initialise_once() {
#ifdef SIGPIPE
  // A peer that closes early must fail the write, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    return false;
  }
  cookie_share = curl_share_init();
  if (cookie_share == nullptr) {
    return false;
  }
  curl_share_setopt(cookie_share, CURLSHOPT_LOCKFUNC, lock_share);
  curl_share_setopt(cookie_share, CURLSHOPT_UNLOCKFUNC, unlock_share);
  return curl_share_setopt(cookie_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) == CURLSHE_OK;
}

bool is_host_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool is_token_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         equals_ignoring_case(text.substr(0, prefix.size()), prefix);
}

// "host:port" of a proxy, or "" when it is malformed.
std::string proxy_host_port(std::string_view entry) {
  if (starts_with_ignoring_case(entry, "http://")) {
    entry.remove_prefix(7);
  }
  while (!entry.empty() && entry.back() == '/') {
    entry.remove_suffix(1);
  }
  std::size_t colon = entry.rfind(':');
  std::string_view host = entry.substr(0, colon);
  if (host.empty() || !std::all_of(host.begin(), host.end(), is_host_byte)) {
    return {};
  }
  if (colon != std::string_view::npos) {
    std::string_view port = entry.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(std::string(port)) > 65535) {
      return {};
    }
  }
  return std::string(entry);
}

struct ProxyEntry {
  std::string scheme;  // "" for every scheme
  std::string host_port;
};

// The entries of a proxy list, or nothing when one of them is malformed: a
// proxy the caller asked for is never silently skipped.
std::optional<std::vector<ProxyEntry>> parse_proxy_list(std::string_view list) {
  std::vector<ProxyEntry> entries;
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t end = list.find_first_of(" ;", at);
    if (end == std::string_view::npos) {
      end = list.size();
    }
    std::string_view entry = list.substr(at, end - at);
    at = end + 1;
    if (entry.empty()) {
      continue;
    }
    ProxyEntry parsed;
    if (std::size_t equals = entry.find('='); equals != std::string_view::npos) {
      std::string_view scheme = entry.substr(0, equals);
      if (!equals_ignoring_case(scheme, "http") && !equals_ignoring_case(scheme, "https")) {
        return std::nullopt;
      }
      parsed.scheme = equals_ignoring_case(scheme, "http") ? "http" : "https";
      entry.remove_prefix(equals + 1);
    }
    parsed.host_port = proxy_host_port(entry);
    if (parsed.host_port.empty()) {
      return std::nullopt;
    }
    entries.push_back(std::move(parsed));
  }
  return entries;
}

// The proxy for a request of the scheme: an entry for that scheme wins over
// one for every scheme; "" means a direct connection.
std::string choose_proxy(std::string_view list, std::string_view scheme) {
  std::string for_all;
  for (const ProxyEntry& entry : parse_proxy_list(list).value_or(std::vector<ProxyEntry>())) {
    if (entry.scheme == scheme) {
      return entry.host_port;
    }
    if (entry.scheme.empty() && for_all.empty()) {
      for_all = entry.host_port;
    }
  }
  return for_all;
}

// Bytes a request line cannot carry as they are go out percent-encoded.
std::string escape_path(std::string_view path) {
  static const char digits[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(path.size());
  for (char c : path) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F ||
        std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos) {
      escaped += '%';
      escaped += digits[byte >> 4];
      escaped += digits[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

int add_authorities(CURL*, void* ssl_context, void* pem_text) {
  const auto* pem = static_cast<const std::string*>(pem_text);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(ssl_context));
  BIO* bio = BIO_new_mem_buf(pem->data(), static_cast<int>(pem->size()));
  if (bio == nullptr) {
    return CURLE_OUT_OF_MEMORY;
  }
  while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
    X509_STORE_add_cert(store, cert);
    X509_free(cert);
  }
  BIO_free(bio);
  return CURLE_OK;
}

}  // namespace

InetSettings inet_settings() {
  std::lock_guard lock(settings_mutex);
  return current_settings;
}

void set_inet_settings(InetSettings settings) {
  std::lock_guard lock(settings_mutex);
  current_settings = std::move(settings);
}

bool inet_initialise() {
  static const bool ready = initialise_once();
  return ready;
}

std::unique_ptr<InternetSession> InternetSession::open(std::string_view agent,
                                                       std::string_view proxy) {
  if (!inet_initialise() || agent.find_first_of("\r\n") != std::string_view::npos ||
      !parse_proxy_list(proxy)) {
    return nullptr;
  }
  return std::unique_ptr<InternetSession>(
      new InternetSession(std::string(agent), std::string(proxy)));
}

std::unique_ptr<InternetConnection> InternetSession::connect(std::string_view host,
                                                             int port) const {
  if (host.empty() || host.size() > 253 || !std::all_of(host.begin(), host.end(), is_host_byte) ||
      port < 0 || port > 65535) {
    return nullptr;
  }
  return std::unique_ptr<InternetConnection>(
      new InternetConnection(*this, std::string(host), port));
}

struct HttpRequest::Transfer {
  std::string agent;
  std::string proxy_list;
  std::string host;
  int port = 0;
  std::string verb;
  std::string path;
  bool http_1_0 = false;
  std::uint32_t flags = 0;
  InetSettings settings;

  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* header_list = nullptr;
  std::string request_body;
  bool sent = false;
  bool done = false;

  std::string headers;  // the block of the latest response
  bool headers_began = false;
  bool headers_complete = false;

  std::string pending;  // body bytes received but not read yet
  std::size_t pending_at = 0;
  std::string* sink = nullptr;  // while set, body bytes go straight there
  std::int64_t body_received = 0;

  std::chrono::steady_clock::time_point last_activity = std::chrono::steady_clock::now();
  curl_off_t connected_at = 0;  // when the latest connection became ready
  curl_off_t moved_down = 0;
  curl_off_t moved_up = 0;

  ~Transfer() {
    if (multi != nullptr && easy != nullptr) {
      curl_multi_remove_handle(multi, easy);
    }
    if (easy != nullptr) {
      curl_easy_cleanup(easy);
    }
    if (multi != nullptr) {
      curl_multi_cleanup(multi);
    }
    curl_slist_free_all(header_list);
  }

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    t.last_activity = std::chrono::steady_clock::now();
    std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") {
      t.headers.clear();
      t.headers_began = true;
      t.headers_complete = false;
    } else if (t.headers_complete || !t.headers_began) {
      return size * count;  // trailers after the body are not part of the block
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    if (t.headers.size() + line.size() + 2 > t.settings.max_header_bytes) {
      return 0;
    }
    t.headers.append(line);
    t.headers.append("\r\n");
    if (line.empty()) {
      t.headers_complete = true;
    }
    return size * count;
  }

  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    t.last_activity = std::chrono::steady_clock::now();
    std::size_t length = size * count;
    auto room = static_cast<std::size_t>(
        std::max<std::int64_t>(0, t.settings.max_body_bytes - t.body_received));
    std::size_t taken = std::min(length, room);
    t.body_received += static_cast<std::int64_t>(taken);
    if (t.sink != nullptr) {
      t.sink->append(data, taken);
      return taken == length ? length : 0;
    }
    if (t.pending_at == t.pending.size()) {
      t.pending.clear();
      t.pending_at = 0;
    }
    t.pending.append(data, taken);
    return taken == length ? length : 0;  // past the bound the transfer ends
  }

  // Lets the transfer move once, waiting for the network when it has
  // nothing to do.
  void pump() {
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE) {
        done = true;
      }
    }
    if (running == 0) {
      done = true;
    }
    if (!done) {
      watch_for_stall();
    }
    if (!done && !has_pending()) {
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(poll_milliseconds()), nullptr);
    }
  }

  static int on_progress(void* self, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto& t = *static_cast<Transfer*>(self);
    if (down != t.moved_down || up != t.moved_up) {
      t.moved_down = down;
      t.moved_up = up;
      t.last_activity = std::chrono::steady_clock::now();
    }
    return 0;
  }

  // Once connected, a transfer that moves no byte for the stall time is
  // abandoned; the connection phase has its own time-out.
  void watch_for_stall() {
    auto now = std::chrono::steady_clock::now();
    curl_off_t ready = 0;
    curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &ready);
    if (ready != connected_at) {
      connected_at = ready;
      last_activity = now;
    }
    if (connected_at != 0 && now - last_activity >= settings.stall_timeout) {
      curl_multi_remove_handle(multi, easy);
      done = true;
    }
  }

  long poll_milliseconds() const {
    if (connected_at == 0) {
      return 1000;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        settings.stall_timeout - (std::chrono::steady_clock::now() - last_activity));
    return std::clamp<long>(static_cast<long>(left.count()) + 1, 1, 1000);
  }

  bool has_pending() const { return pending_at < pending.size(); }

  bool start(std::string_view header_block, std::optional<std::string_view> body);
};

bool HttpRequest::Transfer::start(std::string_view header_block,
                                  std::optional<std::string_view> body) {
  easy = curl_easy_init();
  multi = curl_multi_init();
  if (easy == nullptr || multi == nullptr) {
    return false;
  }
  const bool secure = (flags & inet_flag_secure) != 0;
  const char* scheme = secure ? "https" : "http";
  std::string url = std::string(scheme) + "://" + host;
  if (port != 0 && port != (secure ? 443 : 80)) {
    url += ":" + std::to_string(port);
  }
  url += escape_path(path);

  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                   http_1_0 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  if (!agent.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
  }

  // Only the proxy given here counts, never one from the environment.
  std::string proxy = choose_proxy(proxy_list, scheme);
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy.empty() ? "" : ("http://" + proxy).c_str());
  curl_easy_setopt(easy, CURLOPT_PROXYTYPE, CURLPROXY_HTTP);
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(settings.connect_timeout.count()));
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.transfer_timeout.count()));
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);

  if ((flags & inet_flag_no_auto_redirect) == 0) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, settings.max_redirects);
    // An HTTPS request never falls back to plain HTTP; a plain one moves to
    // HTTPS only when allowed.
    const char* targets = secure                                             ? "https"
                          : (flags & inet_flag_allow_redirect_to_https) != 0 ? "http,https"
                                                                             : "http";
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, targets);
  }

  if ((flags & inet_flag_no_cookies) == 0) {
    curl_easy_setopt(easy, CURLOPT_SHARE, cookie_share);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  }

  if (!settings.extra_authorities_pem.empty()) {  // also for a redirect to HTTPS
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, add_authorities);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &settings.extra_authorities_pem);
  }

  // The caller's lines go out as given; the library adds none of its own
  // beyond Host, User-Agent, Content-Length and the stored cookies.
  bool has_accept = false;
  bool has_content_type = false;
  std::size_t at = 0;
  while (at <= header_block.size()) {
    std::size_t end = header_block.find_first_of("\r\n", at);
    if (end == std::string_view::npos) {
      end = header_block.size();
    }
    std::string line(header_block.substr(at, end - at));
    at = end + 1;
    if (line.empty()) {
      continue;
    }
    has_accept = has_accept || starts_with_ignoring_case(line, "Accept:");
    has_content_type = has_content_type || starts_with_ignoring_case(line, "Content-Type:");
    header_list = curl_slist_append(header_list, line.c_str());
  }
  if (!has_accept) {
    header_list = curl_slist_append(header_list, "Accept:");
  }
  header_list = curl_slist_append(header_list, "Expect:");

  if (verb == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (body || verb == "POST" || verb == "PUT") {  // an empty body still has a length
    request_body = body ? std::string(*body) : std::string();
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request_body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request_body.c_str());
    if (verb != "POST") {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
    }
    if (!has_content_type) {
      header_list = curl_slist_append(header_list, "Content-Type:");
    }
  } else if (verb != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, header_list);

  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);

  if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
    return false;
  }
  while (!done && !has_pending()) {
    pump();
  }
  return headers_began;
}

std::unique_ptr<HttpRequest> InternetConnection::open_request(std::string_view verb,
                                                              std::string_view path,
                                                              std::string_view version,
                                                              std::uint32_t flags) const {
  if (verb.empty() || !std::all_of(verb.begin(), verb.end(), is_token_byte) || path.empty() ||
      path.front() != '/' || (version != "HTTP/1.1" && version != "HTTP/1.0")) {
    return nullptr;
  }
  auto transfer = std::make_unique<HttpRequest::Transfer>();
  transfer->agent = agent_;
  transfer->proxy_list = proxy_;
  transfer->host = host_;
  transfer->port = port_;
  transfer->verb = verb;
  transfer->path = path;
  transfer->http_1_0 = version == "HTTP/1.0";
  transfer->flags = flags;
  transfer->settings = inet_settings();
  return std::unique_ptr<HttpRequest>(new HttpRequest(std::move(transfer)));
}

HttpRequest::HttpRequest(std::unique_ptr<Transfer> transfer) : transfer_(std::move(transfer)) {}

HttpRequest::~HttpRequest() = default;

bool HttpRequest::send(std::string_view headers, std::optional<std::string_view> body) {
  Transfer& t = *transfer_;
  if (t.sent) {
    return false;
  }
  t.sent = true;
  if (!t.start(headers, body)) {
    t.done = true;
    return false;
  }
  return true;
}

std::size_t HttpRequest::read(char* buffer, std::size_t size) {
  Transfer& t = *transfer_;
  if (!t.sent || size == 0) {
    return 0;
  }
  while (!t.has_pending() && !t.done) {
    t.pump();
  }
  std::size_t count = std::min(size, t.pending.size() - t.pending_at);
  std::copy_n(t.pending.data() + t.pending_at, count, buffer);
  t.pending_at += count;
  return count;
}

std::size_t HttpRequest::read_rest(std::string& out) {
  Transfer& t = *transfer_;
  if (!t.sent) {
    return 0;
  }
  const std::size_t before = out.size();
  if (out.empty() && t.pending_at == 0) {
    out = std::move(t.pending);
  } else {
    out.append(t.pending, t.pending_at);
  }
  t.pending.clear();
  t.pending_at = 0;
  if (t.done) {
    return out.size() - before;
  }
  // Room for what the server announces, so a large body is not moved as it
  // grows; an announced length is not trusted past the bounds.
  curl_off_t announced = -1;
  curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  if (announced > 0) {
    constexpr std::int64_t most_reserved = std::int64_t{32} << 20;
    const std::int64_t expected =
        std::min({static_cast<std::int64_t>(announced), t.settings.max_body_bytes, most_reserved}) -
        t.body_received;
    if (expected > 0) {
      out.reserve(out.size() + static_cast<std::size_t>(expected));
    }
  }
  t.sink = &out;
  while (!t.done) {
    t.pump();
  }
  t.sink = nullptr;
  return out.size() - before;
}

std::optional<std::string> HttpRequest::raw_headers() const {
  if (!transfer_->headers_began) {
    return std::nullopt;
  }
  return transfer_->headers;
}

}  // namespace kestrava::platform
