#include "ui/MessageViewer.h"
#include "ui/HeaderListing.h"

#include "support/ModalDialogDriver.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

using toppeek::ui::MessageViewer;
using toppeek::ui::viewText;
using toppeek::ui::writeHeaderListing;
using namespace toppeek::messages;
using toppeek::test::ModalDialogDriver;

namespace {

std::string readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

void writeBytes(const QString& path, const std::string& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void addEntry(MessageList& list, const std::string& header) {
    list.append(createMessageEntry(header).release());
}

} // namespace

class MessageViewerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { MessageViewer::forgetSize(); }
    void showsTextReadOnlyAndWrapped();
    void enterAndEscClose_data();
    void enterAndEscClose();
    void sizeIsRememberedForTheRun();
    void headerListingBytes();
    void headerListingFollowsListOrder();
    void headerListingOfEmptyListAndFailure();
};

void MessageViewerTest::showsTextReadOnlyAndWrapped() {
    MessageViewer viewer;
    QCOMPARE(viewer.size(), QSize(MessageViewer::kDesignWidth, MessageViewer::kDesignHeight));
    QVERIFY(viewer.textView->isReadOnly());
    QCOMPARE(viewer.textView->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    viewer.ShowText("Subject: caf\xe9\r\nFrom: a@b\r\n\r\nline\rnext", "Headers");
    QCOMPARE(viewer.windowTitle(), QString("Headers"));
    QCOMPARE(viewer.textView->toPlainText(),
             QString::fromUtf8("Subject: café\nFrom: a@b\n\nline\nnext"));
    viewer.ShowText("second", "Message");
    QCOMPARE(viewer.textView->toPlainText(), QString("second"));
    // What a terminal or the text layout would obey is shown instead.
    viewer.ShowText("a\x1b[2Jb\xe2\x80\xae"
                    "cd",
                    "Message");
    QCOMPARE(viewer.textView->toPlainText(), QString::fromUtf8("a\u241b[2Jb\ufffd"
                                                               "cd"));
}

void MessageViewerTest::enterAndEscClose_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << static_cast<int>(Qt::Key_Return);
    QTest::newRow("keypad Enter") << static_cast<int>(Qt::Key_Enter);
    QTest::newRow("Esc") << static_cast<int>(Qt::Key_Escape);
}

void MessageViewerTest::enterAndEscClose() {
    QFETCH(int, key);
    MessageViewer viewer;
    viewer.ShowText("one\r\ntwo\r\n", "Message");
    viewer.show();
    viewer.textView->setFocus();
    QTest::keyClick(viewer.textView, static_cast<Qt::Key>(key));
    QVERIFY(!viewer.isVisible());
    QCOMPARE(viewer.result(), int(QDialog::Accepted));
    QCOMPARE(viewer.textView->toPlainText(), QString("one\ntwo\n")); // no line break added
}

void MessageViewerTest::sizeIsRememberedForTheRun() {
    QCOMPARE(MessageViewer::rememberedSize(), QSize(-1, -1));
    {
        MessageViewer first;
        first.ShowText("message", "Message");
        first.show();
        first.resize(640, 300);
        first.closeButton->click();
    }
    QCOMPARE(MessageViewer::rememberedSize(), QSize(640, 300));

    // The next viewer opens with it, run modally and closed with its close box.
    ModalDialogDriver driver;
    QSize opened;
    driver.expect("TFViewMsg", [&opened](QDialog* dialog) {
        opened = dialog->size();
        dialog->resize(500, 350);
        dialog->close();
    });
    viewText(nullptr, "headers", "Headers");
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(opened, QSize(640, 300));
    QCOMPARE(MessageViewer::rememberedSize(), QSize(500, 350));
}

void MessageViewerTest::headerListingBytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("headers.txt");
    auto list = createMessageList();
    addEntry(*list, "Subject: one\r\nFrom: a@example.org\r\n");
    addEntry(*list, "");
    addEntry(*list, "Subject: three\nX: lf only");
    addEntry(*list, "Subject: caf\xe9 \x1b]0;owned\x07\r\n");
    QVERIFY(writeHeaderListing(path.toStdString(), *list));
    // Line ends as they came; Latin-1 in UTF-8 and controls as their symbols, so that the file
    // reads the same in an editor and on a terminal.
    QCOMPARE(readBytes(path),
             std::string("Subject: one\r\nFrom: a@example.org\r\n\n\n"
                         "\n\n"
                         "Subject: three\nX: lf only\n\n"
                         "Subject: caf\xc3\xa9 \xe2\x90\x9b]0;owned\xe2\x90\x87\r\n\n\n"));
}

void MessageViewerTest::headerListingFollowsListOrder() {
    QTemporaryDir dir;
    const QString path = dir.filePath("headers.txt");
    auto list = createMessageList();
    addEntry(*list, "Subject: Charlie\r\n");
    addEntry(*list, "Subject: Alpha\r\n");
    addEntry(*list, "Subject: Bravo\r\n");
    sortMessages(*list, SortKey::BySubject, true);
    QVERIFY(writeHeaderListing(path.toStdString(), *list));
    QCOMPARE(readBytes(path), std::string("Subject: Alpha\r\n\n\n"
                                          "Subject: Bravo\r\n\n\n"
                                          "Subject: Charlie\r\n\n\n"));
}

void MessageViewerTest::headerListingOfEmptyListAndFailure() {
    QTemporaryDir dir;
    const QString path = dir.filePath("headers.txt");
    writeBytes(path, "an earlier listing\n");
    auto list = createMessageList();
    QVERIFY(writeHeaderListing(path.toStdString(), *list));
    QCOMPARE(readBytes(path), std::string());

    addEntry(*list, "Subject: x\r\n");
    const QString unwritable = dir.filePath("no-such-folder/headers.txt");
    QVERIFY(!writeHeaderListing(unwritable.toStdString(), *list));
    QVERIFY(!QFile::exists(unwritable));
}

QTEST_MAIN(MessageViewerTest)
#include "MessageViewerTest.moc"
