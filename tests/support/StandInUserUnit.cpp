// Loaded into GNOME Shell by the tests (LD_PRELOAD), and into nothing it starts: asked by its own
// number, the shell's process is a service of systemd's user manager, as in a session that systemd
// started, and the shell leaves the input method's daemon to systemd as there (the tests' bus
// answers that its unit is there). Asked as "the caller" (0), as Mutter asks whether to start
// Xwayland only when a client comes, it is what it is.
// Left to start that daemon itself, at its start and at its X display's, GNOME Shell 43 runs
// JavaScript in the child between fork and exec; the child waits for ever on a lock that another
// thread held at the fork, and the shell with it, on the child's pipe: under load, about one start
// in five.
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

__attribute__((constructor)) void leaveNothingToChildren() { ::unsetenv("LD_PRELOAD"); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int sd_pid_get_user_unit(pid_t pid, char** unit) {
    if (pid == ::getpid()) {
        *unit = ::strdup("org.gnome.Shell@wayland.service");
        return *unit != nullptr ? 0 : -ENOMEM;
    }
    using Real = int (*)(pid_t, char**);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "sd_pid_get_user_unit"));
    return real != nullptr ? real(pid, unit) : -ENODATA;
}
