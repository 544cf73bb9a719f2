// An account source as a directory service is one (SSSD, FreeIPA, LDAP): it answers lookups of
// one account and its group, by name or number, and lists nothing, as such services do by
// default. nss_wrapper loads it (NSS_WRAPPER_MODULE_SO_PATH, prefix "directory") and asks it
// before its files. Set by the environment:
//   QUILLFEN_DIRECTORY_ACCOUNT   name:uid:gid
//   QUILLFEN_DIRECTORY_GROUP     name:gid:member,member
//   QUILLFEN_DIRECTORY_SLOW_LISTING   seconds each listing call takes, as NIS and LDAP can

#include <grp.h>
#include <nss.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

// The entry set as `variable` when its field `key` (0 the name, 1 the number) is `wanted`.
std::vector<std::string> entry(const char* variable, std::size_t key, const std::string& wanted) {
    const char* value = std::getenv(variable);
    auto fields = split(value ? value : "", ':');
    fields.resize(3);
    return fields[key] == wanted ? fields : std::vector<std::string>{};
}

// Hands out the caller's buffer, aligned for `T`; nothing once it is used up.
struct Buffer {
    char* at;
    std::size_t left;

    template <typename T>
    T* take(std::size_t count) {
        const std::size_t skip = (alignof(T) - reinterpret_cast<std::uintptr_t>(at) % alignof(T)) % alignof(T);
        if (skip + count * sizeof(T) > left) return nullptr;
        T* taken = reinterpret_cast<T*>(at + skip);
        at += skip + count * sizeof(T);
        left -= skip + count * sizeof(T);
        return taken;
    }
    char* copy(const std::string& text) {
        char* into = take<char>(text.size() + 1);
        return into ? std::strcpy(into, text.c_str()) : nullptr;
    }
};

nss_status found(bool whole, int* error) {
    if (whole) return NSS_STATUS_SUCCESS;
    *error = ERANGE;
    return NSS_STATUS_TRYAGAIN;
}

nss_status account(std::size_t key, const std::string& wanted, passwd* result, Buffer buffer, int* error) {
    const auto fields = entry("QUILLFEN_DIRECTORY_ACCOUNT", key, wanted);
    if (fields.empty()) return NSS_STATUS_NOTFOUND;
    result->pw_uid = static_cast<uid_t>(std::stoul(fields[1]));
    result->pw_gid = static_cast<gid_t>(std::stoul(fields[2]));
    result->pw_name = buffer.copy(fields[0]);
    result->pw_passwd = result->pw_gecos = buffer.copy("");
    result->pw_dir = buffer.copy("/nonexistent");
    result->pw_shell = buffer.copy("/bin/sh");
    return found(result->pw_name && result->pw_passwd && result->pw_dir && result->pw_shell, error);
}

nss_status groupOf(std::size_t key, const std::string& wanted, group* result, Buffer buffer, int* error) {
    const auto fields = entry("QUILLFEN_DIRECTORY_GROUP", key, wanted);
    if (fields.empty()) return NSS_STATUS_NOTFOUND;
    const auto members = split(fields[2], ',');
    result->gr_gid = static_cast<gid_t>(std::stoul(fields[1]));
    result->gr_mem = buffer.take<char*>(members.size() + 1);
    if (!result->gr_mem) return found(false, error);
    bool whole = true;
    for (std::size_t i = 0; i < members.size(); ++i)
        whole = (result->gr_mem[i] = buffer.copy(members[i])) && whole;
    result->gr_mem[members.size()] = nullptr;
    result->gr_name = buffer.copy(fields[0]);
    result->gr_passwd = buffer.copy("x");
    return found(whole && result->gr_name && result->gr_passwd, error);
}

// Listing calls find nothing, after the time a slow service takes.
nss_status listNothing() {
    if (const char* seconds = std::getenv("QUILLFEN_DIRECTORY_SLOW_LISTING"))
        ::sleep(static_cast<unsigned>(std::atoi(seconds)));
    return NSS_STATUS_NOTFOUND;
}

}  // namespace

extern "C" {

nss_status _nss_directory_getpwnam_r(const char* name, passwd* result, char* at, std::size_t left, int* error) {
    return account(0, name, result, {at, left}, error);
}
nss_status _nss_directory_getpwuid_r(uid_t uid, passwd* result, char* at, std::size_t left, int* error) {
    return account(1, std::to_string(uid), result, {at, left}, error);
}
nss_status _nss_directory_getgrnam_r(const char* name, group* result, char* at, std::size_t left, int* error) {
    return groupOf(0, name, result, {at, left}, error);
}
nss_status _nss_directory_getgrgid_r(gid_t gid, group* result, char* at, std::size_t left, int* error) {
    return groupOf(1, std::to_string(gid), result, {at, left}, error);
}
nss_status _nss_directory_setpwent() {
    return listNothing();
}
nss_status _nss_directory_getpwent_r(passwd*, char*, std::size_t, int*) {
    return listNothing();
}
nss_status _nss_directory_endpwent() {
    return NSS_STATUS_SUCCESS;
}
nss_status _nss_directory_setgrent() {
    return listNothing();
}
nss_status _nss_directory_getgrent_r(group*, char*, std::size_t, int*) {
    return listNothing();
}
nss_status _nss_directory_endgrent() {
    return NSS_STATUS_SUCCESS;
}
}
