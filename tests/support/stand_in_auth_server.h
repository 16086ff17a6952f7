#pragma once

// The tests' names for the local service's sign-in side.

#include <string>

#include "local_service/sign_in_service.h"
#include "support/https_test_server.h"

namespace tavrel::testing {

using StandInAuthServer = localservice::SignInService;

inline std::string standInBootstrapJSON(bool canInitiateTransfer = true) {
  return localservice::bootstrapJSON(canInitiateTransfer);
}

}  // namespace tavrel::testing
