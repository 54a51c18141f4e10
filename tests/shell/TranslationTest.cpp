// The program in German: the main window, Preferences and a message box follow the translations,
// Qt's own buttons included, and English comes back when asked for; so do the words made outside
// the windows (the new-mail notice with its plurals, the account test's report on its helper
// thread, the reports and failures of the mail operations, which are built without Qt). Every
// translation keeps the placeholders and printf conversions of its source, so that
// no translated box formats its arguments wrongly.

#include "shell/Translations.h"

#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "discovery/AccountTest.h"
#include "mail/Providers.h"
#include "messages/Filters.h"
#include "messages/MessageList.h"
#include "operations/MailboxOperations.h"
#include "shell/DesktopNotifier.h"
#include "storage/Settings.h"
#include "ui/MainWindowHarness.h"
#include "ui/PreferencesDialog.h"

#include <QAbstractButton>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QXmlStreamReader>

#include <thread>

using namespace toppeek::test;
using toppeek::shell::installTranslations;

namespace {

// The placeholders (%1) and printf conversions (%s, %d, %ld) of text, in order for the
// conversions, which printf takes by position, and sorted for the placeholders, which a
// translation may move.
QStringList conversionsOf(const QString& text) {
    static const QRegularExpression conversion(
        QStringLiteral("%(?:%|[-+ #0]*\\d*(?:\\.\\d+)?l{0,2}[a-zA-Z]|\\d+)"));
    QStringList printfStyle;
    QStringList numbered;
    for (const QRegularExpressionMatch& match : conversion.globalMatch(text)) {
        const QString found = match.captured();
        (found.at(1).isDigit() ? numbered : printfStyle) << found;
    }
    numbered.sort();
    return printfStyle + numbered;
}

} // namespace

class TranslationTest : public QObject, WindowTestFiles {
    Q_OBJECT

private slots:
    void init() { setUpFiles(); }
    void cleanup() {
        installTranslations(QLocale(QLocale::English));
        tearDownFiles();
    }

