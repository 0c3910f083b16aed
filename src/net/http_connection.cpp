#include "net/http_connection.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "net/request_text.h"
#include "platform/text.h"

namespace rk5 {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait for the network looks at the cancel flag.
constexpr std::chrono::milliseconds kCancelPoll{100};
// libcurl hands received data over in pieces of up to this size; the layer holds one.
constexpr long kReceiveBuffer = 64 * 1024;
constexpr long kMaxRedirects = 10;

using platform::EqualsFolded;

// Header lines come with their line end.
std::string_view Trim(std::string_view text) { return platform::Trim(text, " \t\r\n"); }

}  // namespace

void InitHttpLayer() {
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  static_cast<void>(init);
}

struct HttpConnection::State {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string url;

  // The latest response block (a redirect, a challenge, or the reply itself).
  int status = 0;
  std::vector<std::pair<std::string, std::string>> block;
  bool final_reply = false;  // the reply's headers are complete, or its body began

  bool done = false;
  CURLcode result = CURLE_OK;
  bool timed_out = false;
  bool cancelled = false;

  // Body bytes taken from libcurl and not yet read. While they last, further data is
  // left paused inside libcurl, so memory stays at one piece whatever the body's size.
  std::string pending;
  std::size_t pending_pos = 0;
  bool paused = false;

  Clock::time_point last_byte;

  bool HasPending() const { return pending_pos < pending.size(); }
  bool BlockHas(std::string_view name) const {
    return std::any_of(block.begin(), block.end(),
                       [&](const auto& header) { return EqualsFolded(header.first, name); });
  }
  // Whether libcurl may still answer this block with another request of its own.
  bool BlockIsFinal() const {
    if (status < 200 || status == 401 || status == 407) return false;
    return !(status >= 300 && status < 400 && status != 304 && BlockHas("Location"));
  }
  void End(CURLcode code) {
    done = true;
    result = code;
    if (code == CURLE_OPERATION_TIMEDOUT) timed_out = true;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& s = *static_cast<State*>(user);
    const std::size_t length = size * count;
    s.last_byte = Clock::now();
    std::string_view line = Trim(std::string_view(data, length));
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
      s.block.clear();
      s.status = 0;
      const std::size_t space = line.find(' ');
      if (space != std::string_view::npos) {
        std::string_view code = line.substr(space + 1);
        std::from_chars(code.data(), code.data() + code.size(), s.status);
      }
    } else if (line.empty()) {
      if (s.BlockIsFinal()) s.final_reply = true;
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      s.block.emplace_back(std::string(Trim(line.substr(0, colon))),
                           std::string(Trim(line.substr(colon + 1))));
    }
    return length;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& s = *static_cast<State*>(user);
    s.final_reply = true;
    s.last_byte = Clock::now();
    if (s.HasPending()) {
      s.paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    s.pending.assign(data, size * count);
    s.pending_pos = 0;
    return size * count;
  }

  static int OnConnected(void* user, char*, char*, int, int) {
    static_cast<State*>(user)->last_byte = Clock::now();
    return CURL_PREREQFUNC_OK;
  }
};

HttpConnection::HttpConnection(HttpLimits limits, const std::atomic<bool>* cancelled)
    : limits_(limits), cancelled_(cancelled), state_(std::make_unique<State>()) {}

HttpConnection::~HttpConnection() {
  State& s = *state_;
  // Request, connection, session: libcurl keeps them in one handle and its multi stack.
  if (s.multi != nullptr && s.easy != nullptr) curl_multi_remove_handle(s.multi, s.easy);
  if (s.easy != nullptr) curl_easy_cleanup(s.easy);
  if (s.multi != nullptr) curl_multi_cleanup(s.multi);
  curl_slist_free_all(s.headers);
}

