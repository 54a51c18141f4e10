#include "ui/ByteText.h"

#include <QTest>

#include <string>

using toppeek::messages::isValidUtf8;
using toppeek::ui::textFromBytes;

class ByteTextTest : public QObject {
    Q_OBJECT

private slots:
    void validUtf8ShowsAsUtf8_data();
    void validUtf8ShowsAsUtf8();
    void malformedUtf8ShowsAsLatin1_data();
    void malformedUtf8ShowsAsLatin1();
    void cutSequenceAtTheEnd();
    void nullAndEmpty();
};

void ByteTextTest::validUtf8ShowsAsUtf8_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ascii") << QByteArray("Subject: hello") << QStringLiteral("Subject: hello");
    QTest::newRow("two-byte") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                            "e")
                              << QStringLiteral("Grüße");
    QTest::newRow("three-byte") << QByteArray("\xe2\x82\xac 5") << QStringLiteral("€ 5");
    QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x93\xa7")
                               << QString::fromUcs4(U"\U0001F4E7");
    QTest::newRow("highest") << QByteArray("\xf4\x8f\xbf\xbf") << QString::fromUcs4(U"\U0010FFFF");
}

void ByteTextTest::validUtf8ShowsAsUtf8() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QVERIFY(isValidUtf8(view));
    QCOMPARE(textFromBytes(view), shown);
    QCOMPARE(textFromBytes(bytes.constData()), shown);
}

void ByteTextTest::malformedUtf8ShowsAsLatin1_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("latin-1 word") << QByteArray("caf\xe9 cr\xe8me");
    QTest::newRow("lone continuation") << QByteArray("a\x80z");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
    QTest::newRow("overlong three-byte") << QByteArray("\xe0\x80\xaf");
    QTest::newRow("overlong four-byte") << QByteArray("\xf0\x80\x80\xaf");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80");
    QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
    QTest::newRow("F5 lead") << QByteArray("\xf5\x80\x80\x80");
    QTest::newRow("missing continuation inside") << QByteArray("\xc3z end");
    QTest::newRow("mostly utf-8, one latin-1 byte") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                                  "e \xe9");
}

void ByteTextTest::malformedUtf8ShowsAsLatin1() {
    QFETCH(QByteArray, bytes);
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QVERIFY(!isValidUtf8(view));
    const QString shown = textFromBytes(view);
    // Byte for byte: every byte is one character of the same value.
    QCOMPARE(shown.size(), bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        QCOMPARE(shown[i].unicode(), static_cast<unsigned char>(bytes[i]));
    }
    QVERIFY(!shown.contains(QChar::ReplacementCharacter));
}

void ByteTextTest::cutSequenceAtTheEnd() {
    // "Grüße" cut inside the "ß" by a bounded copy.
    const std::string cut("Gr\xc3\xbc\xc3", 5);
    QCOMPARE(textFromBytes(cut, true), QStringLiteral("Grü"));
    QCOMPARE(textFromBytes(cut, false), QString::fromLatin1("Gr\xc3\xbc\xc3"));
    const std::string cutEuro("\xe2\x82\xac \xe2\x82", 6);
    QCOMPARE(textFromBytes(cutEuro, true), QStringLiteral("€ "));
    // Plain ASCII before the last byte gives no sign of UTF-8: a Latin-1
    // word is kept whole.
    const std::string latin("caf\xe9", 4);
    QCOMPARE(textFromBytes(latin, true), QStringLiteral("café"));
    // The rest is not UTF-8 either: Latin-1 for every byte, the tail included.
    const std::string mixed("\xe9t\xc3", 3);
    QCOMPARE(textFromBytes(mixed, true), QString::fromLatin1("\xe9t\xc3"));
}

void ByteTextTest::nullAndEmpty() {
    QVERIFY(isValidUtf8({}));
    QVERIFY(textFromBytes(static_cast<const char*>(nullptr)).isEmpty());
    QVERIFY(textFromBytes("").isEmpty());
    QVERIFY(textFromBytes(std::string_view(), true).isEmpty());
}

QTEST_APPLESS_MAIN(ByteTextTest)
#include "ByteTextTest.moc"
