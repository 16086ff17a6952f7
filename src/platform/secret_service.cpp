#include "platform/secret_service.h"

#include <libsecret/secret.h>

#include <memory>

namespace tavrel::platform {

namespace {

struct SchemaDeleter {
  void operator()(SecretSchema* schema) const { secret_schema_unref(schema); }
};
struct HashTableDeleter {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ValueDeleter {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};

using SchemaPointer = std::unique_ptr<SecretSchema, SchemaDeleter>;
using TablePointer = std::unique_ptr<GHashTable, HashTableDeleter>;

// The schema names every attribute as a string; its name is matched too (it is stored as
// "xdg:schema"), so items of other programs never match.
SchemaPointer makeSchema(const std::string& name, const SecretService::Attributes& attributes) {
  GHashTable* types = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
  for (const auto& [key, value] : attributes) {
    g_hash_table_insert(types, g_strdup(key.c_str()), GINT_TO_POINTER(SECRET_SCHEMA_ATTRIBUTE_STRING));
  }
  SchemaPointer schema(secret_schema_newv(name.c_str(), SECRET_SCHEMA_NONE, types));
  g_hash_table_unref(types);
  return schema;
}

TablePointer makeAttributes(const SecretService::Attributes& attributes) {
  GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
  for (const auto& [key, value] : attributes) {
    g_hash_table_insert(table, g_strdup(key.c_str()), g_strdup(value.c_str()));
  }
  return TablePointer(table);
}

SecretServiceError takeError(GError* error, const char* fallback) {
  SecretServiceError result{error && error->message ? error->message : fallback};
  if (error) g_error_free(error);
  return result;
}

}  // namespace

SecretService::SecretService(std::string schemaName) : schemaName_(std::move(schemaName)) {}

Expected<std::optional<std::string>, SecretServiceError> SecretService::lookup(const Attributes& attributes) const {
  const auto schema = makeSchema(schemaName_, attributes);
  const auto table = makeAttributes(attributes);
  GError* error = nullptr;
  std::unique_ptr<SecretValue, ValueDeleter> value(
      secret_password_lookupv_binary_sync(schema.get(), table.get(), nullptr, &error));
  if (error) return unexpected(takeError(error, "lookup failed"));
  if (!value) return std::optional<std::string>();
  gsize length = 0;
  const gchar* bytes = secret_value_get(value.get(), &length);
  return std::optional<std::string>(std::string(bytes, length));
}

Expected<Unit, SecretServiceError> SecretService::store(const Attributes& attributes, std::string_view label,
                                                        std::string_view secret) const {
  const auto schema = makeSchema(schemaName_, attributes);
  const auto table = makeAttributes(attributes);
  std::unique_ptr<SecretValue, ValueDeleter> value(
      secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain"));
  const std::string labelText(label);
  GError* error = nullptr;
  const gboolean stored = secret_password_storev_binary_sync(schema.get(), table.get(), SECRET_COLLECTION_DEFAULT,
                                                             labelText.c_str(), value.get(), nullptr, &error);
  if (error || !stored) return unexpected(takeError(error, "store failed"));
  return Unit{};
}

Expected<Unit, SecretServiceError> SecretService::clear(const Attributes& attributes) const {
  const auto schema = makeSchema(schemaName_, attributes);
  const auto table = makeAttributes(attributes);
  GError* error = nullptr;
  secret_password_clearv_sync(schema.get(), table.get(), nullptr, &error);
  if (error) return unexpected(takeError(error, "clear failed"));
  return Unit{};
}

}  // namespace tavrel::platform
