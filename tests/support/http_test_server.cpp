#include "support/http_test_server.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace rk5::test {

namespace {

constexpr std::size_t kMaxHead = 1 << 20;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The target without scheme and host, query included.
std::string_view OriginForm(std::string_view target) {
  const std::size_t scheme = target.find("://");
  if (scheme == std::string_view::npos || target.substr(0, 1) == "/") return target;
  const std::size_t slash = target.find('/', scheme + 3);
  return slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
}

// The test's thread tells the server's thread through a pipe, not the toolkit's event
// queue: the queue's lock is invisible to ThreadSanitizer, a pipe's write and read are not.
constexpr char kWake = 'w';
constexpr char kQuit = 'q';

std::string Head(const HttpReply& reply) {
  std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  for (const HttpHeader& header : reply.headers) head += header.name + ": " + header.value + "\r\n";
  if (!reply.omit_length) {
    head += "Content-Length: " +
            (reply.length_text.empty() ? std::to_string(reply.body.size()) : reply.length_text) +
            "\r\n";
  }
  return head + "\r\n";
}

}  // namespace

std::string RecordedRequest::Path() const {
  const std::string_view origin = OriginForm(target);
  return std::string(origin.substr(0, origin.find('?')));
}

std::string RecordedRequest::Query() const {
  const std::size_t mark = target.find('?');
  return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

std::string RecordedRequest::Header(std::string_view name) const {
  for (const HttpHeader& header : headers) {
    if (EqualsNoCase(header.name, name)) return header.value;
  }
  return {};
}

std::size_t RecordedRequest::HeaderCount(std::string_view name) const {
  return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(), [&](const HttpHeader& h) {
    return EqualsNoCase(h.name, name);
  }));
}

HttpReply Ok(std::string body) {
  HttpReply reply;
  reply.body = std::move(body);
  return reply;
}

HttpReply WithoutLength(std::string body) {
  HttpReply reply = Ok(std::move(body));
  reply.omit_length = true;
  return reply;
}

HttpReply Status(int status, std::string reason, std::string body) {
  HttpReply reply = Ok(std::move(body));
  reply.status = status;
  reply.reason = std::move(reason);
  return reply;
}

HttpReply Redirect(int status, std::string location) {
  HttpReply reply = Status(status, "Moved", "moved\n");
  reply.headers.push_back({"Location", std::move(location)});
  return reply;
}

// State that the test's thread and the server's thread share, under one mutex.
struct HttpTestServer::Shared {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::map<std::string, Handler> routes;
  std::vector<RecordedRequest> requests;
  std::set<std::string> open_gates;
  std::map<std::string, std::size_t> waiting_at;
  std::size_t connections = 0;
  std::uint16_t port = 0;
  bool ready = false;
  int signal_read = -1;   // the server's thread reads what the test's thread writes
  int signal_write = -1;

  void Signal(char what) const {
    while (write(signal_write, &what, 1) < 0 && errno == EINTR) {
    }
  }

  template <class F>
  bool Wait(std::chrono::milliseconds limit, F done) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, [&] { return done(); });
  }
  template <class F>
  void Change(F change) {
    {
      std::lock_guard lock(mutex);
      change();
    }
    changed.notify_all();
  }
};

