import QtQuick
import Tavrel.Onboarding

Rectangle {
    id: root
    required property OnboardingViewModel model
    width: 400
    height: 500
    color: "black"
}
