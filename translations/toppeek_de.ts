<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CommandLine</name>
    <message>
        <source>Show this help and exit.</source>
        <translation>Diese Hilfe zeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the program&apos;s version and exit.</source>
        <translation>Die Version des Programms zeigen und beenden.</translation>
    </message>
    <message>
        <source>Keep the settings, filters and the record of seen messages in &lt;folder&gt; (made when missing), for example to keep several profiles apart.</source>
        <translation>Einstellungen, Filter und die Liste gesehener Nachrichten in &lt;Ordner&gt; ablegen (wird angelegt, wenn er fehlt), etwa um mehrere Profile getrennt zu halten.</translation>
    </message>
    <message>
        <source>folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Look at the mail waiting on a POP3 server and delete the spam before downloading it.</source>
        <translation>Die auf einem POP3-Server wartende Post ansehen und Spam vor dem Herunterladen löschen.</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>Unerwartetes Argument „%1“.</translation>
    </message>
    <message>
        <source>The option &apos;--settings-dir&apos; needs a folder.</source>
        <translation>Die Option „--settings-dir“ braucht einen Ordner.</translation>
    </message>
    <message>
        <source>The folder %1 cannot be made.</source>
        <translation>Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 ist kein Ordner.</translation>
    </message>
    <message>
        <source>The folder %1 is not writable.</source>
        <translation>In den Ordner %1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>The path of the folder %1 is too long.</source>
        <translation>Der Pfad des Ordners %1 ist zu lang.</translation>
    </message>
    <message>
        <source>Try &apos;toppeek --help&apos; for the options.</source>
        <translation>„toppeek --help“ zeigt die Optionen.</translation>
    </message>
    <message>
        <source>no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)</source>
        <translation>keine Anzeige für das Fenster (weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt)</translation>
    </message>
</context>
<context>
    <name>MsgBox</name>
    <message>
        <source>Do you want to stop talking to the mail server?</source>
        <translation>Möchten Sie die Verbindung zum Mailserver abbrechen?</translation>
    </message>
    <message>
        <source>Please enter the e-mail address of the account. It also names the account in the list.</source>
        <translation>Bitte geben Sie die E-Mail-Adresse des Kontos ein. Sie benennt das Konto auch in der Liste.</translation>
    </message>
    <message>
        <source>This is not a valid e-mail address. Please enter a complete address, such as name@example.com.</source>
        <translation>Das ist keine gültige E-Mail-Adresse. Bitte geben Sie eine vollständige Adresse ein, etwa name@example.com.</translation>
    </message>
    <message>
        <source>The %s cannot be sent to a POP3 server: it must not contain a line break and must not be longer than %d characters.</source>
        <translation>Der Wert „%s“ kann nicht an einen POP3-Server gesendet werden: Er darf keinen Zeilenumbruch enthalten und höchstens %d Zeichen lang sein.</translation>
    </message>
    <message>
        <source>The port must be a number from 1 to 65535. Each security choice fills in its usual port: %d for None and STARTTLS, %d for SSL/TLS.</source>
        <translation>Der Port muss eine Zahl von 1 bis 65535 sein. Jede Sicherheitswahl setzt ihren üblichen Port ein: %d für Keine und STARTTLS, %d für SSL/TLS.</translation>
    </message>
    <message>
        <source>The host address is too long: an account keeps at most %d characters of it, security and port included.</source>
        <translation>Die Host-Adresse ist zu lang: Ein Konto speichert höchstens %d Zeichen davon, Sicherheit und Port eingeschlossen.</translation>
    </message>
    <message>
        <source>%d messages are marked for deletion.
Remove them from the server now?</source>
        <translation>%d Nachrichten sind zum Löschen markiert.
Jetzt vom Server entfernen?</translation>
    </message>
    <message>
        <source>The headers of the listed messages are in %s.</source>
        <translation>Die Köpfe der aufgelisteten Nachrichten stehen in %s.</translation>
    </message>
    <message>
        <source>Could not write the header listing file %s.</source>
        <translation>Die Datei %s mit den Nachrichtenköpfen konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>No message is selected.</source>
        <translation>Keine Nachricht ist ausgewählt.</translation>
    </message>
    <message>
        <source>Every message is addressed to its account: %s.</source>
        <translation>Jede Nachricht ist an ihr Konto adressiert: %s.</translation>
    </message>
    <message>
        <source>Every message is addressed to %s.</source>
        <translation>Jede Nachricht ist an %s adressiert.</translation>
    </message>
    <message>
        <source>No message is marked for deletion.</source>
        <translation>Keine Nachricht ist zum Löschen markiert.</translation>
    </message>
    <message>
        <source>Remove the %d marked messages from the server?</source>
        <translation>Die %d markierten Nachrichten vom Server entfernen?</translation>
    </message>
    <message>
        <source>Could not save the filters to %s.
