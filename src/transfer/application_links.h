#pragma once

// Links into the web application that the program copies or opens: the download link of a
// transfer and the page of one transfer. A plain value; safe to copy between threads.
//
//   ApplicationLinks links{*platform::Url::parse("https://app.example.com")};
//   links.downloadURL("abc").toString();   // "https://app.example.com/dl/abc"
//   links.transferURL("42").toString();    // "https://app.example.com/transfers/42"

#include <string>

#include "platform/url.h"

namespace tavrel {

struct ApplicationLinks {
  platform::Url webAppURL;

  // The share link for a download slug.
  platform::Url downloadURL(const std::string& id) const { return url("dl", id); }
  // The page of one transfer.
  platform::Url transferURL(const std::string& id) const { return url("transfers", id); }

  // webAppURL's origin followed by /pathSegment/id, each percent-encoded as one segment. When no
  // address can be formed (an empty id, or "." or ".."), webAppURL itself: a link that goes
  // somewhere harmless rather than nowhere.
  platform::Url url(const std::string& pathSegment, const std::string& id) const;

  friend bool operator==(const ApplicationLinks&, const ApplicationLinks&) = default;
};

}  // namespace tavrel
