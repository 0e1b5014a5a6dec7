#pragma once

#include <QString>
#include <QThread>
#include <chrono>
#include <cstdint>
#include <memory>

#include "web/web_access.h"
#include "web/web_backend.h"
#include "web/web_settings.h"

namespace lingchao {

class HttpServer;
struct ServerLink;

// The office page and its API (routes in web_server.cpp), served on a thread of its own: its listening sockets,
// connections and timers live there, and it asks the program only through WebBackend, which answers actions
// later. Start and Stop are called from one thread (the windows'), never from the server's.
class WebServer final {
public:
    // An action the program has not answered within `actionTimeout` is answered 504.
    WebServer(WebBackend& backend, WebAccess& access,
              std::chrono::milliseconds actionTimeout = std::chrono::seconds(10));
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens as `settings` say (a server already running is stopped first; port 0 takes any free port; whether
    // it is `enabled` is the caller's to check). "" when listening, else why not in Chinese (port taken,
    // certificate or key unreadable); then nothing is served. HTTPS when both certificate and key are set.
    QString Start(const WebSettings& settings);
    // Closes the listening sockets and every connection; answers still to come from the program are dropped.
    void Stop();
    bool Running() const { return server_ != nullptr; }
    std::uint16_t Port() const { return port_; }
    // Where to open the page, for display: "http(s)://<host>:<port>/", host this PC's first private IPv4 address
    // when listening on the network, else 127.0.0.1. Empty when not running.
    QString Address() const { return address_; }

private:
    WebBackend& backend_;
    WebAccess& access_;
    std::chrono::milliseconds actionTimeout_;
    std::unique_ptr<QThread> thread_;
    QObject* home_ = nullptr;  // lives on thread_: queued calls are delivered there
    HttpServer* server_ = nullptr;
    std::shared_ptr<ServerLink> link_;  // how the program's late answers find the server, or learn it is gone
    std::uint16_t port_ = 0;
    QString address_;
};

}  // namespace lingchao
