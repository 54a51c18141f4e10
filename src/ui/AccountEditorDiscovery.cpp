// The account editor's Find settings and Test. The search and the test block on the network for
// up to several seconds, so each runs on a helper thread of its own (the mail layer's waits run
// no idle step there) and hands its progress and its result back to the window through queued
// calls; the window stays usable, and Cancel, OK or closing the editor stops the helper within a
// few milliseconds.

#include "ui/AccountEditor.h"
#include "ui/AccountSignInSection.h"

// The account list names a variable `slots`, which Qt's keyword macro would rewrite: the storage
// header comes before every Qt header.
#include "storage/Settings.h"

#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "discovery/AccountTest.h"
#include "discovery/Discovery.h"
#include "messages/Address.h"
#include "ui/AccountTestDialog.h"
#include "ui/DialogSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <thread>

namespace toppeek::ui {

using dialogs::kMbInformation;
using dialogs::kProgramTitle;
using dialogs::msgBox;

namespace {

discovery::Endpoints& endpoints() {
    static discovery::Endpoints shared;
    return shared;
}

// Domains that are reserved for examples (RFC 2606, RFC 6761) have no mail servers:
// typing one does not start a search by itself.
bool reservedDomain(const std::string& domain) {
    for (const char* name : {"example.com", "example.net", "example.org", "localhost"})
        if (domain == name)
            return true;
    for (const char* suffix : {".example", ".invalid", ".localhost"})
        if (domain.ends_with(suffix))
            return true;
    return false;
}

QString text(const std::string& bytes) {
    return QString::fromStdString(bytes);
}

// The provider table's notes are written in the mail folder, which is built without Qt; lupdate
// takes them from this list, and a note shown is looked up in their context. A note missing here
// is shown in English (the translation test says which).
[[maybe_unused]] constexpr const char* kProviderNotes[] = {
    QT_TRANSLATE_NOOP(
        "toppeek::mail::Providers",
        "Google signs in with OAuth2, or with an app password when two-step verification is on. "
        "POP must be switched on in Gmail's settings (Forwarding and POP/IMAP)."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "Microsoft takes only OAuth2 sign-in for POP3; POP must be allowed in "
                      "Outlook's settings (Forwarding and IMAP)."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "Yahoo needs an app password, made in the account's security settings."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "AOL needs an app password, made in the account's security settings."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "POP3 must be switched on in GMX's settings (POP3 & IMAP) first."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "POP3 must be switched on in GMX's settings first."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "POP3 must be switched on in WEB.DE's settings (POP3/IMAP) first."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "Mail.ru needs a password for external applications, made in the account's "
                      "security settings."),
    QT_TRANSLATE_NOOP(
        "toppeek::mail::Providers",
        "Yandex needs an app password, and POP3 switched on in the mail settings (Email clients)."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "POP access must be switched on in Zoho Mail's settings."),
    QT_TRANSLATE_NOOP(
        "toppeek::mail::Providers",
        "Fastmail takes only an app password here, never the account's own password."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "iCloud Mail offers no POP3, only IMAP: TopPeek cannot read it."),
    QT_TRANSLATE_NOOP(
        "toppeek::mail::Providers",
        "Proton Mail offers no POP3 (its Bridge speaks IMAP only): TopPeek cannot read it."),
    QT_TRANSLATE_NOOP("toppeek::mail::Providers",
                      "T-Online needs the separate e-mail password set in its customer centre."),
};

// A note of the search's own is in the user's language already and comes back as it is.
QString noteText(const std::string& note) {
    return QCoreApplication::translate("toppeek::mail::Providers", note.c_str());
}

// As the security box names them: only None is a word to translate.
QString securityText(mail::Security security) {
    return security == mail::Security::None
               ? QCoreApplication::translate("toppeek::ui::AccountEditor", "None")
               : QString::fromLatin1(discovery::securityName(security));
}

} // namespace

// One helper thread's work and what it left for the window.
struct AccountEditor::DiscoveryState {
    enum class Job { None, Find, Test };
    Job job = Job::None;
    // Counts the jobs, so that a late word from a cancelled one is never taken for the next's.
    int generation = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
    // What the last search found, for Use these settings.
    std::optional<discovery::Discovery> found;
    // The address the last search was for, so that leaving the address box again does not
    // search again.
    QString searchedAddress;
    QString report;
    // The report dialog of the last test, while it is open.
    QPointer<AccountTestDialog> reportDialog;
};

void AccountEditor::DiscoveryStateDeleter::operator()(DiscoveryState* state) const {
    delete state;
}

void AccountEditor::setDiscoveryEndpoints(const discovery::Endpoints& chosen) {
    endpoints() = chosen;
}

void AccountEditor::addDiscoveryControls(QLayout* layout) {
    discovery_.reset(new DiscoveryState);
    findButton = named(new QPushButton(tr("&Find settings"), this), "BFind");
    findButton->setToolTip(
        tr("Find the server, its security and its sign-in from the e-mail address"));
    testButton = named(new QPushButton(tr("&Test"), this), "BTest");
    testButton->setToolTip(tr("Connect and log in with these settings"));
    useFoundButton = named(new QPushButton(tr("&Use these settings"), this), "BUseFound");
    useFoundButton->hide();
    discoveryLabel = named(new QLabel(this), "LDiscovery");
    discoveryLabel->setWordWrap(true);
    discoveryLabel->setTextFormat(Qt::PlainText);
    discoveryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    discoveryLabel->setMinimumWidth(260);
    discoveryLabel->hide();
    for (QPushButton* button : {findButton, testButton, useFoundButton})
        button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(findButton);
    buttons->addWidget(testButton);
    buttons->addStretch(1);
    auto* found = new QHBoxLayout;
    found->addStretch(1);
    found->addWidget(useFoundButton);
    found->addStretch(1);
    if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        box->addSpacing(10);
        box->addLayout(buttons);
        box->addWidget(discoveryLabel);
        box->addLayout(found);
    }
    // The buttons stand below the boxes and above OK and Cancel, which are made before them.
    setTabOrder(rememberPasswordBox, findButton);
    setTabOrder(findButton, testButton);
    setTabOrder(testButton, useFoundButton);
    connect(findButton, &QPushButton::clicked, this, &AccountEditor::findSettings);
    connect(testButton, &QPushButton::clicked, this, &AccountEditor::testSettings);
    connect(useFoundButton, &QPushButton::clicked, this, &AccountEditor::useFoundSettings);
    connect(addressEdit, &QLineEdit::editingFinished, this, &AccountEditor::addressEditLeft);
}

