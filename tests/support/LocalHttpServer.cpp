#include "support/LocalHttpServer.h"

#include <chrono>

namespace quillfen::test {

LocalHttpServer::LocalHttpServer() {
    port_ = server_.bind_to_any_port("127.0.0.1");
}

LocalHttpServer::~LocalHttpServer() {
    stop();
}

void LocalHttpServer::start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LocalHttpServer::stop() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
}

}  // namespace quillfen::test
