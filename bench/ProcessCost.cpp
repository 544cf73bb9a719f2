#include "ProcessCost.h"

#include <charconv>
#include <filesystem>
#include <set>
#include <string>

#include "Support/SafeFile.h"

namespace quillfen::bench {

namespace {

// The kernel gives a size of 0 for its files under /proc: each is read up to a cap, never to an end
// it might not have.
constexpr std::size_t kMostStatBytes = 4096;
constexpr std::size_t kMostStatusBytes = 16 * 1024;

std::optional<std::string> procFile(const std::string& path, std::size_t cap) {
    return SafeFile::readWhole(path, cap, SafeFile::Links::follow);
}

template <typename Number>
bool numberFrom(std::string_view text, Number& number) {
    const auto* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, number);
    return error == std::errc() && at == end;
}

// The numbers in /proc that name processes.
std::vector<pid_t> numberedEntries(const std::filesystem::path& folder) {
    std::vector<pid_t> numbers;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        pid_t number = 0;
        if (numberFrom(entry.path().filename().native(), number)) numbers.push_back(number);
    }
    return numbers;
}

// The value of a "name:\tvalue" line of a status file; nothing when it has none.
std::optional<long long> statusField(std::string_view status, std::string_view name) {
    for (std::size_t at = 0; at < status.size();) {
        const auto end = std::min(status.find('\n', at), status.size());
        auto line = status.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with(name) || line.size() <= name.size() || line[name.size()] != ':') continue;
        line.remove_prefix(name.size() + 1);
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        long long value = 0;
        if (numberFrom(line, value)) return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ProcessLook> processFromStat(std::string_view line) {
    // "pid (comm) state ppid ...": the command may hold spaces and parentheses, so the fields are
    // read after its last ')'.
    const auto open = line.find(" (");
    const auto close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    ProcessLook process;
    if (!numberFrom(line.substr(0, open), process.pid)) return std::nullopt;
    std::vector<std::string_view> fields;
    for (auto rest = line.substr(close + 1); !rest.empty();) {
        rest.remove_prefix(std::min(rest.find_first_not_of(" \n"), rest.size()));
        const auto end = std::min(rest.find_first_of(" \n"), rest.size());
        if (end > 0) fields.push_back(rest.substr(0, end));
        rest.remove_prefix(end);
    }
    // From the state on, as proc(5) counts them from 3: ppid 4, utime 14 to cstime 17, starttime 22.
    const auto field = [&](std::size_t number) { return fields[number - 3]; };
    if (fields.size() < 20) return std::nullopt;
    long long times[4] = {};
    for (std::size_t i = 0; i < 4; ++i)
        if (!numberFrom(field(14 + i), times[i])) return std::nullopt;
    if (!numberFrom(field(4), process.parent) || !numberFrom(field(22), process.started)) return std::nullopt;
    process.cpuTicks = times[0] + times[1] + times[2] + times[3];
    return process;
}

std::vector<ProcessLook> lookAtProcesses() {
    std::vector<ProcessLook> processes;
    for (const pid_t pid : numberedEntries("/proc")) {
        // A process that ended since the listing is simply not there.
        const auto stat = procFile("/proc/" + std::to_string(pid) + "/stat", kMostStatBytes);
        if (auto process = stat ? processFromStat(*stat) : std::nullopt) processes.push_back(*process);
    }
    return processes;
}

ThreadSwitches threadSwitches(pid_t pid) {
    ThreadSwitches switches;
    const auto tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const pid_t thread : numberedEntries(tasks)) {
        const auto status = procFile(tasks + "/" + std::to_string(thread) + "/status", kMostStatusBytes);
        if (!status) continue;
        const auto voluntary = statusField(*status, "voluntary_ctxt_switches");
        const auto involuntary = statusField(*status, "nonvoluntary_ctxt_switches");
        if (voluntary && involuntary) switches[thread] = *voluntary + *involuntary;
    }
    return switches;
}

void TreeCost::look(const std::vector<ProcessLook>& processes,
                    const std::function<ThreadSwitches(pid_t)>& switchesOf) {
    std::map<pid_t, const ProcessLook*> byNumber;
    std::multimap<pid_t, pid_t> childrenOf;
    for (const auto& process : processes) {
        byNumber[process.pid] = &process;
        childrenOf.emplace(process.parent, process.pid);
    }
    const auto stillThere = [&](const Key& key) {
        const auto found = byNumber.find(key.first);
        return found != byNumber.end() && found->second->started == key.second;
    };
    // The root by its number at the first look; the members wherever they are now; and all below.
    std::vector<pid_t> pending;
    if (!looked_ && byNumber.contains(root_)) pending.push_back(root_);
    for (const auto& [key, member] : members_)
        if (member.present && stillThere(key)) pending.push_back(key.first);
    std::set<Key> found;
    while (!pending.empty()) {
        const pid_t pid = pending.back();
        pending.pop_back();
        if (!found.insert({pid, byNumber.at(pid)->started}).second) continue;
        for (auto [child, end] = childrenOf.equal_range(pid); child != end; ++child)
            pending.push_back(child->second);
    }

    std::vector<Key> ended;
    for (auto& [key, member] : members_) {
        if (member.present && !found.contains(key)) ended.push_back(key);
        member.present = false;
    }
    value_ = 0;
    for (const auto& key : found) {
        const auto& process = *byNumber.at(key.first);
        auto& member = members_[key];
        member = {process.parent, process.cpuTicks, true};
        value_ += process.cpuTicks;
        for (const auto& [thread, switches] : switchesOf(key.first)) {
            auto [seen, first] = threads_.try_emplace(thread);
            // A thread there at the first look counts from what it had then; a later one from none.
            if (first) seen->second = {looked_ ? 0 : switches, switches};
            // Fewer than before: the number went to a new thread.
            if (switches < seen->second.last) {
                keptSwitches_ += seen->second.last - seen->second.first;
                seen->second.first = 0;
            }
            seen->second.last = switches;
        }
    }
    for (const auto& key : ended)
        if (!endedInTheTree(key)) kept_ += members_.at(key).cpuTicks;
    value_ += kept_;
    if (!looked_) firstValue_ = value_;
    looked_ = true;
}

// A process that ended, reaped by a parent of the tree (or by a parent of that parent, which ended
// too): its time is in that parent's count of its children now.
bool TreeCost::endedInTheTree(const Key& ended) const {
    pid_t parent = members_.at(ended).parent;
    // Each step goes up to an earlier member; the bound is for numbers taken again.
    for (std::size_t steps = 0; steps < members_.size(); ++steps) {
        std::optional<Key> endedParent;
        for (auto at = members_.lower_bound({parent, 0}); at != members_.end() && at->first.first == parent;
             ++at) {
            if (at->second.present) return true;
            endedParent = at->first;
        }
        if (!endedParent) return false;
        parent = members_.at(*endedParent).parent;
    }
    return false;
}

long long TreeCost::switches() const {
    long long total = keptSwitches_;
    for (const auto& [thread, seen] : threads_)
        total += seen.last - seen.first;
    return total;
}

std::vector<pid_t> TreeCost::members() const {
    std::vector<pid_t> present;
    for (const auto& [key, member] : members_)
        if (member.present) present.push_back(key.first);
    return present;
}

}  // namespace quillfen::bench
