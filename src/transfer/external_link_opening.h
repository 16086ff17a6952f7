#pragma once

#include "platform/url.h"

namespace tavrel {

// Opens web pages in the user's default browser. Main thread; returns at once, reports nothing.
class ExternalLinkOpening {
 public:
  virtual ~ExternalLinkOpening() = default;
  virtual void open(const platform::Url& url) = 0;
};

}  // namespace tavrel
