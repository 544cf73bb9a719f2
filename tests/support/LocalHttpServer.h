#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

namespace quillfen::test {

// A cpp-httplib server on 127.0.0.1 and a free port, serving on its own thread for the life of
// the object. Register handlers on `server()` before the first request.
class LocalHttpServer {
public:
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    httplib::Server& server() { return server_; }
    int port() const { return port_; }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void start();
    void stop();

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace quillfen::test
