#include "CountedProcess.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/sched.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace quillfen::bench {

namespace {

#if defined(__x86_64__)
constexpr __u32 kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr __u32 kArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr __u32 kArchitecture = 0;
#endif

constexpr sock_filter statement(unsigned short code, __u32 k) {
    return {code, 0, 0, k};
}
constexpr sock_filter jump(unsigned short code, __u32 k, unsigned char ifTrue, unsigned char ifFalse) {
    return {code, ifTrue, ifFalse, k};
}

constexpr __u32 kNotify = SECCOMP_RET_USER_NOTIF;
constexpr __u32 kAllow = SECCOMP_RET_ALLOW;
// clone3 hides its flags in memory the filter cannot read: refused as an old kernel refuses it,
// the C library makes the same thread or process with clone, whose flags it can.
constexpr __u32 kNoClone3 = SECCOMP_RET_ERRNO | ENOSYS;

bool isExec(int call) {
    return call == __NR_execve || call == __NR_execveat;
}

bool isFork(int call) {
#ifdef __NR_fork
    if (call == __NR_fork || call == __NR_vfork) return true;
#endif
    return call == __NR_clone;
}

// Execs and forks go to the listener; a clone that makes a thread, and every other call, go on
// at once. Calls of another ABI than the build's (a 32-bit program) are not looked at.
std::vector<sock_filter> filterProgram() {
    // The flags are clone's first argument; their low half (little-endian) holds CLONE_THREAD.
    constexpr __u32 kFlags = offsetof(seccomp_data, args[0]);
    std::vector<sock_filter> program{
        statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        jump(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0),
        statement(BPF_RET | BPF_K, kAllow),
        statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        jump(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
        statement(BPF_RET | BPF_K, kNoClone3),
        jump(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 4),
        statement(BPF_LD | BPF_W | BPF_ABS, kFlags),
        jump(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1),
        statement(BPF_RET | BPF_K, kAllow),
        statement(BPF_RET | BPF_K, kNotify),
    };
    // Then one test each for the other calls that go to the listener.
    std::vector<int> counted{__NR_execve, __NR_execveat};
#ifdef __NR_fork
    counted.insert(counted.end(), {__NR_fork, __NR_vfork});
#endif
    for (const int call : counted) {
        program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(call), 0, 1));
        program.push_back(statement(BPF_RET | BPF_K, kNotify));
    }
    program.push_back(statement(BPF_RET | BPF_K, kAllow));
    return program;
}

// In the child, between fork and exec: system calls only, since another thread of this process may
// have held the allocator's lock at the fork. It tells the parent what became of the filter (the
// listener's descriptor with it, when there is one) over `report`.
[[noreturn]] void becomeCounted(int report, const sock_fprog& filter, const char* path, char* const* argv,
                                char* const* envp) {
    ::setsid();
    // Signals as a service manager hands them to its services: none blocked or ignored.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd)
        ::dup2(null, fd);
    if (null > 2) ::close(null);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    int refusal = 0;
    int listener = -1;
    if (kArchitecture == 0) {
        refusal = ENOSYS;
    } else if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        refusal = errno;
    } else {
        listener = static_cast<int>(
            ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &filter));
        if (listener < 0) refusal = errno;
    }
    iovec data{&refusal, sizeof refusal};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    if (listener >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &listener, sizeof listener);
    }
    ::sendmsg(report, &message, MSG_NOSIGNAL);
    // Descriptors 0-2 only, as a unit's program gets them.
    ::close_range(3, ~0U, 0);
    // Waits here, in the filter, until the parent has the listener and lets it go on.
    ::execve(path, argv, envp);
    ::_exit(127);
}

// The parent's end: the refusal, or the listener.
int receiveListener(int report, std::string& uncounted) {
    pollfd ready{report, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(test::kPatience.count())) <= 0) {
        uncounted = "the child never said whether the kernel took its filter";
        return -1;
    }
    int refusal = 0;
    iovec data{&refusal, sizeof refusal};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(report, &message, MSG_CMSG_CLOEXEC) != static_cast<ssize_t>(sizeof refusal)) {
        uncounted = "the child ended before it said whether the kernel took its filter";
        return -1;
    }
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_RIGHTS) {
            int listener = -1;
            std::memcpy(&listener, CMSG_DATA(part), sizeof listener);
            return listener;
        }
    }
    uncounted = std::string("the kernel refused a seccomp filter that counts starts (") +
                std::strerror(refusal) + ")";
    return -1;
}

}  // namespace

CountedProcess::CountedProcess(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& environment) {
    auto args = argv;
    auto env = test::environmentWith(environment);
    auto argp = test::execPointers(args);
    auto envp = test::execPointers(env);
    auto program = filterProgram();
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid == 0) becomeCounted(ends[1], filter, argp[0], argp.data(), envp.data());
    ::close(ends[1]);
    if (pid < 0) {
        ::close(ends[0]);
        throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(errno));
    }
    child_.emplace(pid);
    listener_ = receiveListener(ends[0], uncounted_);
    ::close(ends[0]);
    if (listener_ >= 0) answering_ = std::jthread([this](std::stop_token stop) { answer(stop); });
}

CountedProcess::~CountedProcess() {
    if (child_->running()) {
        // Everything in its session's group: the wrapper's sleeps, say.
        ::kill(-pid(), SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (child_->running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (child_->running()) ::kill(-pid(), SIGKILL);
    }
    child_.reset();
    if (answering_.joinable()) {
        answering_.request_stop();
        answering_.join();
    }
    if (listener_ >= 0) ::close(listener_);
}

std::optional<int> CountedProcess::ended() {
    return child_->running() ? std::nullopt : child_->waitForExit(std::chrono::milliseconds(0));
}

void CountedProcess::answer(std::stop_token stop) {
    seccomp_notif_sizes sizes{};
    if (::syscall(SYS_seccomp, SECCOMP_GET_NOTIF_SIZES, 0, &sizes) != 0) sizes = {};
    // The kernel may know larger structures than these headers do.
    std::vector<unsigned char> request(std::max<std::size_t>(sizes.seccomp_notif, sizeof(seccomp_notif)));
    std::vector<unsigned char> response(
        std::max<std::size_t>(sizes.seccomp_notif_resp, sizeof(seccomp_notif_resp)));
    // The first is the exec of the program itself.
    bool started = false;
    while (!stop.stop_requested()) {
        pollfd ready{listener_, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        if ((ready.revents & POLLIN) == 0) {
            // Every process under the filter has ended.
            if ((ready.revents & (POLLHUP | POLLERR)) != 0) break;
            continue;
        }
        std::fill(request.begin(), request.end(), 0);
        auto* asked = reinterpret_cast<seccomp_notif*>(request.data());
        // Fails when the asking process was killed meanwhile.
        if (::ioctl(listener_, SECCOMP_IOCTL_NOTIF_RECV, asked) != 0) continue;
        if (isExec(asked->data.nr)) {
            if (started) ++programs_;
            started = true;
        } else if (isFork(asked->data.nr)) {
            ++processes_;
        }
        std::fill(response.begin(), response.end(), 0);
        auto* answer = reinterpret_cast<seccomp_notif_resp*>(response.data());
        answer->id = asked->id;
        answer->flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
        ::ioctl(listener_, SECCOMP_IOCTL_NOTIF_SEND, answer);
    }
}

}  // namespace quillfen::bench