bool HttpConnection::Send(const HttpRequest& request) {
  State& s = *state_;
  if (s.easy != nullptr || s.done) return ReplyArrived();
  if (!IsHostName(request.host)) {
    s.End(CURLE_COULDNT_RESOLVE_HOST);
    return false;
  }
  InitHttpLayer();
  s.easy = curl_easy_init();
  s.multi = curl_multi_init();
  if (s.easy == nullptr || s.multi == nullptr) {
    s.End(CURLE_FAILED_INIT);
    return false;
  }
  CURL* e = s.easy;
  s.url = (request.secure ? "https://" : "http://") + request.host + ":" +
          std::to_string(request.port) + EncodeRequestPath(request.path);
  curl_easy_setopt(e, CURLOPT_URL, s.url.c_str());
  // A fetch that began secure stays secure: no redirect takes it to plain http. A plain
  // one may be sent on to https.
  const char* protocols = request.secure ? "https" : "http,https";
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  // The certificate and its name are checked against the system's store; the user's own
  // authority, when set, is trusted as well (the store's folder stays in use beside it).
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!limits_.extra_authority.empty()) {
    curl_easy_setopt(e, CURLOPT_CAINFO, limits_.extra_authority.c_str());
  }
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connect_timeout.count()));
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  if (limits_.low_speed_bytes > 0) {
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, limits_.low_speed_bytes);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME,
                     std::max<long>(1, static_cast<long>(limits_.low_speed_time.count())));
  }
  // The body runs to the end of the connection, so that the fetch itself can compare it
  // with the announced length (and a garbled length does not stop libcurl).
  curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  if (!request.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, request.agent.c_str());
  if (!request.referrer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, request.referrer.c_str());
  if (!request.user_name.empty()) {
    curl_easy_setopt(e, CURLOPT_USERNAME, request.user_name.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, request.password.c_str());
    // More than one scheme: credentials go out only when the server asks for them.
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  }

  const auto add = [&](const std::string& line) {
    if (curl_slist* grown = curl_slist_append(s.headers, line.c_str())) s.headers = grown;
  };
  const std::size_t colon = request.accept.find(':');
  const bool no_types =
      colon == std::string::npos || Trim(std::string_view(request.accept).substr(colon + 1)).empty();
  add(no_types ? std::string("Accept:") : request.accept);  // "Accept:" drops libcurl's own
  if (request.reload) {
    add("Pragma: no-cache");
    add("Cache-Control: no-cache");
  }
  // The body ends with the connection: ask every hop to close it.
  add("Connection: close");
  add("Proxy-Connection:");
  if (!request.extra_headers.empty()) add(request.extra_headers);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, s.headers);

  if (request.verb == "POST") {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  } else if (request.verb != "GET") {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, request.verb.c_str());
  }

  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &State::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &State::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &State::OnConnected);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &s);

  if (curl_multi_add_handle(s.multi, e) != CURLM_OK) {
    s.End(CURLE_FAILED_INIT);
    return false;
  }
  s.last_byte = Clock::now();
  Pump([](const State& st) { return st.final_reply || st.HasPending(); });
  return ReplyArrived();
}

bool HttpConnection::ReplyArrived() const {
  const State& s = *state_;
  return s.final_reply || (s.done && s.result == CURLE_OK);
}

std::optional<std::string> HttpConnection::ContentLength() const {
  const State& s = *state_;
  if (!ReplyArrived()) return std::nullopt;
  std::vector<std::string> values;
  for (const auto& [name, value] : s.block) {
    if (EqualsFolded(name, "Content-Length") &&
        std::find(values.begin(), values.end(), value) == values.end()) {
      values.push_back(value);
    }
  }
  if (values.empty()) return std::nullopt;
  std::string joined = values.front();
  for (std::size_t i = 1; i < values.size(); ++i) joined += ", " + values[i];
  return joined;
}

std::size_t HttpConnection::Read(char* buffer, std::size_t capacity) {
  State& s = *state_;
  if (capacity == 0 || s.easy == nullptr) return 0;
  if (!s.HasPending()) {
    if (s.paused && !s.done) {
      s.paused = false;
      curl_easy_pause(s.easy, CURLPAUSE_CONT);  // may hand the held piece over at once
    }
    Pump([](const State& st) { return st.HasPending(); });
    if (!s.HasPending()) return 0;
  }
  const std::size_t n = std::min(capacity, s.pending.size() - s.pending_pos);
  std::memcpy(buffer, s.pending.data() + s.pending_pos, n);
  s.pending_pos += n;
  return n;
}

bool HttpConnection::TimedOut() const { return state_->timed_out; }
bool HttpConnection::Cancelled() const { return state_->cancelled; }

void HttpConnection::Pump(bool (*ready)(const State&)) {
  State& s = *state_;
  // Time spent away from the network (the caller's own work) is no stall.
  const Clock::time_point entered = Clock::now();
  while (!s.done && !ready(s)) {
    if (cancelled_ != nullptr && cancelled_->load()) {
      s.cancelled = true;
      s.End(CURLE_ABORTED_BY_CALLBACK);
      return;
    }
    int running = 0;
    if (curl_multi_perform(s.multi, &running) != CURLM_OK) {
      s.End(CURLE_RECV_ERROR);
      return;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(s.multi, &queued)) {
      if (message->msg == CURLMSG_DONE) s.End(message->data.result);
    }
    if (s.done || ready(s)) return;
    const auto quiet = Clock::now() - std::max(s.last_byte, entered);
    if (quiet >= limits_.stall_limit) {
      s.End(CURLE_OPERATION_TIMEDOUT);
      return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limits_.stall_limit - quiet);
    const auto wait = std::max<std::chrono::milliseconds>(std::min(kCancelPoll, left), std::chrono::milliseconds(1));
    curl_multi_poll(s.multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
  }
}

}  // namespace rk5