They stay in force until the program ends.</source>
        <translation>Die Filter konnten nicht in %s gespeichert werden.
Sie gelten weiter, bis das Programm endet.</translation>
    </message>
    <message>
        <source>Could not save the settings to %s.</source>
        <translation>Die Einstellungen konnten nicht in %s gespeichert werden.</translation>
    </message>
    <message>
        <source>TopPeek keeps checking for new mail while its window is closed. Its icon in the system tray brings the window back; &quot;Quit&quot; in the icon&apos;s menu ends the program.</source>
        <translation>TopPeek prüft weiter auf neue Post, während sein Fenster geschlossen ist. Sein Symbol im Systembereich holt das Fenster zurück; „Beenden“ im Menü des Symbols beendet das Programm.</translation>
    </message>
    <message>
        <source>The domain &quot;%s&quot; is already in the list.</source>
        <translation>Die Domäne „%s“ steht schon in der Liste.</translation>
    </message>
    <message>
        <source>No web browser could be started to show

%s

Copy the address into your browser to read the page.</source>
        <translation>Es konnte kein Webbrowser gestartet werden, um

%s

anzuzeigen. Kopieren Sie die Adresse in Ihren Browser, um die Seite zu lesen.</translation>
    </message>
</context>
<context>
    <name>toppeek::dialogs::ProgressDialog</name>
    <message>
        <source>Processing</source>
        <translation>Verarbeitung</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>toppeek::shell::AboutBox</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>%1 %2

Checks your POP3 mailboxes:
reads the headers on the server,
marks spam with your filters,
and deletes it before your mail
program downloads it.

Press F1 for the user guide.

%3</source>
        <translation>%1 %2

Prüft Ihre POP3-Postfächer:
liest die Nachrichtenköpfe auf dem Server,
markiert Spam mit Ihren Filtern
und löscht ihn, bevor Ihr Mailprogramm
ihn herunterlädt.

F1 öffnet das Benutzerhandbuch.

%3</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
</context>
<context>
    <name>toppeek::shell::HelpWindow</name>
    <message>
        <source>&lt;h1&gt;The user guide is missing&lt;/h1&gt;&lt;p&gt;%1 looks for its guide in the folder&lt;/p&gt;&lt;p&gt;&lt;tt&gt;%2&lt;/tt&gt;&lt;/p&gt;&lt;p&gt;but finds no &lt;tt&gt;%3&lt;/tt&gt; there. Install the program together with its help folder, or read the guide online from the Help menu&apos;s &lt;i&gt;Online Help...&lt;/i&gt;&lt;/p&gt;</source>
        <translation>&lt;h1&gt;Das Benutzerhandbuch fehlt&lt;/h1&gt;&lt;p&gt;%1 sucht sein Handbuch im Ordner&lt;/p&gt;&lt;p&gt;&lt;tt&gt;%2&lt;/tt&gt;&lt;/p&gt;&lt;p&gt;findet dort aber kein &lt;tt&gt;%3&lt;/tt&gt;. Installieren Sie das Programm zusammen mit seinem Hilfeordner, oder lesen Sie das Handbuch online über &lt;i&gt;Online-Hilfe...&lt;/i&gt; im Menü Hilfe.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>%1 Help</source>
        <translation>%1-Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;Back</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Seite</translation>
    </message>
