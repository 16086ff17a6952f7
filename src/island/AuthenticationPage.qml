import QtQuick
import Tavrel.Island

// The sign-in strip, in place of every transfer page while the account may not send.
AuthenticationIslandView {
    property TransferIslandViewModel model
    status: model ? model.authentication : ({})
}
