#pragma once

namespace tavrel {

// Whether the island shows its one-line strip or its full page.
enum class IslandPresentation { compact, expanded };

}  // namespace tavrel
