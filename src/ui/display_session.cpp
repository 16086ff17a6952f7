#include "ui/display_session.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace tavrel::ui {

namespace {

const char* explanation = nullptr;
QtMessageHandler previousHandler = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg || explanation == nullptr) {
    if (previousHandler) previousHandler(type, context, message);
    return;
  }
  std::fprintf(stderr, "%s\n%s\n", message.toLocal8Bit().constData(), explanation);
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

bool hasDisplaySession(bool platformChoiceCounts) {
  const auto isSet = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || (platformChoiceCounts && isSet("QT_QPA_PLATFORM"));
}

DisplayFailureGuard::DisplayFailureGuard(const char* text) {
  explanation = text;
  previousHandler = qInstallMessageHandler(handleMessage);
}

DisplayFailureGuard::~DisplayFailureGuard() {
  qInstallMessageHandler(previousHandler);
  explanation = nullptr;
  previousHandler = nullptr;
}

}  // namespace tavrel::ui