void AccountEditor::stopDiscoveryWork() {
    if (!discovery_ || !discovery_->thread.joinable())
        return;
    discovery_->stop = true;
    discovery_->thread.join();
    discovery_->job = DiscoveryState::Job::None;
    findButton->setText(tr("&Find settings"));
    testButton->setText(tr("&Test"));
    findButton->setEnabled(true);
    testButton->setEnabled(true);
}

void AccountEditor::addressEditLeft() {
    if (!discovery_ || !host_.empty() || !hostEdit->text().trimmed().isEmpty() ||
        discovery_->job != DiscoveryState::Job::None)
        return;
    const QString address = addressEdit->text().trimmed();
    const std::string bytes = address.toUtf8().toStdString();
    if (address == discovery_->searchedAddress || !messages::isValidAccountAddress(bytes) ||
        reservedDomain(discovery::domainOf(bytes)))
        return;
    // Leaving the box with Return may close the editor; the search starts only if it stays.
    QTimer::singleShot(0, this, [this, address] {
        if (isVisible() && hostEdit->text().trimmed().isEmpty() &&
            addressEdit->text().trimmed() == address &&
            discovery_->job == DiscoveryState::Job::None)
            findSettings();
    });
}

void AccountEditor::findSettings() {
    if (discovery_->job == DiscoveryState::Job::Find) {
        stopDiscoveryWork();
        discoveryLabel->setText(tr("Find settings was cancelled."));
        return;
    }
    if (discovery_->job != DiscoveryState::Job::None)
        return;
    const QString address = addressEdit->text().trimmed();
    const std::string bytes = address.toUtf8().toStdString();
    if (!messages::isValidAccountAddress(bytes)) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox",
                                 "Please enter the complete e-mail address first, such as "
                                 "name@example.com: the settings are found from its "
                                 "domain."));
        addressEdit->setFocus();
        return;
    }
    if (discovery_->thread.joinable())
        discovery_->thread.join();
    discovery_->searchedAddress = address;
    discovery_->found.reset();
    discovery_->stop = false;
    discovery_->job = DiscoveryState::Job::Find;
    const int generation = ++discovery_->generation;
    useFoundButton->hide();
    findButton->setText(tr("Cancel"));
    testButton->setEnabled(false);
    discoveryLabel->setText(tr("Finding the settings of %1\u2026").arg(address));
    discoveryLabel->show();

    discovery::DiscoveryOptions options;
    options.endpoints = endpoints();
    options.stop = &discovery_->stop;
    QPointer<AccountEditor> self(this);
    options.progress = [self, generation](const std::string& step) {
        QMetaObject::invokeMethod(
            self,
            [self, step, generation] {
                if (self && self->discovery_->generation == generation &&
                    self->discovery_->job == DiscoveryState::Job::Find)
                    self->discoveryLabel->setText(text(step));
            },
            Qt::QueuedConnection);
    };
    discovery_->thread = std::thread([self, bytes, generation, options = std::move(options)] {
        discovery::Discovery result = discovery::discoverSettings(bytes, options);
        QMetaObject::invokeMethod(
            self,
            [self, generation, result = std::move(result)]() mutable {
                if (!self || self->discovery_->generation != generation ||
                    self->discovery_->job != DiscoveryState::Job::Find)
                    return;
                self->discovery_->thread.join();
                self->discovery_->job = DiscoveryState::Job::None;
                self->findButton->setText(tr("&Find settings"));
                self->testButton->setEnabled(true);
                self->discovery_->found = std::move(result);
                self->showDiscoveryResult();
            },
            Qt::QueuedConnection);
    });
}

