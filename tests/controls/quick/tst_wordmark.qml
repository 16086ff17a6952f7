import QtQuick
import QtTest
import Tavrel.Controls

Item {
    id: root
    width: 300
    height: 100

    Component {
        id: wordmarkComponent
        BrandWordmark { glyphSize: 18 }
    }

    TestCase {
        name: "BrandWordmark"
        when: windowShown

        function test_mark_only_hides_the_words_even_with_a_subtitle() {
            const wordmark = createTemporaryObject(wordmarkComponent, root, { markOnly: true, subtitle: "Desktop" })
            compare(findChild(wordmark, "title").visible, false)
            compare(findChild(wordmark, "subtitle").visible, false)
        }

        function test_the_word_stands_alone_without_a_subtitle() {
            const wordmark = createTemporaryObject(wordmarkComponent, root)
            const title = findChild(wordmark, "title")
            compare(title.visible, true)
            compare(title.text, "Tavrel")
            compare(findChild(wordmark, "subtitle").visible, false)
            const mark = findChild(wordmark, "mark")
            // Vertically centred on the mark.
            verify(Math.abs((title.parent.y + title.parent.height / 2) - (mark.y + mark.height / 2)) < 1)
        }
    }
}
