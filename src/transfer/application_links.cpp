#include "transfer/application_links.h"

#include "records/api_url.h"

namespace tavrel {

platform::Url ApplicationLinks::url(const std::string& pathSegment, const std::string& id) const {
  if (auto link = apiURL(webAppURL, {pathSegment, id})) return *link;
  return webAppURL;
}

}  // namespace tavrel
