#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "account/refresh_token_storing.h"

namespace tavrel::testing {

// The refresh-token store in memory, with switchable failures. Thread-safe.
class InMemoryRefreshTokenStore final : public RefreshTokenStoring {
 public:
  explicit InMemoryRefreshTokenStore(std::optional<std::string> token = std::nullopt) : token_(std::move(token)) {}

  platform::Expected<std::optional<std::string>, AuthenticationError> read() override;
  platform::Expected<platform::Unit, AuthenticationError> save(std::string_view token) override;
  platform::Expected<platform::Unit, AuthenticationError> deleteToken() override;

  std::optional<std::string> token() const;
  std::vector<std::string> savedTokens() const;
  void setFailsReads(bool fails);
  void setFailsSaves(bool fails);
  void setFailsDeletes(bool fails);

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> token_;
  std::vector<std::string> saved_;
  bool failsReads_ = false;
  bool failsSaves_ = false;
  bool failsDeletes_ = false;
};

}  // namespace tavrel::testing