namespace {

using Shared = HttpTestServer::Shared;

// One client connection, on the server's thread.
class Connection : public QObject {
 public:
  Connection(QTcpSocket* socket, Shared& shared, QObject* parent)
      : QObject(parent), socket_(socket), shared_(shared) {
    socket_->setParent(this);
    shared_.Change([&] { ++shared_.connections; });
    connect(socket_, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
    connect(socket_, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
  }
  ~Connection() override {
    shared_.Change([&] {
      --shared_.connections;
      if (!gate_.empty()) --shared_.waiting_at[gate_];
    });
  }

  // Sends the rest when the gate this connection waits at is open.
  void CheckGate() {
    if (gate_.empty()) return;
    bool open = false;
    shared_.Change([&] {
      open = shared_.open_gates.count(gate_) != 0;
      if (open) --shared_.waiting_at[gate_];
    });
    if (!open) return;
    gate_.clear();
    socket_->write(rest_.data(), static_cast<qint64>(rest_.size()));
    socket_->disconnectFromHost();
  }

 private:
  void OnReadyRead() {
    if (answered_) {
      socket_->readAll();
      return;
    }
    in_ += socket_->readAll().toStdString();
    if (!ParseRequest()) return;
    answered_ = true;
    Answer();
  }

  // True once a whole request (head and body) is in.
  bool ParseRequest() {
    const std::size_t end = in_.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (in_.size() > kMaxHead) socket_->abort();
      return false;
    }
    RecordedRequest request;
    std::size_t body_length = 0;
    std::string_view head(in_.data(), end);
    for (bool first_line = true; !head.empty() || first_line; first_line = false) {
      const std::size_t line_end = head.find("\r\n");
      const std::string_view line = head.substr(0, line_end);
      head.remove_prefix(line_end == std::string_view::npos ? head.size() : line_end + 2);
      if (first_line) {
        request.request_line = std::string(line);
        continue;
      }
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      HttpHeader header{std::string(Trim(line.substr(0, colon))),
                        std::string(Trim(line.substr(colon + 1)))};
      if (EqualsNoCase(header.name, "Content-Length")) {
        std::from_chars(header.value.data(), header.value.data() + header.value.size(), body_length);
      }
      request.headers.push_back(std::move(header));
    }
    const std::string& line = request.request_line;
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    request.method = line.substr(0, first);
    if (first != std::string::npos && last > first) {
      request.target = line.substr(first + 1, last - first - 1);
      request.version = line.substr(last + 1);
    }
    if (in_.size() < end + 4 + body_length) return false;
    request.body = in_.substr(end + 4, body_length);
    request_ = std::move(request);
    return true;
  }

  void Answer() {
    HttpTestServer::Handler handler;
    shared_.Change([&] {
      shared_.requests.push_back(request_);
      const auto route = shared_.routes.find(request_.Path());
      if (route != shared_.routes.end()) handler = route->second;
    });
    const HttpReply reply = handler ? handler(request_) : Status(404, "Not Found", "Not Found");
    if (reply.fault == Fault::kHangUp) return socket_->disconnectFromHost();
    if (reply.fault == Fault::kSilent) return;

    const std::string head = reply.raw.empty() ? Head(reply) : std::string();
    const std::string& body = reply.raw.empty() ? reply.body : reply.raw;
    const bool whole = reply.fault == Fault::kNone || reply.fault == Fault::kEndless;
    const std::size_t cut = whole ? body.size() : std::min(reply.fault_at, body.size());
    const std::string first = head + body.substr(0, cut);
    socket_->write(first.data(), static_cast<qint64>(first.size()));
    switch (reply.fault) {
      case Fault::kStallAt:
        return;
      case Fault::kGateAt:
        rest_ = body.substr(cut);
        gate_ = reply.gate;
        shared_.Change([&] { ++shared_.waiting_at[gate_]; });
        return CheckGate();
      case Fault::kEndless:
        filler_.assign(64 * 1024, 'e');
        connect(socket_, &QTcpSocket::bytesWritten, this, [this] { Pour(); });
        return Pour();
      case Fault::kDripAt: {
        rest_ = body.substr(cut);
        auto* drip = new QTimer(this);
        connect(drip, &QTimer::timeout, this, [this, drip] { Drip(*drip); });
        return drip->start(reply.drip_every);
      }
      default:
        return socket_->disconnectFromHost();
    }
  }

  // Keeps the socket's queue filled while the client reads.
  void Pour() {
    while (socket_->state() == QAbstractSocket::ConnectedState &&
           socket_->bytesToWrite() < static_cast<qint64>(4 * filler_.size())) {
      socket_->write(filler_.data(), static_cast<qint64>(filler_.size()));
    }
  }

  void Drip(QTimer& drip) {
    if (rest_.empty() || socket_->state() != QAbstractSocket::ConnectedState) {
      drip.stop();
      socket_->disconnectFromHost();
      return;
    }
    socket_->write(rest_.data(), 1);
    rest_.erase(0, 1);
  }

  QTcpSocket* socket_;
  Shared& shared_;
  std::string in_;
  bool answered_ = false;
  RecordedRequest request_;
  std::string gate_;
  std::string rest_;
  std::string filler_;
};

// Accepts connections and passes gate openings and the end on; lives on the server's thread.
class Dispatcher : public QObject {
 public:
  Dispatcher(Shared& shared, QEventLoop& loop)
      : shared_(shared), loop_(loop), signals_(shared.signal_read, QSocketNotifier::Read) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) new Connection(socket, shared_, this);
    });
    connect(&signals_, &QSocketNotifier::activated, this, &Dispatcher::ReadSignals);
  }
  bool Listen() { return server_.listen(QHostAddress::LocalHost, 0); }
  std::uint16_t port() const { return server_.serverPort(); }

 private:
  void ReadSignals() {
    char what[64];
    ssize_t count = 0;
    while ((count = read(shared_.signal_read, what, sizeof what)) > 0) {
      if (std::find(what, what + count, kQuit) != what + count) return loop_.quit();
    }
    for (Connection* connection : findChildren<Connection*>(Qt::FindDirectChildrenOnly)) {
      connection->CheckGate();
    }
  }

  Shared& shared_;
  QEventLoop& loop_;
  QSocketNotifier signals_;
  QTcpServer server_;
};

}  // namespace