</context>
<context>
    <name>toppeek::shell::StartupNotice</name>
    <message>
        <source>Please Wait</source>
        <translation>Bitte warten</translation>
    </message>
    <message>
        <source>%1 is starting. Please wait...</source>
        <translation>%1 startet. Bitte warten...</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::AccountEditor</name>
    <message>
        <source>Account Information</source>
        <translation>Kontoinformationen</translation>
    </message>
    <message>
        <source>Email Address:</source>
        <translation>E-Mail-Adresse:</translation>
    </message>
    <message>
        <source>Host Address:</source>
        <translation>Host-Adresse:</translation>
    </message>
    <message>
        <source>Security:</source>
        <translation>Sicherheit:</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>UserName:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Add Account</source>
        <translation>Konto hinzufügen</translation>
    </message>
    <message>
        <source>Edit Account</source>
        <translation>Konto bearbeiten</translation>
    </message>
    <message>
        <source>(kept in the keyring)</source>
        <translation>(im Schlüsselbund gespeichert)</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::BackgroundProgress</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop the check</source>
        <translation>Die Prüfung anhalten</translation>
    </message>
    <message>
        <source>Checking for new mail...</source>
        <translation>Suche nach neuer Post...</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::DomainListPage</name>
    <message>
        <source>Domains</source>
        <translation>Domänen</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::FilterEditor</name>
    <message>
        <source>Add Rule</source>
        <translation>Regel hinzufügen</translation>
    </message>
    <message>
        <source>Edit Rule</source>
        <translation>Regel bearbeiten</translation>
    </message>
    <message>
        <source>Enable Banned Domains</source>
        <translation>Gesperrte Domänen aktivieren</translation>
    </message>
    <message>
        <source>Add Banned Domain</source>
        <translation>Gesperrte Domäne hinzufügen</translation>
    </message>
    <message>
        <source>Edit Banned Domain</source>
        <translation>Gesperrte Domäne bearbeiten</translation>
    </message>
    <message>
        <source>Enable Friendly Domains</source>
        <translation>Befreundete Domänen aktivieren</translation>
    </message>
    <message>
        <source>Add Friendly Domain</source>
        <translation>Befreundete Domäne hinzufügen</translation>
    </message>
    <message>
        <source>Edit Friendly Domain</source>
        <translation>Befreundete Domäne bearbeiten</translation>
    </message>
    <message>
        <source>From contains: </source>
        <translation>Von enthält: </translation>
    </message>
    <message>
        <source>Subject contains: </source>
        <translation>Betreff enthält: </translation>
    </message>
    <message>
        <source>Headers contain: </source>
        <translation>Kopfzeilen enthalten: </translation>
    </message>
    <message>
        <source> (inactive)</source>
        <translation> (inaktiv)</translation>
    </message>
    <message>
        <source>Edit Filters</source>
        <translation>Filter bearbeiten</translation>
    </message>
    <message>
        <source>Rules</source>
        <translation>Regeln</translation>
    </message>
    <message>
        <source>Banned domains</source>
        <translation>Gesperrte Domänen</translation>
    </message>
    <message>
        <source>Friendly domains</source>
        <translation>Befreundete Domänen</translation>
    </message>
    <message>
        <source>Rule</source>
        <translation>Regel</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Enable Rejection Rules</source>
        <translation>Ablehnungsregeln aktivieren</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::MainWindow</name>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>All accounts</source>
        <translation>Alle Konten</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Connect to server and get messages</source>
        <translation>Mit dem Server verbinden und die Nachrichten holen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Close conection</source>
        <translation>Verbindung trennen</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Ansehen</translation>
    </message>
    <message>
        <source>View Email message</source>
        <translation>E-Mail-Nachricht ansehen</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Markieren</translation>
    </message>
    <message>
        <source>Mark/Unmark for delete</source>
        <translation>Zum Löschen markieren oder die Markierung aufheben</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Delete marked messages.</source>
        <translation>Markierte Nachrichten löschen.</translation>
    </message>
    <message>
        <source>options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>For Help Press F1</source>
        <translation>Hilfe mit F1</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open Connection</source>
        <translation>Verbindung ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Close Connection</source>
        <translation>Verbindung &amp;trennen</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;View Email</source>
        <translation>E-Mail &amp;ansehen</translation>
    </message>
    <message>
        <source>View &amp;Headers</source>
        <translation>&amp;Kopfzeilen ansehen</translation>
    </message>
    <message>
        <source>&amp;Print Headers...</source>
        <translation>Kopfzeilen &amp;drucken...</translation>
    </message>
    <message>
        <source>&amp;Mark/Unmark for Delete</source>
        <translation>Zum Löschen &amp;markieren/freigeben</translation>
    </message>
    <message>
        <source>Mark &amp;No Addressed Messages</source>
        <translation>&amp;Nicht adressierte Nachrichten markieren</translation>
    </message>
    <message>
        <source>&amp;Remove Marked Messages</source>
        <translation>Markierte Nachrichten &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Select Group</source>
        <translation>Gruppe a&amp;uswählen</translation>
    </message>
    <message>
        <source>&amp;Unselect Group</source>
        <translation>Gruppe ab&amp;wählen</translation>
    </message>
    <message>
        <source>&amp;Apply Filters to Current Messages</source>
        <translation>Filter auf aktuelle Nachrichten an&amp;wenden</translation>
    </message>
    <message>
        <source>&amp;Edit Filters</source>
        <translation>Filter &amp;bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Preferences</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Large Icons</source>
        <translation>&amp;Große Symbole</translation>
    </message>
    <message>
        <source>&amp;Small Icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>&amp;List</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>&amp;Arrange Icons</source>
        <translation>Symbole &amp;anordnen</translation>
    </message>
    <message>
        <source>By &amp;To:</source>
        <translation>Nach &amp;An:</translation>
    </message>
    <message>
        <source>By &amp;From:</source>
        <translation>Nach &amp;Von:</translation>
    </message>
    <message>
        <source>By &amp;Size</source>
        <translation>Nach &amp;Größe</translation>
    </message>
    <message>
        <source>By &amp;Position</source>
        <translation>Nach &amp;Position</translation>
    </message>
    <message>
        <source>By S&amp;ubject</source>
        <translation>Nach &amp;Betreff</translation>
    </message>
    <message>
        <source>View &amp;Toolbar</source>
        <translation>&amp;Werkzeugleiste anzeigen</translation>
    </message>
    <message>
        <source>View &amp;Status bar</source>
        <translation>&amp;Statusleiste anzeigen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>&amp;Index</source>
        <translation>&amp;Index</translation>
    </message>
    <message>
        <source>Online Help...</source>
        <translation>Online-Hilfe...</translation>
    </message>
    <message>
        <source>&amp;Program home page</source>
        <translation>&amp;Homepage des Programms</translation>
    </message>
    <message>
        <source>&amp;Author home Page</source>
        <translation>Homepage des &amp;Autors</translation>
    </message>
    <message>
        <source>&amp;About ...</source>
        <translation>Ü&amp;ber ...</translation>
    </message>
    <message>
        <source>&amp;View Message</source>
        <translation>Nachricht &amp;ansehen</translation>
    </message>
    <message>
        <source>&amp;Mark/Unmark for delete</source>
        <translation>Zum Löschen &amp;markieren/freigeben</translation>
    </message>
    <message>
        <source>&amp;Remove marked messages</source>
        <translation>Markierte Nachrichten &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Apply Filters</source>
        <translation>Filter an&amp;wenden</translation>
    </message>
    <message>
        <source>Mark &amp;Group by Text...</source>
        <translation>&amp;Gruppe nach Text markieren...</translation>
    </message>
    <message>
        <source>&amp;Unmark Group by Text...</source>
        <translation>Markierung einer Gruppe nach Text a&amp;ufheben...</translation>
    </message>
    <message>
        <source>Messages: %1 of %2 (%3)</source>
        <translation>Nachrichten: %1 von %2 (%3)</translation>
    </message>
    <message>
        <source>Messages: %1 (%2)</source>
        <translation>Nachrichten: %1 (%2)</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Message headers</source>
        <translation>Nachrichtenköpfe</translation>
    </message>
    <message>
        <source>Mark Group</source>
        <translation>Gruppe markieren</translation>
    </message>
    <message>
        <source>Mark messages whose sender or subject has (* as a wildcard):</source>
        <translation>Nachrichten markieren, deren Absender oder Betreff enthält (* als Platzhalter):</translation>
    </message>
    <message>
        <source>Unmark Group</source>
        <translation>Markierung der Gruppe aufheben</translation>
    </message>
    <message>
        <source>Filters</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>Waiting for the desktop&apos;s keyring...</source>
        <translation>Warte auf den Schlüsselbund des Desktops...</translation>
    </message>
    <message>
        <source>No automatic check while messages are marked for deletion.</source>
        <translation>Keine automatische Prüfung, solange Nachrichten zum Löschen markiert sind.</translation>
    </message>
    <message>
        <source>No new mail (checked at %1).</source>
        <translation>Keine neue Post (geprüft um %1).</translation>
    </message>
    <message>
        <source>1 new message (checked at %1).</source>
        <translation>1 neue Nachricht (geprüft um %1).</translation>
    </message>
    <message>
        <source>%1 new messages (checked at %2).</source>
        <translation>%1 neue Nachrichten (geprüft um %2).</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::MessageListView</name>
    <message>
        <source>Messages</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <source>The first cell of each row says whether the message is marked for deletion, and why.</source>
        <translation>Die erste Zelle jeder Zeile sagt, ob die Nachricht zum Löschen markiert ist, und warum.</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::MessageTableModel</name>
    <message>
        <source>Marked for deletion</source>
        <translation>Zum Löschen markiert</translation>
    </message>
    <message>
        <source>Not marked</source>
        <translation>Nicht markiert</translation>
    </message>
    <message>
        <source>new</source>
        <translation>neu</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::MessageViewer</name>
    <message>
        <source>View Message</source>
        <translation>Nachricht ansehen</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Nachrichtentext</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Show &amp;raw lines</source>
        <translation>&amp;Rohe Zeilen zeigen</translation>
    </message>
    <message>
        <source>The lines as the server sent them, encodings and all</source>
        <translation>Die Zeilen, wie der Server sie gesendet hat, mit allen Kodierungen</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::OkCancelRow</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::PreferencesDialog</name>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>POP3 Accounts</source>
        <translation>POP3-Konten</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Accounts</source>
        <translation>Konten</translation>
    </message>
    <message>
        <source>Show About box at startup</source>
        <translation>Info-Fenster beim Start zeigen</translation>
    </message>
    <message>
        <source>Lines of message to display:</source>
        <translation>Angezeigte Zeilen einer Nachricht:</translation>
    </message>
    <message>
        <source>Max Messages to retrieve:</source>
        <translation>Höchstens abzurufende Nachrichten:</translation>
    </message>
    <message>
        <source>Use APOP (secure) Authentication when possible</source>
        <translation>APOP-Anmeldung (sicher) verwenden, wenn möglich</translation>
    </message>
    <message>
        <source>Check every</source>
        <translation>Prüfen alle</translation>
    </message>
    <message>
        <source> minutes</source>
        <translation> Minuten</translation>
    </message>
    <message>
        <source>Checks the mailbox in the background; 0 never</source>
        <translation>Prüft das Postfach im Hintergrund; 0 nie</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::RuleEditor</name>
    <message>
        <source>Sender&apos;s email address or domain contains:</source>
        <translation>E-Mail-Adresse oder Domäne des Absenders enthält:</translation>
    </message>
    <message>
        <source>Subject contains:</source>
        <translation>Betreff enthält:</translation>
    </message>
    <message>
        <source>Header block contains:</source>
        <translation>Nachrichtenkopf enthält:</translation>
    </message>
    <message>
        <source>Rules</source>
        <translation>Regeln</translation>
    </message>
    <message>
        <source>Condition</source>
        <translation>Bedingung</translation>
    </message>
    <message>
        <source>From email address or domain</source>
        <translation>Von E-Mail-Adresse oder Domäne</translation>
    </message>
    <message>
        <source>Subject includes</source>
        <translation>Betreff enthält</translation>
    </message>
    <message>
        <source>Headers includes</source>
        <translation>Kopfzeilen enthalten</translation>
    </message>
    <message>
        <source>Enter email address / domain</source>
        <translation>E-Mail-Adresse / Domäne eingeben</translation>
    </message>
    <message>
        <source>Email address or domain</source>
        <translation>E-Mail-Adresse oder Domäne</translation>
    </message>
    <message>
        <source>Text the subject includes</source>
        <translation>Text im Betreff</translation>
    </message>
    <message>
        <source>Text the headers include</source>
        <translation>Text in den Kopfzeilen</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::TextPrompt</name>
    <message>
        <source>Domain (the part of the address after the @):</source>
        <translation>Domäne (der Teil der Adresse nach dem @):</translation>
    </message>
    <message>
        <source>O&amp;K</source>
        <translation>O&amp;K</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::TrayIcon</name>
    <message>
        <source>Check now</source>
        <translation>Jetzt prüfen</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Zeigen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>
1 message waiting</source>
        <translation>
1 Nachricht wartet</translation>
    </message>
    <message>
        <source>
%1 messages waiting</source>
        <translation>
%1 Nachrichten warten</translation>
    </message>
    <message>
        <source>, %1 marked</source>
        <translation>, %1 markiert</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::UpDownArrows</name>
    <message>
        <source>Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Nach unten</translation>
    </message>
</context>
</TS>
