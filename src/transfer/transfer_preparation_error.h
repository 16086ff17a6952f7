#pragma once

#include <string>
#include <variant>

#include "platform/translatable_text.h"

namespace tavrel {

// Why a selection could not be prepared. The description is the user-facing text.
struct TransferPreparationError {
  struct CannotRead {
    std::string name;
    friend bool operator==(const CannotRead&, const CannotRead&) = default;
  };
  struct UnsupportedSymbolicLink {
    std::string name;
    friend bool operator==(const UnsupportedSymbolicLink&, const UnsupportedSymbolicLink&) = default;
  };
  struct NoTransferableFiles {
    friend bool operator==(const NoTransferableFiles&, const NoTransferableFiles&) = default;
  };
  using Reason = std::variant<CannotRead, UnsupportedSymbolicLink, NoTransferableFiles>;

  Reason reason;

  // The texts with a file's name in them, before the name is filled in.
  static constexpr const char* unreadablePattern =
      TAVREL_TRANSLATE_NOOP("Core", "Tavrel couldn’t read “%1”. Check its permissions and try again.");
  static constexpr const char* symbolicLinkPattern =
      TAVREL_TRANSLATE_NOOP("Core", "“%1” is a symbolic link and can’t be transferred securely.");

  static TransferPreparationError cannotRead(std::string name) { return {CannotRead{std::move(name)}}; }
  static TransferPreparationError unsupportedSymbolicLink(std::string name) {
    return {UnsupportedSymbolicLink{std::move(name)}};
  }
  static TransferPreparationError noTransferableFiles() { return {NoTransferableFiles{}}; }

  std::string localizedDescription() const;

  friend bool operator==(const TransferPreparationError&, const TransferPreparationError&) = default;
};

}  // namespace tavrel