namespace {

// The server's thread: a plain thread running a Qt event loop, so that its end is a join.
void Serve(Shared& shared) {
  QEventLoop loop;
  Dispatcher dispatcher(shared, loop);
  const bool listening = dispatcher.Listen();
  shared.Change([&] {
    shared.port = listening ? dispatcher.port() : 0;
    shared.ready = true;
  });
  if (listening) loop.exec();
  qDeleteAll(dispatcher.findChildren<Connection*>(Qt::FindDirectChildrenOnly));
}

}  // namespace

HttpTestServer::HttpTestServer() : shared_(std::make_shared<Shared>()) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("test server: no pipe");
  shared_->signal_read = ends[0];
  shared_->signal_write = ends[1];
  thread_ = std::thread([shared = shared_] { Serve(*shared); });
  shared_->Wait(std::chrono::hours(1), [&] { return shared_->ready; });
}

HttpTestServer::~HttpTestServer() {
  shared_->Signal(kQuit);
  thread_.join();
  close(shared_->signal_read);
  close(shared_->signal_write);
}

std::uint16_t HttpTestServer::port() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->port;
}

std::string HttpTestServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + std::string(path);
}

std::string HttpTestServer::ProxyUrl() const { return Url(""); }

void HttpTestServer::Route(std::string path, HttpReply reply) {
  Route(std::move(path), [reply = std::move(reply)](const RecordedRequest&) { return reply; });
}

void HttpTestServer::Route(std::string path, Handler handler) {
  shared_->Change([&] { shared_->routes[std::move(path)] = std::move(handler); });
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->requests;
}

std::size_t HttpTestServer::RequestCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->requests.size();
}

bool HttpTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  return shared_->Wait(limit, [&] { return shared_->requests.size() >= count; });
}

void HttpTestServer::OpenGate(const std::string& name) {
  shared_->Change([&] { shared_->open_gates.insert(name); });
  shared_->Signal(kWake);
}

bool HttpTestServer::WaitAtGate(const std::string& name, std::chrono::milliseconds limit) const {
  return shared_->Wait(limit, [&] {
    const auto it = shared_->waiting_at.find(name);
    return it != shared_->waiting_at.end() && it->second > 0;
  });
}

std::size_t HttpTestServer::OpenConnections() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->connections;
}

bool HttpTestServer::WaitForNoConnections(std::chrono::milliseconds limit) const {
  return shared_->Wait(limit, [&] { return shared_->connections == 0; });
}

}  // namespace rk5::test
