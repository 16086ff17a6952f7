#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/url.h"

namespace tavrel {

// The address of a service endpoint or web page: `base` with its path replaced by "/" and the
// segments, each percent-encoded so that only US-ASCII letters, digits and "-._~" stay as they
// are (a "/" inside a segment becomes %2F, a blank %20). Scheme, user, host, port, query and
// fragment of `base` stay. No segments give the path "/".
//
// None when a segment is empty, or is "." or "..": such a segment would move the request to
// another path once any client or server normalised it, so no address is formed and nothing is
// sent. Segments are usually identifiers received from the service.
std::optional<platform::Url> apiURL(const platform::Url& base, const std::vector<std::string>& pathSegments);

}  // namespace tavrel
