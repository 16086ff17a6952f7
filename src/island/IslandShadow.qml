import QtQuick

// A soft shadow under the island: eight widening outlines of the island's shape, each faint,
// offset downwards by 12.
Item {
    id: shadow

    property bool attachedToTop: false
    property real topFlareRadius: 12
    property real bottomRadius: 12

    ShadowLayer { step: 1; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 2; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 3; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 4; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 5; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 6; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 7; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
    ShadowLayer { step: 8; base: shadow; attachedToTop: shadow.attachedToTop; topFlareRadius: shadow.topFlareRadius; baseBottomRadius: shadow.bottomRadius }
}
