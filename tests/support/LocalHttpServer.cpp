#include "support/LocalHttpServer.h"

#include <chrono>
#include <stdexcept>

namespace quillfen::test {

LocalHttpServer::LocalHttpServer() : server_(std::make_unique<httplib::Server>()) {
    port_ = server_->bind_to_any_port("127.0.0.1");
}

LocalHttpServer::LocalHttpServer(const std::filesystem::path& certificate, const std::filesystem::path& key)
    : server_(std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str())), tls_(true) {
    if (!server_->is_valid()) throw std::runtime_error("the TLS server does not take its certificate");
    port_ = server_->bind_to_any_port("127.0.0.1");
}

LocalHttpServer::~LocalHttpServer() {
    stop();
}

std::string LocalHttpServer::baseURL() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void LocalHttpServer::start() {
    if (thread_.joinable()) return;
    // The server says it runs before it starts its workers on its own thread: a test that runs
    // short of threads right after this call would have them refused there, and the refusal
    // would end the process. So the call returns once the workers are there (or the server has
    // given up).
    settled_ = false;
    server_->new_task_queue = [this] {
        auto* workers = new httplib::ThreadPool(CPPHTTPLIB_THREAD_POOL_COUNT);
        settled_ = true;
        return workers;
    };
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        settled_ = true;
    });
    while (!settled_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LocalHttpServer::stop() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

}  // namespace quillfen::test
