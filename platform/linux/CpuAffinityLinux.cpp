#include <sched.h>

#include <cstring>
#include <mutex>

#include "platform/CpuAffinity.h"

namespace quillfen::CpuAffinity {

namespace {

static_assert(sizeof(cpu_set_t) <= 128);

struct Remembered {
    std::mutex mutex;
    bool known = false;
    cpu_set_t process{};
};

Remembered& remembered() {
    static Remembered* r = new Remembered;  // read by threads that may outlive main
    return *r;
}

bool processCores(cpu_set_t& out) {
    Remembered& r = remembered();
    std::lock_guard lock(r.mutex);
    if (!r.known) return false;
    out = r.process;
    return true;
}

}  // namespace

void keepCallingThreadOnOneCore() {
    cpu_set_t mine;
    if (sched_getaffinity(0, sizeof mine, &mine) != 0) return;
    {
        Remembered& r = remembered();
        std::lock_guard lock(r.mutex);
        r.process = mine;
        r.known = true;
    }
    const int core = sched_getcpu();
    if (core < 0 || !CPU_ISSET(core, &mine) || CPU_COUNT(&mine) < 2) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    sched_setaffinity(0, sizeof one, &one);
}

void releaseCallingThread() {
    cpu_set_t process;
    if (processCores(process)) sched_setaffinity(0, sizeof process, &process);
}

ProcessCores::ProcessCores() {
    cpu_set_t process, current;
    if (!processCores(process) || sched_getaffinity(0, sizeof current, &current) != 0) return;
    if (CPU_EQUAL(&process, &current)) return;
    std::memcpy(saved_, &current, sizeof current);
    restore_ = sched_setaffinity(0, sizeof process, &process) == 0;
}

ProcessCores::~ProcessCores() {
    if (!restore_) return;
    cpu_set_t current;
    std::memcpy(&current, saved_, sizeof current);
    sched_setaffinity(0, sizeof current, &current);
}

}  // namespace quillfen::CpuAffinity