    void theWindowsSpeakGermanAndEnglishAgain() {
        installTranslations(QLocale(QLocale::German, QLocale::Germany));
        auto window = startMainWindow(settingsPath_, filtersPath_, {"127.0.0.1:9"});
        QVERIFY(window);
        QCOMPARE(window->fileMenu->title(), QStringLiteral("&Datei"));
        QCOMPARE(window->openConnectionItem->text(), QStringLiteral("Verbindung ö&ffnen"));

        toppeek::ui::PreferencesDialog preferences(window->settings());
        QCOMPARE(preferences.windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(preferences.pages->tabText(0), QStringLiteral("Konten"));

        // A real box, with its text translated and Qt's buttons in German.
        toppeek::dialogs::setMessageBoxResponder({});
        QString boxText;
        QString yesText;
        auto box = onDialog<QMessageBox>([&](QMessageBox* shown) {
            boxText = shown->text();
            yesText = shown->button(QMessageBox::Yes)->text();
            shown->reject();
        });
        toppeek::dialogs::msgBox(
            toppeek::dialogs::kMbAskYesNo, toppeek::dialogs::kProgramTitle,
            QT_TRANSLATE_NOOP("MsgBox", "No web browser could be started to show\n\n%s\n\nCopy "
                                        "the address into your browser to read the page."),
            "https://example.org/");
        QVERIFY(box->fired());
        QVERIFY2(boxText.startsWith(QStringLiteral("Es konnte kein Webbrowser gestartet werden")),
                 qPrintable(boxText));
        QVERIFY(boxText.contains(QStringLiteral("\n\nhttps://example.org/\n\n")));
        QCOMPARE(yesText, QStringLiteral("&Ja"));

        installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
        toppeek::ui::PreferencesDialog english(window->settings());
        QCOMPARE(english.windowTitle(), QStringLiteral("Preferences"));
    }

    void theNoticeAndTheAccountTestSpeakGerman() {
        installTranslations(QLocale(QLocale::German, QLocale::Germany));
        const auto one = toppeek::shell::newMailNotice({{"a@example.org", 1, 1}});
        QVERIFY(one);
        QCOMPARE(QString::fromStdString(one->summary), QStringLiteral("1 neue Nachricht"));
        QCOMPARE(QString::fromStdString(one->body),
                 QStringLiteral("a@example.org: 1, 1 als Spam markiert"));
        const auto three =
            toppeek::shell::newMailNotice({{"a@example.org", 1, 0}, {"b@example.org", 2, 0}});
        QVERIFY(three);
        QCOMPARE(QString::fromStdString(three->summary), QStringLiteral("3 neue Nachrichten"));

        // The test runs on a helper thread of the account editor's; an address it cannot use
        // ends it before the network.
        toppeek::discovery::AccountTestReport report;
        std::thread([&report] {
            toppeek::discovery::AccountTestInput input;
            input.hostText = "pop3s://";
            input.userName = "ann";
            input.password = "secret";
            report = toppeek::discovery::testAccount(input);
        }).join();
        const QString text = QString::fromStdString(toppeek::discovery::reportText(report));
        QVERIFY2(text.contains(QStringLiteral("Ergebnis: Die Host-Adresse ist nicht verwendbar.")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Was Sie versuchen können:")), qPrintable(text));

        installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(toppeek::shell::newMailNotice({{"a@example.org", 1, 0}})->summary,
                 std::string("1 new message"));
    }

    void theMailOperationsSpeakGerman() {
        using namespace toppeek::operations;
        installTranslations(QLocale(QLocale::German, QLocale::Germany));
        OperationOutcome removal;
        removal.result = OperationResult::BrokeOff;
        removal.reason = "x";
        removal.refused = 1;
        removal.notReached = 3;
        QCOMPARE(QString::fromStdString(removalReport(removal)),
                 QStringLiteral("1 markierte Nachricht wurde nicht entfernt: Der Server hat das "
                                "Löschen verweigert.\n"
                                "Das Entfernen endete nicht ordnungsgemäß (x).\n"
                                "3 markierte Nachrichten wurden nicht versucht und bleiben in der "
                                "Liste markiert."));

        // An account that signs in with OAuth2 and has no token fails its log-in before the
        // network, as a quiet check leaves it in the outcome.
        toppeek::storage::Settings settings{};
        toppeek::storage::Account account;
        account.address = "ann@example.org";
        account.host = "127.0.0.1:1";
        account.signIn = toppeek::storage::SignInMethod::OAuth2;
        const toppeek::messages::Filters filters{};
        auto list = toppeek::messages::createMessageList();
        OperationOptions quiet;
        quiet.quiet = true;
        const OperationOutcome login = checkMailbox(
            account, settings, filters, *list, [](int) {}, quiet);
        QCOMPARE(QString::fromStdString(checkReport(login, account.address)),
                 QStringLiteral("Anmeldung nötig für ann@example.org: Prüfen Sie das Konto von "
                                "Hand, um sich erneut anzumelden."));

        // The provider table's notes are written without Qt too; the account editor shows them.
        for (const toppeek::mail::MailProvider& provider : toppeek::mail::mailProviders()) {
            const std::string note(provider.note);
            QVERIFY2(note.empty() ||
                         QCoreApplication::translate("toppeek::mail::Providers", note.c_str()) !=
                             QString::fromStdString(note),
                     note.c_str());
        }

        installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
        removal.refused = 0;
        removal.notReached = 1;
        QCOMPARE(removalReport(removal),
                 std::string("The removal did not end properly (x).\n1 marked message was not "
                             "tried and stays marked in the list."));
    }

    void everyTranslationKeepsTheConversionsOfItsSource() {
        QFile file(QStringLiteral(TOPPEEK_TRANSLATION_SOURCE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader reader(&file);
        QString source;
        int checked = 0;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (reader.name() == QLatin1String("source")) {
                source = reader.readElementText();
            } else if (reader.name() == QLatin1String("translation")) {
                const bool unfinished =
                    reader.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
                // A text with a count has a form for each plural of the language, each checked.
                QStringList forms;
                QString text;
                while (!reader.atEnd() && !(reader.readNext() == QXmlStreamReader::EndElement &&
                                            reader.name() == QLatin1String("translation"))) {
                    if (reader.isStartElement() && reader.name() == QLatin1String("numerusform"))
                        forms << reader.readElementText();
                    else if (reader.isCharacters())
                        text += reader.text();
                }
                if (forms.isEmpty())
                    forms << text;
                for (const QString& translation : forms) {
                    QVERIFY2(!unfinished && !translation.isEmpty(),
                             qPrintable(QStringLiteral("not translated: ") + source));
                    QVERIFY2(conversionsOf(translation) == conversionsOf(source),
                             qPrintable(source + QStringLiteral(" -> ") + translation));
                    ++checked;
                }
            }
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QVERIFY(checked > 100);
    }
};

QTEST_MAIN(TranslationTest)
#include "TranslationTest.moc"
