#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace tavrel::platform {

struct SecretServiceError {
  std::string message;  // libsecret's or D-Bus's text; for logs only, never holds the secret

  friend bool operator==(const SecretServiceError&, const SecretServiceError&) = default;
};

// The desktop's Secret Service (GNOME Keyring, KWallet and others) through libsecret: items in the
// user's default collection, found by a schema name and a set of string attributes. Each item holds
// one secret of raw bytes, stored with the content type "text/plain".
//
// Every call is a blocking D-Bus round trip, and may wait while the desktop asks the user to unlock
// the collection: call it on worker threads only. Calls from several threads are safe. Without a
// session bus or a running service every call fails; nothing is started or prompted for by us.
class SecretService {
 public:
  using Attributes = std::map<std::string, std::string>;

  explicit SecretService(std::string schemaName);

  // The secret of the item with exactly these attributes, or none when there is no such item.
  Expected<std::optional<std::string>, SecretServiceError> lookup(const Attributes& attributes) const;

  // Creates the item, or replaces the secret and label of the one with these attributes.
  Expected<Unit, SecretServiceError> store(const Attributes& attributes, std::string_view label,
                                           std::string_view secret) const;

  // Deletes the items with these attributes; none existing is not an error.
  Expected<Unit, SecretServiceError> clear(const Attributes& attributes) const;

  const std::string& schemaName() const { return schemaName_; }

 private:
  std::string schemaName_;
};

}  // namespace tavrel::platform
