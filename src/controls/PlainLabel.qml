import QtQuick

// A label that shows its text exactly as typed: names and messages from data are never read as
// markup.
Text {
    textFormat: Text.PlainText
    onTextFormatChanged: if (textFormat !== Text.PlainText) textFormat = Text.PlainText
    color: "white"
    renderType: Text.QtRendering
}
