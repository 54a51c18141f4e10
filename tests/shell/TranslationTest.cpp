// The program in German: the main window, Preferences and a message box follow the translations,
// Qt's own buttons included, and English comes back when asked for. Every translation keeps the
// placeholders and printf conversions of its source, so that no translated box formats its
// arguments wrongly.

#include "shell/Translations.h"

#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
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
            QT_TRANSLATE_NOOP("MsgBox", "Remove the %d marked messages from the server?"), 3);
        QVERIFY(box->fired());
        QCOMPARE(boxText, QStringLiteral("Die 3 markierten Nachrichten vom Server entfernen?"));
        QCOMPARE(yesText, QStringLiteral("&Ja"));

        installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
        toppeek::ui::PreferencesDialog english(window->settings());
        QCOMPARE(english.windowTitle(), QStringLiteral("Preferences"));
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
                const QString translation = reader.readElementText();
                QVERIFY2(!unfinished && !translation.isEmpty(),
                         qPrintable(QStringLiteral("not translated: ") + source));
                QVERIFY2(conversionsOf(translation) == conversionsOf(source),
                         qPrintable(source + QStringLiteral(" -> ") + translation));
                ++checked;
            }
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QVERIFY(checked > 100);
    }
};

QTEST_MAIN(TranslationTest)
#include "TranslationTest.moc"
