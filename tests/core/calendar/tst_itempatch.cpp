// Changing an item's text line by line.

#include "core/calendar/ItemPatch.h"

#include <QTest>

class TestItemPatch : public QObject {
    Q_OBJECT

private slots:
    void readsOnlyNestedCalendars_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("readable");
        QTest::newRow("text around the calendar, and folds")
            << QByteArray("junk\r\nBEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:a\r\n b\r\nEND:VEVENT\r\n"
                          "END:VCALENDAR\r\nBEGIN:VCALENDAR\r\nEND:VCALENDAR")
            << true;
        QTest::newRow("lower case, no final line break")
            << QByteArray("begin:vcalendar\nbegin:vevent\nend:vevent\nend:vcalendar") << true;
        QTest::newRow("no calendar") << QByteArray("BEGIN:VEVENT\r\nEND:VEVENT\r\n") << false;
        QTest::newRow("cut short") << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nEND:VEVENT\r\n")
                                   << false;
        QTest::newRow("ends the wrong component")
            << QByteArray(
                   "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nBEGIN:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
            << false;
    }

    void readsOnlyNestedCalendars() {
        QFETCH(QByteArray, text);
        QFETCH(bool, readable);
        const std::optional<ItemPatch> patch = ItemPatch::read(text);
        QCOMPARE(bool(patch), readable);
        if (patch) {
            QCOMPARE(patch->text(), text);
            QCOMPARE(patch->components("vevent").size(), 1);
        }
    }

    void newLinesTakeTheItemsForm() {
        const QByteArray item =
            "BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY;ALTREP=\"http://x.org:80/a\";LANGUAGE=fr:"
            "Old\nDESCRIPTION:mine\nBEGIN:VALARM\nDESCRIPTION:the alarm's\nEND:VALARM\n"
            "END:VEVENT\nEND:VCALENDAR\n";
        std::optional<ItemPatch> patch = ItemPatch::read(item);
        QVERIFY(patch);
        const ItemPatch::Component event = patch->components().first();
        // The colon inside the quoted parameter does not end the parameters.
        const QByteArray title = "x" + QString(40, QChar(0xE9)).toUtf8(); // the 75th octet inside an é
        patch->setValue(event, "SUMMARY:" + title);
        patch->removeProperties(event, "description");
        patch->add(event, "X-NEW:1");

        const QByteArray text = patch->text();
        QVERIFY(!text.contains('\r'));
        QVERIFY(text.contains("DESCRIPTION:the alarm's\n"));
        QVERIFY(!text.contains("DESCRIPTION:mine"));
        QCOMPARE(patch->value(event, "X-NEW"), QByteArray("1"));
        // Folded at 75 octets at most, never inside a character, and unfolding gives the line back.
        for (const QByteArray& line : text.split('\n')) {
            QVERIFY(line.size() <= 75);
            QVERIFY(!line.startsWith(' ') || (uchar(line.at(1)) & 0xC0) != 0x80);
        }
        QCOMPARE(
            QByteArray(text).replace("\n ", ""),
            "BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY;ALTREP=\"http://x.org:80/a\";LANGUAGE=fr:" + title +
                "\nX-NEW:1\nBEGIN:VALARM\nDESCRIPTION:the alarm's\nEND:VALARM\nEND:VEVENT\nEND:VCALENDAR\n");
    }

    // A physical line holds 75 octets at most, the blank that opens a continuation line included,
    // and uses them all but on the last; a character of several octets stays on one line.
    void foldsAt75OctetsWithTheBlank_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QList<int>>("octets"); // of each physical line, its blank included
        QTest::newRow("ascii") << QByteArray(300, 'a') << QList<int>{75, 75, 75, 75, 16};
        // "DESCRIPTION:" and 21 euro signs of three octets fill 75; the next line's blank leaves
        // room for 24 of them (73 octets), never for a part of the 25th.
        QTest::newRow("three-octet characters")
            << QString(60, QChar(0x20AC)).toUtf8() << QList<int>{75, 73, 46};
    }

    void foldsAt75OctetsWithTheBlank() {
        QFETCH(QByteArray, value);
        QFETCH(QList<int>, octets);
        std::optional<ItemPatch> patch =
            ItemPatch::read("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        QVERIFY(patch);
        patch->add(patch->components().first(), "DESCRIPTION:" + value);
        const QByteArray text = patch->text();
        const qsizetype from = text.indexOf("DESCRIPTION:");
        const QList<QByteArray> lines = text.mid(from, text.indexOf("\r\nEND:VEVENT") - from).split('\n');
        QList<int> sizes;
        for (const QByteArray& line : lines)
            sizes.append(int(line.size() - (line.endsWith('\r') ? 1 : 0)));
        QCOMPARE(sizes, octets);
        QCOMPARE(QByteArray(text).replace("\r\n ", ""), "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDESCRIPTION:" +
                                                            value + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
};

QTEST_GUILESS_MAIN(TestItemPatch)
#include "tst_itempatch.moc"
