// A new account found, confirmed and checked from its address alone, in the account editor:
// dnsmasq answers for the made-up domain probe.test, Dovecot serves its POP3 over TLS on a test
// port, and the editor's search and test are aimed at both through setDiscoveryEndpoints. With
// TOPPEEK_SCREENSHOTS set to a folder, the editor and the report are saved there as pictures
// for the user guide.

// The account list names a variable `slots`: storage before any Qt header.
#include "storage/Settings.h"

#include "discovery/Discovery.h"
#include "mail/Connection.h"
#include "support/ChildServers.h"
#include "support/DovecotServer.h"
#include "support/HttpTestServer.h"
#include "support/ProcessTrust.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"
#include "ui/AccountEditor.h"
#include "ui/AccountSignInSection.h"
#include "ui/AccountTestDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <memory>

using namespace toppeek;
using toppeek::test::DnsTestServer;
using toppeek::test::DovecotServer;
using toppeek::test::DovecotTls;
using toppeek::test::HttpTestServer;
using toppeek::test::ProcessTrust;
using toppeek::test::TemporaryFolder;
using toppeek::test::TestAuthority;

namespace {

const char* const kAddress = "alice@probe.test";
const char* const kPassword = "Found-and-checked";

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

void saveScreenshot(QWidget* window, const char* name) {
    const QByteArray folder = qgetenv("TOPPEEK_SCREENSHOTS");
    if (!folder.isEmpty())
        window->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') +
                            QLatin1String(name));
}

} // namespace

class AccountDiscoveryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        mail::startConnectionLayer();
        QVERIFY(folder_.valid());
        folder_.letOthersRead();
        TestAuthority authority("TopPeek Discovery Authority");
        QVERIFY(authority.valid());
        trust_ = std::make_unique<ProcessTrust>(authority.certificatePem(),
                                                ProcessTrust::Beside::Nothing);
        const auto issued = authority.issue("pop.probe.test", {"DNS:pop.probe.test"});
        writeText(folder_.path() / "pop.pem", issued.certificate);
        writeText(folder_.path() / "pop.key", issued.key);
        dovecot_ = std::make_unique<DovecotServer>(
            DovecotTls{folder_.path() / "pop.pem", folder_.path() / "pop.key"});
        dovecot_->addUser(kAddress, kPassword);
        dovecot_->addMessage(kAddress, "From: b@example.org\nSubject: welcome\n\nHello\n");
        QVERIFY2(dovecot_->start(), dovecot_->failure().c_str());
        dns_ = std::make_unique<DnsTestServer>(std::vector<std::string>{
            "--host-record=pop.probe.test,127.0.0.1", "--host-record=pop.silent.test,127.0.0.1"});
        QVERIFY2(dns_->start(), dns_->failure().c_str());
        endpoints_.dnsServer = dns_->server();
        endpoints_.httpsPort = 1; // no autoconfig host exists; nothing may listen there anyway
        endpoints_.pop3sPort = dovecot_->pop3sPort();
        endpoints_.pop3Port = dovecot_->port();
        ui::AccountEditor::setDiscoveryEndpoints(endpoints_);
    }

    void foundConfirmedAndCheckedFromTheAddressAlone() {
        ui::AccountEditor editor;
        editor.setWindowTitle(ui::AccountEditor::addCaption());
        editor.show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));

        // Typing the address of a new account and leaving the box starts the search.
        editor.addressEdit->setFocus();
        QTest::keyClicks(editor.addressEdit, QString::fromLatin1(kAddress));
        editor.hostEdit->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(editor.useFoundButton->isVisible(), 15000);
        const QString found = editor.discoveryLabel->text();
        QVERIFY2(found.startsWith(QStringLiteral("Server pop.probe.test, SSL/TLS, port %1; user "
                                                 "name alice@probe.test.\nWhere: by trying "
                                                 "pop.probe.test.")
                                      .arg(dovecot_->pop3sPort())),
                 qPrintable(found));
        // Nothing is taken into the boxes until the user confirms.
        QVERIFY(editor.hostEdit->text().isEmpty());
        saveScreenshot(&editor, "account-find-settings.png");

        QTest::mouseClick(editor.useFoundButton, Qt::LeftButton);
        QCOMPARE(editor.hostEdit->text(), QStringLiteral("pop.probe.test"));
        QCOMPARE(editor.securityBox->currentText(), QStringLiteral("SSL/TLS"));
        QCOMPARE(editor.portEdit->text(), QString::number(dovecot_->pop3sPort()));
        QCOMPARE(editor.userNameEdit->text(), QString::fromLatin1(kAddress));

        QTest::keyClicks(editor.passwordEdit, QString::fromLatin1(kPassword));
        QTest::mouseClick(editor.testButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!editor.lastTestReport().isEmpty(), 20000);
        const QString report = editor.lastTestReport();
        QVERIFY2(report.contains(QStringLiteral("Log-in: accepted")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("Messages waiting: 1")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("trusted: yes")), qPrintable(report));
        auto* dialog = editor.findChild<ui::AccountTestDialog*>(QStringLiteral("FAccountTest"));
        QVERIFY(dialog != nullptr);
        QTRY_VERIFY(dialog->isVisible());
        saveScreenshot(dialog, "account-test-report.png");
        dialog->accept();
    }

    void aProviderWithoutPasswordsSignsInThroughTheBrowser() {
        // Found in the provider table, so nothing goes out on the network.
        ui::AccountEditor editor;
        editor.show();
        editor.addressEdit->setText(QStringLiteral("someone@outlook.com"));
        QTest::mouseClick(editor.findButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(editor.useFoundButton->isVisible(), 5000);
        QTest::mouseClick(editor.useFoundButton, Qt::LeftButton);
        QCOMPARE(editor.hostEdit->text(), QStringLiteral("outlook.office365.com"));
        QVERIFY(editor.signInSection->usesOAuth2());
        QVERIFY(!editor.passwordEdit->isEnabled());
    }

    void closingTheEditorStopsASearch() {
        // A server that never speaks keeps the search busy until its bound.
        HttpTestServer silent(std::nullopt);
        discovery::Endpoints endpoints = endpoints_;
        endpoints.pop3sPort = endpoints.pop3Port = silent.port();
        ui::AccountEditor::setDiscoveryEndpoints(endpoints);
        auto editor = std::make_unique<ui::AccountEditor>();
        editor->show();
        editor->addressEdit->setText(QStringLiteral("someone@silent.test"));
        QTest::mouseClick(editor->findButton, Qt::LeftButton);
        QCOMPARE(editor->findButton->text(), QStringLiteral("Cancel"));
        QTest::qWait(100);
        QElapsedTimer clock;
        clock.start();
        editor->reject();
        editor.reset();
        QVERIFY(clock.elapsed() < 2000);
        ui::AccountEditor::setDiscoveryEndpoints(endpoints_);
    }

    void cleanupTestCase() {
        dns_.reset();
        dovecot_.reset();
        trust_.reset();
    }

private:
    TemporaryFolder folder_{"toppeek-ui-discovery"};
    std::unique_ptr<ProcessTrust> trust_;
    std::unique_ptr<DovecotServer> dovecot_;
    std::unique_ptr<DnsTestServer> dns_;
    discovery::Endpoints endpoints_;
};

QTEST_MAIN(AccountDiscoveryTest)
#include "AccountDiscoveryTest.moc"