void AccountEditor::showDiscoveryResult() {
    const discovery::Discovery& result = *discovery_->found;
    QString shown;
    if (result.cancelled) {
        shown = tr("Find settings was cancelled.");
    } else if (result.noPop3) {
        shown = tr("%1\nWhere: %2.").arg(noteText(result.note), text(result.origin));
    } else if (!result.found) {
        shown = tr("No POP3 server was found for this address: not in the provider table, the "
                   "domain publishes no autoconfig or DNS record for it, and no usual server name "
                   "answered. Please ask your provider for the POP3 server, then use Test.");
    } else {
        const discovery::ServerSettings& found = result.settings;
        // In one pass: a '%' in a name must not be taken for a place of the text.
        shown = tr("Server %1, %2, port %3; user name %4.\nWhere: %5.")
                    .arg(text(found.host), securityText(found.security),
                         QString::number(found.port), text(found.userName), text(result.origin));
        if (found.signIn == discovery::SignIn::OAuth2)
            shown += tr("\nSign-in: this provider asks for OAuth2.");
        else if (found.signIn == discovery::SignIn::EncryptedPassword)
            shown += tr("\nSign-in: the server wants the password sent encrypted (APOP, chosen "
                        "in the Preferences).");
        if (!result.note.empty())
            shown += QStringLiteral("\n") + noteText(result.note);
        if (found.security == mail::Security::None)
            shown += tr("\nNone sends the password in clear.");
        useFoundButton->show();
        useFoundButton->setDefault(false);
    }
    discoveryLabel->setText(shown);
    discoveryLabel->show();
}

