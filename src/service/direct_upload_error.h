#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/translatable_text.h"

namespace tavrel {

// Why a storage upload failed. Carries no text of its own; errorDescription() gives the generic
// description any unnamed error gets.
struct DirectUploadError {
  enum class Kind {
    http,             // storage answered with a status outside 200 to 299
    invalidResponse,  // storage's answer was not HTTP
    missingETag,      // a part upload succeeded without an "ETag" header
    cannotRead,       // a part's bytes could not be read in full
  };

  Kind kind = Kind::invalidResponse;
  int status = 0;  // for http only
  // How long storage asked us to wait before trying again (its Retry-After), when it said; not part
  // of what the error is.
  std::optional<std::chrono::seconds> retryAfter;

  static DirectUploadError http(int status) { return {Kind::http, status, std::nullopt}; }
  static DirectUploadError invalidResponse() { return {Kind::invalidResponse, 0, std::nullopt}; }
  static DirectUploadError missingETag() { return {Kind::missingETag, 0, std::nullopt}; }
  static DirectUploadError cannotRead() { return {Kind::cannotRead, 0, std::nullopt}; }

  // The generic description, before the kind's number is filled in.
  static constexpr const char* descriptionPattern =
      TAVREL_TRANSLATE_NOOP("Core", "The operation couldn’t be completed. (DirectUploadError error %1.)");

  std::string errorDescription() const;

  friend bool operator==(const DirectUploadError& a, const DirectUploadError& b) {
    return a.kind == b.kind && a.status == b.status;
  }
};

}  // namespace tavrel
