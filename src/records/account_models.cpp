#include "records/account_models.h"

namespace tavrel {

namespace {

std::string trimmed(const std::string& text) {
  constexpr const char* blank = " \t\n\r\f\v";
  const auto first = text.find_first_not_of(blank);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blank) - first + 1);
}

}  // namespace

bool AppBootstrap::User::hasName() const { return name && !trimmed(*name).empty(); }

std::string AppBootstrap::User::displayName() const { return hasName() ? trimmed(*name) : email; }

using platform::JsonObject;
using platform::JsonValue;

namespace {

AppBootstrap::User decodeUser(const JsonValue& json) {
  const JsonObject object = json.object();
  return {object.string("id"), object.optionalString("name"), object.string("email"),
          object.optional("image", &JsonValue::url)};
}

AppBootstrap::Workspace decodeWorkspace(const JsonValue& json) {
  const JsonObject object = json.object();
  return {object.string("id"), object.string("name"), object.string("role"), object.string("kind")};
}

AppBootstrap::Plan decodePlan(const JsonValue& json) {
  const JsonObject object = json.object();
  return {object.string("codename"), object.boolean("isFreeTier"), object.boolean("canUpgradePlan")};
}

AppBootstrap::Permissions decodePermissions(const JsonValue& json) {
  return {json.object().boolean("canInitiateTransfer")};
}

AppBootstrap::Feature decodeFeature(const JsonValue& json) {
  const JsonObject object = json.object();
  return {object.string("codename"), object.optionalString("limitValue")};
}

AppBootstrap::TransferSettings::Defaults decodeDefaults(const JsonValue& json) {
  const JsonObject object = json.object();
  return {object.string("region"),           object.int64("expiryDays"),
          object.boolean("oneTimeDownload"), object.boolean("isReviewEnabled"),
          object.optionalString("reviewAccessType"), object.boolean("filePreviewEnabled")};
}

AppBootstrap::TransferSettings::Feedback decodeFeedback(const JsonValue& json) {
  const JsonObject object = json.object();
  return {object.boolean("successSoundEnabled"), object.boolean("failureSoundEnabled"),
          object.boolean("confettiEnabled")};
}

AppBootstrap::TransferSettings decodeTransferSettings(const JsonValue& json) {
  const JsonObject object = json.object();
  return {decodeDefaults(object.required("defaults")), decodeFeedback(object.required("feedback"))};
}

}  // namespace

AppBootstrap AppBootstrap::fromJson(const JsonValue& json) {
  const JsonObject object = json.object();
  AppBootstrap bootstrap;
  bootstrap.user = decodeUser(object.required("user"));
  bootstrap.workspace = decodeWorkspace(object.required("workspace"));
  bootstrap.plan = decodePlan(object.required("plan"));
  bootstrap.permissions = decodePermissions(object.required("permissions"));
  bootstrap.features = object.array("features", decodeFeature);
  bootstrap.transferSettings = decodeTransferSettings(object.required("transferSettings"));
  return bootstrap;
}

OAuthTokenResponse OAuthTokenResponse::fromJson(const JsonValue& json) {
  const JsonObject object = json.object();
  OAuthTokenResponse response;
  response.accessToken = object.string("access_token");
  response.tokenType = object.string("token_type");
  response.expiresIn = object.number("expires_in");
  response.refreshToken = object.optionalString("refresh_token");
  response.scope = object.string("scope");
  return response;
}

const AuthenticatedAccount* authenticatedAccount(const AuthenticationState& state) {
  if (const auto* authenticated = std::get_if<authentication_state::Authenticated>(&state)) {
    return &authenticated->account;
  }
  return nullptr;
}

bool canInitiateTransfer(const AuthenticationState& state) {
  const AuthenticatedAccount* account = authenticatedAccount(state);
  return account && account->bootstrap.permissions.canInitiateTransfer;
}

}  // namespace tavrel