void AccountEditor::useFoundSettings() {
    if (!discovery_->found || !discovery_->found->found)
        return;
    const discovery::ServerSettings& found = discovery_->found->settings;
    hostEdit->setText(text(found.host));
    const int index = found.security == mail::Security::Tls        ? 1
                      : found.security == mail::Security::StartTls ? 2
                                                                   : 0;
    securityBox->setCurrentIndex(index);
    portEdit->setText(QString::number(found.port));
    if (!found.userName.empty())
        userNameEdit->setText(text(found.userName));
    useFoundButton->hide();
    if (found.signIn == discovery::SignIn::OAuth2) {
        // The provider takes no password: its sign-in page stands for it.
        signInSection->chooseOAuth2();
        discoveryLabel->setText(discoveryLabel->text() +
                                tr("\nTaken into the boxes above: this provider signs in "
                                   "through the web browser; press Sign in below."));
        return;
    }
    discoveryLabel->setText(discoveryLabel->text() +
                            tr("\nTaken into the boxes above: enter the password and press Test "
                               "to check them."));
    passwordEdit->setFocus();
}

QString AccountEditor::lastTestReport() const {
    return discovery_->report;
}

void AccountEditor::testSettings() {
    if (discovery_->job == DiscoveryState::Job::Test) {
        stopDiscoveryWork();
        discoveryLabel->setText(tr("The test was cancelled."));
        return;
    }
    if (discovery_->job != DiscoveryState::Job::None || !composeHost())
        return;
    if (hostText_.empty()) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "Please enter the host address of the server first, or "
                                           "use Find settings."));
        hostEdit->setFocus();
        return;
    }
    discovery::AccountTestInput input;
    input.hostText = hostText_;
    input.userName = accountTextFromEdit(userNameEdit->text(), userName_);
    input.password = accountTextFromEdit(passwordEdit->text(), password_);
    input.dnsServer = endpoints().dnsServer;
    if (input.password.empty()) {
        msgBox(kMbInformation, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "Please enter the password: the test logs in with it."));
        passwordEdit->setFocus();
        return;
    }
    if (discovery_->thread.joinable())
        discovery_->thread.join();
    discovery_->stop = false;
    discovery_->job = DiscoveryState::Job::Test;
    const int generation = ++discovery_->generation;
    testButton->setText(tr("Cancel"));
    findButton->setEnabled(false);
    discoveryLabel->setText(tr("Testing the settings\u2026"));
    discoveryLabel->show();

    QPointer<AccountEditor> self(this);
    discovery_->thread =
        std::thread([self, generation, input = std::move(input), stop = &discovery_->stop] {
            auto progress = [self, generation](const std::string& step) {
                QMetaObject::invokeMethod(
                    self,
                    [self, step, generation] {
                        if (self && self->discovery_->generation == generation &&
                            self->discovery_->job == DiscoveryState::Job::Test)
                            self->discoveryLabel->setText(text(step));
                    },
                    Qt::QueuedConnection);
            };
            discovery::AccountTestReport report = discovery::testAccount(input, stop, progress);
            QMetaObject::invokeMethod(
                self,
                [self, generation, report = std::move(report)] {
                    if (!self || self->discovery_->generation != generation ||
                        self->discovery_->job != DiscoveryState::Job::Test)
                        return;
                    self->discovery_->thread.join();
                    self->discovery_->job = DiscoveryState::Job::None;
                    self->testButton->setText(tr("&Test"));
                    self->findButton->setEnabled(true);
                    self->discovery_->report = text(discovery::reportText(report));
                    self->discoveryLabel->setText(report.succeeded()
                                                      ? tr("Test: the account works.")
                                                      : tr("Test: %1").arg(text(report.failure)));
                    auto* dialog =
                        new AccountTestDialog(self->discovery_->report, report.succeeded(), self);
                    dialog->setAttribute(Qt::WA_DeleteOnClose);
                    self->discovery_->reportDialog = dialog;
                    dialog->open();
                },
                Qt::QueuedConnection);
        });
}

} // namespace toppeek::ui
