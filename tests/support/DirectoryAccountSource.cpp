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
#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? at : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

std::vector<std::string> setting(const char* name, std::size_t fields) {
    const char* value = std::getenv(name);
    auto parts = split(value ? value : "", ':');
    if (parts.size() != fields) return {};
    return parts;
}

// Copies `text` into the caller's buffer; nothing when it is full.
char* keep(const std::string& text, char*& buffer, std::size_t& left) {
    if (text.size() + 1 > left) return nullptr;
    char* at = buffer;
    std::memcpy(at, text.c_str(), text.size() + 1);
    buffer += text.size() + 1;
    left -= text.size() + 1;
    return at;
}

// The account, or the group, whose field `key` (0 the name, 1 the number) is `wanted`.
nss_status account(std::size_t key, const std::string& wanted, passwd* result, char* buffer, std::size_t length,
                   int* error) {
    const auto fields = setting("QUILLFEN_DIRECTORY_ACCOUNT", 3);
    if (fields.empty() || fields[key] != wanted) return NSS_STATUS_NOTFOUND;
    const char* empty = keep("", buffer, length);
    result->pw_name = keep(fields[0], buffer, length);
    result->pw_passwd = keep("x", buffer, length);
    result->pw_dir = keep("/nonexistent", buffer, length);
    result->pw_shell = keep("/bin/sh", buffer, length);
    if (empty == nullptr || result->pw_shell == nullptr) {
        *error = ERANGE;
        return NSS_STATUS_TRYAGAIN;
    }
    result->pw_gecos = const_cast<char*>(empty);
    result->pw_uid = static_cast<uid_t>(std::stoul(fields[1]));
    result->pw_gid = static_cast<gid_t>(std::stoul(fields[2]));
    return NSS_STATUS_SUCCESS;
}

nss_status groupOf(std::size_t key, const std::string& wanted, struct group* result, char* buffer, std::size_t length,
                 int* error) {
    const auto fields = setting("QUILLFEN_DIRECTORY_GROUP", 3);
    if (fields.empty() || fields[key] != wanted) return NSS_STATUS_NOTFOUND;
    std::vector<std::string> members;
    for (auto& member : split(fields[2], ','))
        if (!member.empty()) members.push_back(member);
    // The member list comes first, aligned as the caller's buffer may not be.
    const std::size_t skip = (alignof(char*) - reinterpret_cast<std::uintptr_t>(buffer) % alignof(char*)) % alignof(char*);
    const std::size_t listBytes = skip + (members.size() + 1) * sizeof(char*);
    if (listBytes > length) {
        *error = ERANGE;
        return NSS_STATUS_TRYAGAIN;
    }
    auto** list = reinterpret_cast<char**>(buffer + skip);
    buffer += listBytes;
    length -= listBytes;
    for (std::size_t i = 0; i < members.size(); ++i)
        list[i] = keep(members[i], buffer, length);
    list[members.size()] = nullptr;
    result->gr_mem = list;
    result->gr_name = keep(fields[0], buffer, length);
    result->gr_passwd = keep("x", buffer, length);
    if (result->gr_passwd == nullptr || (!members.empty() && list[members.size() - 1] == nullptr)) {
        *error = ERANGE;
        return NSS_STATUS_TRYAGAIN;
    }
    result->gr_gid = static_cast<gid_t>(std::stoul(fields[1]));
    return NSS_STATUS_SUCCESS;
}

// Listing calls find nothing, after the time a slow service takes.
nss_status listNothing() {
    if (const char* seconds = std::getenv("QUILLFEN_DIRECTORY_SLOW_LISTING")) ::sleep(static_cast<unsigned>(std::atoi(seconds)));
    return NSS_STATUS_NOTFOUND;
}

}  // namespace

extern "C" {

nss_status _nss_directory_getpwnam_r(const char* name, passwd* result, char* buffer, std::size_t length, int* error) {
    return account(0, name, result, buffer, length, error);
}

nss_status _nss_directory_getpwuid_r(uid_t uid, passwd* result, char* buffer, std::size_t length, int* error) {
    return account(1, std::to_string(uid), result, buffer, length, error);
}

nss_status _nss_directory_getgrnam_r(const char* name, struct group* result, char* buffer, std::size_t length,
                                     int* error) {
    return groupOf(0, name, result, buffer, length, error);
}

nss_status _nss_directory_getgrgid_r(gid_t gid, struct group* result, char* buffer, std::size_t length, int* error) {
    return groupOf(1, std::to_string(gid), result, buffer, length, error);
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
nss_status _nss_directory_getgrent_r(struct group*, char*, std::size_t, int*) {
    return listNothing();
}
nss_status _nss_directory_endgrent() {
    return NSS_STATUS_SUCCESS;
}
}
