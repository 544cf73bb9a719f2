#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Update/UpdateManifest.h"

// Which builds the self-updater may install: a strictly newer one, fetched over https from the
// update host itself, signed with the maker's key.
namespace quillfen::UpdatePolicy {

inline constexpr const char* kRequiredHost = "updates.quillfen.org";
inline constexpr const char* kManifestURL = "https://updates.quillfen.org/downloads/ostrel-agent-mac.json";

// The maker's Ed25519 public key, 32 raw bytes. Every archive carries a detached signature
// made with its private half, which never leaves the maker's release machine.
std::string signingKey();

// A running build numbered 0 or less (a developer build) never updates, and a manifest never
// downgrades.
bool shouldUpdate(std::int64_t localBuild, const UpdateManifest& manifest);

// The manifest's download address as it will be requested, when it is an absolute https URL
// (scheme spelled in lower case) whose host is exactly `requiredHost`.
std::optional<std::string> allowedDownloadURL(const UpdateManifest& manifest,
                                              std::string_view requiredHost = kRequiredHost);

// Where the archive's signature lies: the archive's address with ".sig" added to its path.
std::optional<std::string> signatureURL(std::string_view archiveURL);

}  // namespace quillfen::UpdatePolicy
