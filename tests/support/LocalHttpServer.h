#pragma once

#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace quillfen::test {

// A cpp-httplib server on 127.0.0.1 and a free port, serving on its own thread for the life of
// the object. Register handlers on `server()` before the first request.
class LocalHttpServer {
public:
    LocalHttpServer();
    // Serves https with this certificate and key (PEM files).
    LocalHttpServer(const std::filesystem::path& certificate, const std::filesystem::path& key);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    httplib::Server& server() { return *server_; }
    int port() const { return port_; }
    std::string baseURL() const;
    void start();
    void stop();

private:
    std::unique_ptr<httplib::Server> server_;
    bool tls_ = false;
    int port_ = 0;
    std::thread thread_;
    // Its workers are there, or it has stopped listening.
    std::atomic<bool> settled_{false};
};

}  // namespace quillfen::test
