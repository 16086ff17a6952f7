#pragma once

// User-facing English texts of the core folders, which have no translator of their own.
//
// TAVREL_TRANSLATE_NOOP("Core", "The file could not be read.") is the text itself; the translation
// tools collect it into the catalogue under its context, and the interface translates it where it
// shows it (ui::translatedCoreText). Texts with parts from data are written with %1, %2, ... and
// filled with fillText, so the interface can still find the English pattern they came from.

#include <initializer_list>
#include <string>
#include <string_view>

#define TAVREL_TRANSLATE_NOOP(context, text) text

namespace tavrel::platform {

// `pattern` with %1 ... %9 replaced by the arguments in order; other % signs are kept.
//   fillText("Tavrel couldn’t read “%1”.", {"a.txt"})   // "Tavrel couldn’t read “a.txt”."
std::string fillText(std::string_view pattern, std::initializer_list<std::string_view> arguments);

}  // namespace tavrel::platform
