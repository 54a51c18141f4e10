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
    <message>
        <source>Please enter the complete e-mail address first, such as name@example.com: the settings are found from its domain.</source>
        <translation>Bitte geben Sie zuerst die vollständige E-Mail-Adresse ein, etwa name@example.com: Die Einstellungen werden anhand ihrer Domäne gesucht.</translation>
    </message>
    <message>
        <source>Please enter the host address of the server first, or use Find settings.</source>
        <translation>Bitte geben Sie zuerst die Host-Adresse des Servers ein, oder verwenden Sie „Einstellungen suchen“.</translation>
    </message>
    <message>
        <source>Please enter the password: the test logs in with it.</source>
        <translation>Bitte geben Sie das Passwort ein: Der Test meldet sich damit an.</translation>
    </message>
    <message>
        <source>A newer version of TopPeek is available.

Do you want to open the program&apos;s home page to download it?</source>
        <translation>Eine neuere Version von TopPeek ist erschienen.

Möchten Sie die Homepage des Programms öffnen, um sie herunterzuladen?</translation>
    </message>
    <message>
        <source>The client ID, the client secret and the URLs cannot contain spaces or &quot;=&quot;. Please check that each was copied whole and alone.</source>
        <translation>Client-ID, Client-Geheimnis und URLs dürfen keine Leerzeichen und kein &quot;=&quot; enthalten. Bitte prüfen Sie, ob jedes vollständig und für sich allein kopiert wurde.</translation>
    </message>
    <message>
        <source>TopPeek cannot keep the OAuth2 sign-in of this account: the space the settings file has for sign-ins and other account options is full. Shorter texts (client ID, client secret, URLs, scope) may fit; otherwise remove an OAuth2 account or a trusted certificate you no longer need, or sign in with a password.</source>
        <translation>TopPeek kann die OAuth2-Anmeldung dieses Kontos nicht speichern: Der Platz, den die Einstellungsdatei für Anmeldungen und andere Kontooptionen hat, ist voll. Kürzere Texte (Client-ID, Client-Geheimnis, URLs, Bereich) passen vielleicht; andernfalls entfernen Sie ein OAuth2-Konto oder ein vertrautes Zertifikat, das Sie nicht mehr brauchen, oder melden Sie sich mit einem Passwort an.</translation>
    </message>
    <message>
        <source>Please enter the client ID that the provider gave your registration of TopPeek. The help page &quot;Signing in with OAuth2&quot; says how to get one.</source>
        <translation>Bitte geben Sie die Client-ID ein, die der Anbieter Ihrer Registrierung von TopPeek gegeben hat. Die Hilfeseite &quot;Signing in with OAuth2&quot; erklärt, wie Sie eine bekommen.</translation>
    </message>
    <message>
        <source>Please enter the provider&apos;s authorization and token URLs, or its issuer and press Find.</source>
        <translation>Bitte geben Sie die Autorisierungs- und Token-URL des Anbieters ein oder seinen Aussteller und drücken Sie Suchen.</translation>
    </message>
    <message>
        <source>Could not sign in to %s.
%s</source>
        <translation>Die Anmeldung bei %s ist fehlgeschlagen.
%s</translation>
    </message>
</context>
<context>
    <name>toppeek::checker::Checker</name>
    <message>
        <source>One account could not be read in full:</source>
        <translation>Ein Konto konnte nicht vollständig gelesen werden:</translation>
    </message>
    <message>
        <source>Some accounts could not be read in full:</source>
        <translation>Einige Konten konnten nicht vollständig gelesen werden:</translation>
    </message>
    <message>
        <source>The removal did not go as asked everywhere:</source>
        <translation>Das Entfernen ist nicht überall wie gewünscht verlaufen:</translation>
    </message>
    <message>
        <source>Could not save the seen messages to %1: the next check shows them as new again.</source>
        <translation>Die gesehenen Nachrichten konnten nicht in %1 gespeichert werden: Die nächste Prüfung zeigt sie wieder als neu.</translation>
    </message>
    <message>
        <source>The check for new mail was cancelled.</source>
        <translation>Die Prüfung auf neue Post wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Could not check the mailbox of %1 for new mail: %2.</source>
        <translation>Das Postfach von %1 konnte nicht auf neue Post geprüft werden: %2.</translation>
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
    <name>toppeek::discovery::SearchWords</name>
    <message>
        <source>Looking in the provider table…</source>
        <translation>Suche in der Anbietertabelle…</translation>
    </message>
    <message>
        <source>found in the provider table (%1)</source>
        <translation>in der Anbietertabelle gefunden (%1)</translation>
    </message>
    <message>
        <source>Asking %1 for the domain&apos;s autoconfig…</source>
        <translation>Frage %1 nach der Autoconfig der Domäne…</translation>
    </message>
    <message>
        <source>from the domain&apos;s autoconfig (%1)</source>
        <translation>aus der Autoconfig der Domäne (%1)</translation>
    </message>
    <message>
        <source>Looking up the DNS records of %1…</source>
        <translation>Frage die DNS-Einträge von %1 ab…</translation>
    </message>
    <message>
        <source>from DNS (%1)</source>
        <translation>aus dem DNS (%1)</translation>
    </message>
    <message>
        <source>from DNS: the domain&apos;s mail goes to %1 (MX %2)</source>
        <translation>aus dem DNS: Die Post der Domäne geht an %1 (MX %2)</translation>
    </message>
    <message>
        <source>Trying %1, %2 and %3…</source>
        <translation>Versuche %1, %2 und %3…</translation>
    </message>
    <message>
        <source>This server offers no secure connection: the password would travel in clear.</source>
        <translation>Dieser Server bietet keine gesicherte Verbindung an: Das Passwort würde im Klartext übertragen.</translation>
    </message>
    <message>
        <source>by trying %1</source>
        <translation>durch Ausprobieren von %1</translation>
    </message>
    <message>
        <source>the address has no domain</source>
        <translation>die Adresse hat keine Domäne</translation>
    </message>
</context>
<context>
    <name>toppeek::discovery::TestWords</name>
    <message>
        <source>The test was cancelled.</source>
        <translation>Der Test wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Looking up %1…</source>
        <translation>Suche die Adresse von %1…</translation>
    </message>
    <message>
        <source>The name %1 is not known to DNS.</source>
        <translation>Der Name %1 ist im DNS nicht bekannt.</translation>
    </message>
    <message>
        <source>Check the spelling of the host address, or use Find settings.</source>
        <translation>Prüfen Sie die Schreibweise der Host-Adresse, oder verwenden Sie „Einstellungen suchen“.</translation>
    </message>
    <message>
        <source>Connecting to %1, port %2…</source>
        <translation>Verbinde mit %1, Port %2…</translation>
    </message>
    <message>
        <source>Nothing answered on port %1: a firewall may drop the connection, or the port is wrong.</source>
        <translation>Auf Port %1 hat nichts geantwortet: Vielleicht verwirft eine Firewall die Verbindung, oder der Port ist falsch.</translation>
    </message>
    <message>
        <source>The server refused the connection on port %1: nothing listens there.</source>
        <translation>Der Server hat die Verbindung auf Port %1 abgelehnt: Dort wartet kein Dienst.</translation>
    </message>
    <message>
        <source>POP3 over TLS (SSL/TLS) is usually on port 995; STARTTLS and None on port 110.</source>
        <translation>POP3 über TLS (SSL/TLS) liegt meist auf Port 995, STARTTLS und „Keine“ auf Port 110.</translation>
    </message>
    <message>
        <source>No connection could be made to %1 on port %2.</source>
        <translation>Es konnte keine Verbindung zu %1 auf Port %2 hergestellt werden.</translation>
    </message>
    <message>
        <source>Securing the connection…</source>
        <translation>Sichere die Verbindung…</translation>
    </message>
    <message>
        <source>The server does not speak TLS on port %1: choose STARTTLS on port 110, or check the port.</source>
        <translation>Der Server spricht auf Port %1 kein TLS: Wählen Sie STARTTLS auf Port 110, oder prüfen Sie den Port.</translation>
    </message>
    <message>
        <source>the server broke off.</source>
        <translation>Der Server hat die Verbindung abgebrochen.</translation>
    </message>
    <message>
        <source>The connection could not be secured after STLS: %1</source>
        <translation>Die Verbindung konnte nach STLS nicht gesichert werden: %1</translation>
    </message>
    <message>
        <source>The connection could not be secured from its start: %1</source>
        <translation>Die Verbindung konnte nicht von Beginn an gesichert werden: %1</translation>
    </message>
    <message>
        <source>The certificate is for %1: use that host name.</source>
        <translation>Das Zertifikat gilt für %1: Verwenden Sie diesen Host-Namen.</translation>
    </message>
    <message>
        <source>The certificate is for %1: use one of those names.</source>
        <translation>Das Zertifikat gilt für %1: Verwenden Sie einen dieser Namen.</translation>
    </message>
    <message>
        <source>The certificate has expired: the provider must renew it.</source>
        <translation>Das Zertifikat ist abgelaufen: Der Anbieter muss es erneuern.</translation>
    </message>
    <message>
        <source>The certificate comes from an authority this computer does not trust: ask the provider which certificate authority to install.</source>
        <translation>Das Zertifikat stammt von einer Stelle, der dieser Computer nicht vertraut: Fragen Sie den Anbieter, welche Zertifizierungsstelle Sie installieren sollen.</translation>
    </message>
    <message>
        <source>The password was not sent.</source>
        <translation>Das Passwort wurde nicht gesendet.</translation>
    </message>
    <message>
        <source>The server&apos;s certificate is not trusted. %1</source>
        <translation>Dem Zertifikat des Servers wird nicht vertraut. %1</translation>
    </message>
    <message>
        <source>The server refused the connection: %1</source>
        <translation>Der Server hat die Verbindung abgelehnt: %1</translation>
    </message>
    <message>
        <source>The server sent no POP3 greeting (it stayed silent).</source>
        <translation>Der Server hat keine POP3-Begrüßung gesendet (er blieb stumm).</translation>
    </message>
    <message>
        <source>The server sent no POP3 greeting.</source>
        <translation>Der Server hat keine POP3-Begrüßung gesendet.</translation>
    </message>
    <message>
        <source>Check that this is the POP3 server and port: POP3 over TLS (SSL/TLS) is usually on port 995, STARTTLS and None on port 110.</source>
        <translation>Prüfen Sie, ob dies der POP3-Server und sein Port ist: POP3 über TLS (SSL/TLS) liegt meist auf Port 995, STARTTLS und „Keine“ auf Port 110.</translation>
    </message>
    <message>
        <source>The server stopped answering after its greeting.</source>
        <translation>Der Server hat nach seiner Begrüßung nicht mehr geantwortet.</translation>
    </message>
    <message>
        <source>The server refuses STLS.</source>
        <translation>Der Server lehnt STLS ab.</translation>
    </message>
    <message>
        <source>The server refuses STLS: it does not offer it.</source>
        <translation>Der Server lehnt STLS ab: Er bietet es nicht an.</translation>
    </message>
    <message>
        <source>Choose SSL/TLS on port 995, which secures the connection from its start.</source>
        <translation>Wählen Sie SSL/TLS auf Port 995, das die Verbindung von Beginn an sichert.</translation>
    </message>
    <message>
        <source>The server stopped answering after STLS.</source>
        <translation>Der Server hat nach STLS nicht mehr geantwortet.</translation>
    </message>
    <message>
        <source>The user name or password cannot be sent to a POP3 server.</source>
        <translation>Der Benutzername oder das Passwort kann nicht an einen POP3-Server gesendet werden.</translation>
    </message>
    <message>
        <source>Logging in as %1…</source>
        <translation>Melde mich als %1 an…</translation>
    </message>
    <message>
        <source>The server stopped answering during the log-in.</source>
        <translation>Der Server hat während der Anmeldung nicht mehr geantwortet.</translation>
    </message>
    <message>
        <source>Check the user name and the password.</source>
        <translation>Prüfen Sie den Benutzernamen und das Passwort.</translation>
    </message>
    <message>
        <source>Many providers want the whole e-mail address as the user name.</source>
        <translation>Viele Anbieter verlangen die ganze E-Mail-Adresse als Benutzernamen.</translation>
    </message>
    <message>
        <source>Some providers take only an app password made in their web settings, or need POP3 switched on there first.</source>
        <translation>Manche Anbieter nehmen nur ein App-Passwort an, das in ihren Web-Einstellungen erzeugt wird, oder POP3 muss dort erst eingeschaltet werden.</translation>
    </message>
    <message>
        <source>The server does not list USER among its capabilities: it may take only a SASL sign-in.</source>
        <translation>Der Server führt USER nicht unter seinen Fähigkeiten: Vielleicht nimmt er nur eine SASL-Anmeldung an.</translation>
    </message>
    <message>
        <source>The server refused the log-in.</source>
        <translation>Der Server hat die Anmeldung abgelehnt.</translation>
    </message>
    <message>
        <source>The server refused the log-in: %1</source>
        <translation>Der Server hat die Anmeldung abgelehnt: %1</translation>
    </message>
    <message>
        <source>The host address cannot be used.</source>
        <translation>Die Host-Adresse ist nicht verwendbar.</translation>
    </message>
    <message>
        <source>Enter the server&apos;s name alone, such as pop.example.com, or use Find settings.</source>
        <translation>Geben Sie nur den Namen des Servers ein, etwa pop.example.com, oder verwenden Sie „Einstellungen suchen“.</translation>
    </message>
    <message>
        <source>The server offers STLS: choose STARTTLS so that the password does not travel in clear.</source>
        <translation>Der Server bietet STLS an: Wählen Sie STARTTLS, damit das Passwort nicht im Klartext übertragen wird.</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Server: %1, port %2, %3</source>
        <translation>Server: %1, Port %2, %3</translation>
    </message>
    <message>
        <source>Addresses: %1</source>
        <translation>Adressen: %1</translation>
    </message>
    <message>
        <source>Connected to: %1</source>
        <translation>Verbunden mit: %1</translation>
    </message>
    <message>
        <source>Greeting: %1</source>
        <translation>Begrüßung: %1</translation>
    </message>
    <message>
        <source>TLS: %1, %2</source>
        <translation>TLS: %1, %2</translation>
    </message>
    <message>
        <source>Certificate: %1</source>
        <translation>Zertifikat: %1</translation>
    </message>
    <message>
        <source>issued by: %1</source>
        <translation>ausgestellt von: %1</translation>
    </message>
    <message>
        <source>valid until: %1 (expired)</source>
        <translation>gültig bis: %1 (abgelaufen)</translation>
    </message>
    <message>
        <source>valid until: %1</source>
        <translation>gültig bis: %1</translation>
    </message>
    <message>
        <source>for: %1</source>
        <translation>für: %1</translation>
    </message>
    <message>
        <source>trusted: yes</source>
        <translation>vertrauenswürdig: ja</translation>
    </message>
    <message>
        <source>trusted: no.%1</source>
        <translation>vertrauenswürdig: nein.%1</translation>
    </message>
    <message>
        <source>Capabilities: TOP %1, UIDL %2, PIPELINING %3, SASL %4</source>
        <translation>Fähigkeiten: TOP %1, UIDL %2, PIPELINING %3, SASL %4</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>Capabilities: the server does not list them (no CAPA)</source>
        <translation>Fähigkeiten: Der Server nennt sie nicht (kein CAPA)</translation>
    </message>
    <message>
        <source>Log-in: accepted</source>
        <translation>Anmeldung: angenommen</translation>
    </message>
    <message>
        <source>Messages waiting: %1 (%2 bytes)</source>
        <translation>Wartende Nachrichten: %1 (%2 Bytes)</translation>
    </message>
    <message>
        <source>Log-in: refused</source>
        <translation>Anmeldung: abgelehnt</translation>
    </message>
    <message>
        <source>Log-in: refused (%1)</source>
        <translation>Anmeldung: abgelehnt (%1)</translation>
    </message>
    <message>
        <source>Log-in: not tried</source>
        <translation>Anmeldung: nicht versucht</translation>
    </message>
    <message>
        <source>Result: the account works.</source>
        <translation>Ergebnis: Das Konto funktioniert.</translation>
    </message>
    <message>
        <source>Result: %1</source>
        <translation>Ergebnis: %1</translation>
    </message>
    <message>
        <source>What to try:</source>
        <translation>Was Sie versuchen können:</translation>
    </message>
</context>
<context>
    <name>toppeek::mail::Providers</name>
    <message>
        <source>Google signs in with OAuth2, or with an app password when two-step verification is on. POP must be switched on in Gmail&apos;s settings (Forwarding and POP/IMAP).</source>
        <translation>Google meldet mit OAuth2 an oder mit einem App-Passwort, wenn die Bestätigung in zwei Schritten aktiv ist. POP muss in den Einstellungen von Gmail eingeschaltet sein (Weiterleitung und POP/IMAP).</translation>
    </message>
    <message>
        <source>Microsoft takes only OAuth2 sign-in for POP3; POP must be allowed in Outlook&apos;s settings (Forwarding and IMAP).</source>
        <translation>Microsoft nimmt für POP3 nur die Anmeldung mit OAuth2 an; POP muss in den Einstellungen von Outlook erlaubt sein (Weiterleitung und IMAP).</translation>
    </message>
    <message>
        <source>Yahoo needs an app password, made in the account&apos;s security settings.</source>
        <translation>Yahoo braucht ein App-Passwort, das in den Sicherheitseinstellungen des Kontos erstellt wird.</translation>
    </message>
    <message>
        <source>AOL needs an app password, made in the account&apos;s security settings.</source>
        <translation>AOL braucht ein App-Passwort, das in den Sicherheitseinstellungen des Kontos erstellt wird.</translation>
    </message>
    <message>
        <source>POP3 must be switched on in GMX&apos;s settings (POP3 &amp; IMAP) first.</source>
        <translation>POP3 muss zuerst in den Einstellungen von GMX eingeschaltet werden (POP3 &amp; IMAP).</translation>
    </message>
    <message>
        <source>POP3 must be switched on in GMX&apos;s settings first.</source>
        <translation>POP3 muss zuerst in den Einstellungen von GMX eingeschaltet werden.</translation>
    </message>
    <message>
        <source>POP3 must be switched on in WEB.DE&apos;s settings (POP3/IMAP) first.</source>
        <translation>POP3 muss zuerst in den Einstellungen von WEB.DE eingeschaltet werden (POP3/IMAP).</translation>
    </message>
    <message>
        <source>Mail.ru needs a password for external applications, made in the account&apos;s security settings.</source>
        <translation>Mail.ru braucht ein Passwort für externe Anwendungen, das in den Sicherheitseinstellungen des Kontos erstellt wird.</translation>
    </message>
    <message>
        <source>Yandex needs an app password, and POP3 switched on in the mail settings (Email clients).</source>
        <translation>Yandex braucht ein App-Passwort, und POP3 muss in den Mail-Einstellungen eingeschaltet sein (E-Mail-Programme).</translation>
    </message>
    <message>
        <source>POP access must be switched on in Zoho Mail&apos;s settings.</source>
        <translation>Der POP-Zugriff muss in den Einstellungen von Zoho Mail eingeschaltet sein.</translation>
    </message>
    <message>
        <source>Fastmail takes only an app password here, never the account&apos;s own password.</source>
        <translation>Fastmail nimmt hier nur ein App-Passwort an, nie das eigene Passwort des Kontos.</translation>
    </message>
    <message>
        <source>iCloud Mail offers no POP3, only IMAP: TopPeek cannot read it.</source>
        <translation>iCloud Mail bietet kein POP3, nur IMAP: TopPeek kann es nicht lesen.</translation>
    </message>
    <message>
        <source>Proton Mail offers no POP3 (its Bridge speaks IMAP only): TopPeek cannot read it.</source>
        <translation>Proton Mail bietet kein POP3 (seine Bridge spricht nur IMAP): TopPeek kann es nicht lesen.</translation>
    </message>
    <message>
        <source>T-Online needs the separate e-mail password set in its customer centre.</source>
        <translation>T-Online braucht das eigene E-Mail-Passwort, das im Kundencenter festgelegt wird.</translation>
    </message>
</context>
<context>
    <name>toppeek::operations::MailboxOperations</name>
    <message>
        <source>Looking up %1 ...</source>
        <translation>Suche %1 ...</translation>
    </message>
    <message>
        <source>Connecting ...</source>
        <translation>Verbinde ...</translation>
    </message>
    <message>
        <source>Connected to %1, port %2</source>
        <translation>Verbunden mit %1, Port %2</translation>
    </message>
    <message>
        <source>TopPeek - talking to the mail server</source>
        <translation>TopPeek - im Gespräch mit dem Mailserver</translation>
    </message>
    <message>
        <source>The server&apos;s certificate has changed since you chose to trust it.</source>
        <translation>Das Zertifikat des Servers hat sich geändert, seit Sie ihm das Vertrauen ausgesprochen haben.</translation>
    </message>
    <message>
        <source>The server&apos;s certificate could not be verified.</source>
        <translation>Das Zertifikat des Servers konnte nicht überprüft werden.</translation>
    </message>
    <message>
        <source>%1
%2

Server: %3
Subject: %4
Issuer: %5
Valid until: %6
SHA-256 fingerprint:
%7

Trust this certificate for %3 from now on? Choose Yes only if the server is one you know to present a certificate of its own (a company&apos;s or your own server) and the fingerprint is the one its administrator gave you. Anyone between you and the server could otherwise read your password and mail.</source>
        <translation>%1
%2

Server: %3
Inhaber: %4
Aussteller: %5
Gültig bis: %6
SHA-256-Fingerabdruck:
%7

Diesem Zertifikat für %3 von nun an vertrauen? Wählen Sie „Ja“ nur, wenn Sie wissen, dass der Server ein eigenes Zertifikat vorlegt (der Server einer Firma oder Ihr eigener) und der Fingerabdruck der ist, den Ihnen sein Administrator genannt hat. Sonst könnte jeder zwischen Ihnen und dem Server Ihr Passwort und Ihre E-Mails lesen.</translation>
    </message>
    <message>
        <source>The settings have no room left to keep this trust; it holds for this connection only. Removing the trust of another account in Preferences makes room.</source>
        <translation>In den Einstellungen ist kein Platz mehr, um dieses Vertrauen zu speichern; es gilt nur für diese Verbindung. Wenn Sie in den Einstellungen das Vertrauen eines anderen Kontos entfernen, wird Platz frei.</translation>
    </message>
    <message>
        <source>Sign-in needed for %1: check the account by hand to sign in again.</source>
        <translation>Anmeldung nötig für %1: Prüfen Sie das Konto von Hand, um sich erneut anzumelden.</translation>
    </message>
    <message>
        <source>Could not connect to the mail server %1.</source>
        <translation>Keine Verbindung zum Mailserver %1 möglich.</translation>
    </message>
    <message>
        <source>The mail server %1 does not offer a secure connection (STARTTLS) on this port, so nothing was sent to it. Choose SSL/TLS instead, usually on port 995.</source>
        <translation>Der Mailserver %1 bietet auf diesem Port keine sichere Verbindung (STARTTLS) an, daher wurde nichts an ihn gesendet. Wählen Sie stattdessen SSL/TLS, meist auf Port 995.</translation>
    </message>
    <message>
        <source>The log-in to the mail server %1 was given up: the server sent more than a mail server should.</source>
        <translation>Die Anmeldung beim Mailserver %1 wurde aufgegeben: Der Server hat mehr gesendet, als ein Mailserver sollte.</translation>
    </message>
    <message>
        <source>The log-in to the mail server %1 was given up: the server took longer than a mail server should.</source>
        <translation>Die Anmeldung beim Mailserver %1 wurde aufgegeben: Der Server hat länger gebraucht, als ein Mailserver sollte.</translation>
    </message>
    <message>
        <source>The mail server %1 is not answering: it fell silent before the log-in.</source>
        <translation>Der Mailserver %1 antwortet nicht: Er ist vor der Anmeldung verstummt.</translation>
    </message>
    <message>
        <source>The mail server %1 is not answering: the connection ended before the log-in.</source>
        <translation>Der Mailserver %1 antwortet nicht: Die Verbindung endete vor der Anmeldung.</translation>
    </message>
    <message>
        <source>Could not log in to the mail server %1 as %2.</source>
        <translation>Die Anmeldung beim Mailserver %1 als %2 ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>the server refused %1</source>
        <translation>der Server hat sich geweigert, %1</translation>
    </message>
    <message>
        <source>the server sent more than a mail server should</source>
        <translation>der Server hat mehr gesendet, als ein Mailserver sollte</translation>
    </message>
    <message>
        <source>the server took longer than a mail server should</source>
        <translation>der Server hat länger gebraucht, als ein Mailserver sollte</translation>
    </message>
    <message>
        <source>the server stopped answering</source>
        <translation>der Server antwortet nicht mehr</translation>
    </message>
    <message>
        <source>the connection was lost</source>
        <translation>die Verbindung ist abgebrochen</translation>
    </message>
    <message>
        <source>to tell the mailbox&apos;s size</source>
        <translation>die Größe des Postfachs zu nennen</translation>
    </message>
    <message>
        <source>Reading message %1 of %2</source>
        <translation>Lese Nachricht %1 von %2</translation>
    </message>
    <message>
        <source>to list message %1</source>
        <translation>Nachricht %1 aufzulisten</translation>
    </message>
    <message>
        <source>to send message %1</source>
        <translation>Nachricht %1 zu senden</translation>
    </message>
    <message>
        <source>there was no memory left for more</source>
        <translation>es war kein Speicher mehr frei</translation>
    </message>
    <message>
        <source>Reading new message %1 of %2</source>
        <translation>Lese neue Nachricht %1 von %2</translation>
    </message>
    <message>
        <source>to send it</source>
        <translation>sie zu senden</translation>
    </message>
    <message>
        <source>Removing marked messages</source>
        <translation>Entferne markierte Nachrichten</translation>
    </message>
    <message>
        <source>to end the session</source>
        <translation>die Sitzung zu beenden</translation>
    </message>
    <message>
        <source>There are no messages in the mailbox of %1.</source>
        <translation>Im Postfach von %1 liegen keine Nachrichten.</translation>
    </message>
    <message numerus="yes">
        <source>The mailbox of %1 holds %n message, but the preferences are set to list no message.</source>
        <translation>
            <numerusform>Das Postfach von %1 enthält %n Nachricht, aber die Einstellungen sehen vor, keine Nachricht aufzulisten.</numerusform>
            <numerusform>Das Postfach von %1 enthält %n Nachrichten, aber die Einstellungen sehen vor, keine Nachricht aufzulisten.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The mailbox of %1 holds %n messages, but the preferences are set to list no message.</source>
        <translation>
            <numerusform>Das Postfach von %1 enthält %n Nachricht, aber die Einstellungen sehen vor, keine Nachricht aufzulisten.</numerusform>
            <numerusform>Das Postfach von %1 enthält %n Nachrichten, aber die Einstellungen sehen vor, keine Nachricht aufzulisten.</numerusform>
        </translation>
    </message>
    <message>
        <source>Could not read the mailbox of %1: %2.</source>
        <translation>Das Postfach von %1 konnte nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>Only %1 of %2 messages of the mailbox of %3 were listed: %4.</source>
        <translation>Nur %1 von %2 Nachrichten des Postfachs von %3 wurden aufgelistet: %4.</translation>
    </message>
    <message numerus="yes">
        <source>%n marked message was no longer on the server and left the list.</source>
        <translation>
            <numerusform>%n markierte Nachricht war nicht mehr auf dem Server und wurde aus der Liste genommen.</numerusform>
            <numerusform>%n markierte Nachrichten waren nicht mehr auf dem Server und wurden aus der Liste genommen.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked messages were no longer on the server and left the list.</source>
        <translation>
            <numerusform>%n markierte Nachricht war nicht mehr auf dem Server und wurde aus der Liste genommen.</numerusform>
            <numerusform>%n markierte Nachrichten waren nicht mehr auf dem Server und wurden aus der Liste genommen.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked message was not removed: the mailbox changed since the check and it could not be told apart. Check the mailbox again.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht entfernt: Das Postfach hat sich seit der Prüfung geändert, und sie ließ sich nicht sicher erkennen. Prüfen Sie das Postfach erneut.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht entfernt: Das Postfach hat sich seit der Prüfung geändert, und sie ließen sich nicht sicher erkennen. Prüfen Sie das Postfach erneut.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked messages were not removed: the mailbox changed since the check and they could not be told apart. Check the mailbox again.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht entfernt: Das Postfach hat sich seit der Prüfung geändert, und sie ließ sich nicht sicher erkennen. Prüfen Sie das Postfach erneut.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht entfernt: Das Postfach hat sich seit der Prüfung geändert, und sie ließen sich nicht sicher erkennen. Prüfen Sie das Postfach erneut.</numerusform>
        </translation>
    </message>
    <message>
        <source>The mailbox changed since the check: other messages were deleted or moved, and the list may show some that the server no longer has. Check the mailbox again.</source>
        <translation>Das Postfach hat sich seit der Prüfung geändert: Andere Nachrichten wurden gelöscht oder verschoben, und die Liste zeigt vielleicht einige, die der Server nicht mehr hat. Prüfen Sie das Postfach erneut.</translation>
    </message>
    <message numerus="yes">
        <source>%n marked message was not removed: the server gives the same unique-id to more than one message.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht entfernt: Der Server gibt dieselbe eindeutige ID mehr als einer Nachricht.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht entfernt: Der Server gibt dieselbe eindeutige ID mehr als einer Nachricht.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked messages were not removed: the server gives the same unique-id to more than one message.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht entfernt: Der Server gibt dieselbe eindeutige ID mehr als einer Nachricht.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht entfernt: Der Server gibt dieselbe eindeutige ID mehr als einer Nachricht.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked message was not removed: the server refused to delete it.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht entfernt: Der Server hat das Löschen verweigert.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht entfernt: Der Server hat das Löschen verweigert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked messages were not removed: the server refused to delete them.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht entfernt: Der Server hat das Löschen verweigert.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht entfernt: Der Server hat das Löschen verweigert.</numerusform>
        </translation>
    </message>
    <message>
        <source>it was cancelled</source>
        <translation>es wurde abgebrochen</translation>
    </message>
    <message>
        <source>The removal did not end properly (%1).</source>
        <translation>Das Entfernen endete nicht ordnungsgemäß (%1).</translation>
    </message>
    <message numerus="yes">
        <source>The server keeps the %n message it was asked to delete; it left the list but the next check lists it again.</source>
        <translation>
            <numerusform>Der Server behält die %n Nachricht, die er löschen sollte; sie wurde aus der Liste genommen, aber die nächste Prüfung listet sie wieder auf.</numerusform>
            <numerusform>Der Server behält die %n Nachrichten, die er löschen sollte; sie wurden aus der Liste genommen, aber die nächste Prüfung listet sie wieder auf.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The server keeps the %n messages it was asked to delete; they left the list but the next check lists them again.</source>
        <translation>
            <numerusform>Der Server behält die %n Nachricht, die er löschen sollte; sie wurde aus der Liste genommen, aber die nächste Prüfung listet sie wieder auf.</numerusform>
            <numerusform>Der Server behält die %n Nachrichten, die er löschen sollte; sie wurden aus der Liste genommen, aber die nächste Prüfung listet sie wieder auf.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked message was sent to the server for deletion, but the server never confirmed it; the server keeps it and it stays marked in the list.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde dem Server zum Löschen gesendet, aber der Server hat es nie bestätigt; der Server behält sie, und sie bleibt in der Liste markiert.</numerusform>
            <numerusform>%n markierte Nachrichten wurden dem Server zum Löschen gesendet, aber der Server hat es nie bestätigt; der Server behält sie, und sie bleiben in der Liste markiert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked messages were sent to the server for deletion, but the server never confirmed it; the server keeps them and they stay marked in the list.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde dem Server zum Löschen gesendet, aber der Server hat es nie bestätigt; der Server behält sie, und sie bleibt in der Liste markiert.</numerusform>
            <numerusform>%n markierte Nachrichten wurden dem Server zum Löschen gesendet, aber der Server hat es nie bestätigt; der Server behält sie, und sie bleiben in der Liste markiert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked message was not tried and stays marked in the list.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht versucht und bleibt in der Liste markiert.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht versucht und bleiben in der Liste markiert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked messages were not tried and stay marked in the list.</source>
        <translation>
            <numerusform>%n markierte Nachricht wurde nicht versucht und bleibt in der Liste markiert.</numerusform>
            <numerusform>%n markierte Nachrichten wurden nicht versucht und bleiben in der Liste markiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>The message could not be read: %1.</source>
        <translation>Die Nachricht konnte nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>This message is no longer on the server: it was deleted or moved since the check. Nothing was fetched; check the mailbox again to see what it holds now.</source>
        <translation>Diese Nachricht ist nicht mehr auf dem Server: Sie wurde seit der Prüfung gelöscht oder verschoben. Es wurde nichts abgerufen; prüfen Sie das Postfach erneut, um zu sehen, was es jetzt enthält.</translation>
    </message>
    <message>
        <source>This message is no longer on the server as it was listed: the mailbox changed since the check. Nothing was fetched; check the mailbox again.</source>
        <translation>Diese Nachricht ist nicht mehr so auf dem Server, wie sie aufgelistet wurde: Das Postfach hat sich seit der Prüfung geändert. Es wurde nichts abgerufen; prüfen Sie das Postfach erneut.</translation>
    </message>
    <message>
        <source>The server gives this message&apos;s unique-id to more than one message, so it cannot tell which one to show. Nothing was fetched.</source>
        <translation>Der Server gibt die eindeutige ID dieser Nachricht mehr als einer Nachricht, daher lässt sich nicht sagen, welche gezeigt werden soll. Es wurde nichts abgerufen.</translation>
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
    <name>toppeek::shell::DesktopNotifier</name>
    <message numerus="yes">
        <source>%n new message</source>
        <translation>
            <numerusform>%n neue Nachricht</numerusform>
            <numerusform>%n neue Nachrichten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n new messages</source>
        <translation>
            <numerusform>%n neue Nachricht</numerusform>
            <numerusform>%n neue Nachrichten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n marked as spam</source>
        <translation>
            <numerusform>%n als Spam markiert</numerusform>
            <numerusform>%n als Spam markiert</numerusform>
        </translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
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
    <message>
        <source>&amp;Find settings</source>
        <translation>Einstellungen &amp;suchen</translation>
    </message>
    <message>
        <source>Find the server, its security and its sign-in from the e-mail address</source>
        <translation>Den Server, seine Sicherheit und seine Anmeldung anhand der E-Mail-Adresse finden</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Testen</translation>
    </message>
    <message>
        <source>Connect and log in with these settings</source>
        <translation>Mit diesen Einstellungen verbinden und anmelden</translation>
    </message>
    <message>
        <source>&amp;Use these settings</source>
        <translation>Diese Einstellungen &amp;übernehmen</translation>
    </message>
    <message>
        <source>Find settings was cancelled.</source>
        <translation>„Einstellungen suchen“ wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Finding the settings of %1…</source>
        <translation>Suche die Einstellungen für %1…</translation>
    </message>
    <message>
        <source>%1
Where: %2.</source>
        <translation>%1
Quelle: %2.</translation>
    </message>
    <message>
        <source>No POP3 server was found for this address: not in the provider table, the domain publishes no autoconfig or DNS record for it, and no usual server name answered. Please ask your provider for the POP3 server, then use Test.</source>
        <translation>Für diese Adresse wurde kein POP3-Server gefunden: nicht in der Anbietertabelle, die Domäne veröffentlicht dafür weder Autoconfig noch DNS-Eintrag, und kein üblicher Servername hat geantwortet. Bitte fragen Sie Ihren Anbieter nach dem POP3-Server, und verwenden Sie dann „Testen“.</translation>
    </message>
    <message>
        <source>Server %1, %2, port %3; user name %4.
Where: %5.</source>
        <translation>Server %1, %2, Port %3; Benutzername %4.
Quelle: %5.</translation>
    </message>
    <message>
        <source>
Sign-in: this provider asks for OAuth2.</source>
        <translation>
Anmeldung: Dieser Anbieter verlangt OAuth2.</translation>
    </message>
    <message>
        <source>
Sign-in: the server wants the password sent encrypted (APOP, chosen in the Preferences).</source>
        <translation>
Anmeldung: Der Server will das Passwort verschlüsselt erhalten (APOP, in den Einstellungen zu wählen).</translation>
    </message>
    <message>
        <source>
None sends the password in clear.</source>
        <translation>
„Keine“ sendet das Passwort im Klartext.</translation>
    </message>
    <message>
        <source>
Taken into the boxes above: this provider signs in through the web browser; press Sign in below.</source>
        <translation>
In die Felder oben übernommen: Bei diesem Anbieter meldet man sich im Webbrowser an; klicken Sie unten auf „Anmelden“.</translation>
    </message>
    <message>
        <source>
Taken into the boxes above: enter the password and press Test to check them.</source>
        <translation>
In die Felder oben übernommen: Geben Sie das Passwort ein, und klicken Sie auf „Testen“, um sie zu prüfen.</translation>
    </message>
    <message>
        <source>The test was cancelled.</source>
        <translation>Der Test wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Testing the settings…</source>
        <translation>Teste die Einstellungen…</translation>
    </message>
    <message>
        <source>Test: the account works.</source>
        <translation>Test: Das Konto funktioniert.</translation>
    </message>
    <message>
        <source>Test: %1</source>
        <translation>Test: %1</translation>
    </message>
    <message>
        <source>Keep the password in the settings file when no keyring can be used</source>
        <translation>Das Passwort in der Einstellungsdatei behalten, wenn kein Schlüsselbund verfügbar ist</translation>
    </message>
    <message>
        <source>Off: without the desktop&apos;s keyring the password is asked once each time the program runs and is never written down.</source>
        <translation>Aus: Ohne den Schlüsselbund des Desktops wird das Passwort bei jedem Programmstart einmal erfragt und nirgends gespeichert.</translation>
    </message>
    <message>
        <source>Without security the password and your mail travel in plain text: anyone on the way can read them.</source>
        <translation>Ohne Sicherheit gehen das Passwort und Ihre E-Mails im Klartext über das Netz: Jeder auf dem Weg kann sie lesen.</translation>
    </message>
    <message>
        <source>This host address cannot be used. Please enter the server&apos;s name alone, such as pop.example.com, and choose the security and the port in their own boxes.</source>
        <translation>Diese Host-Adresse ist nicht verwendbar. Bitte geben Sie nur den Namen des Servers ein, etwa pop.example.com, und wählen Sie Sicherheit und Port in ihren eigenen Feldern.</translation>
    </message>
    <message>
        <source>Please enter the host address of the server. A secure connection checks the server&apos;s certificate against this name.</source>
        <translation>Bitte geben Sie die Host-Adresse des Servers ein. Eine sichere Verbindung prüft das Zertifikat des Servers gegen diesen Namen.</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::AccountSignInSection</name>
    <message>
        <source>Issuer address</source>
        <translation>Adresse des Ausstellers</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>OAuth2 (web browser)</source>
        <translation>OAuth2 (Webbrowser)</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Andere</translation>
    </message>
    <message>
        <source>(only where the provider gave one)</source>
        <translation>(nur wenn der Anbieter eines vergeben hat)</translation>
    </message>
    <message>
        <source>&amp;Find</source>
        <translation>&amp;Suchen</translation>
    </message>
    <message>
        <source>Sign &amp;in…</source>
        <translation>&amp;Anmelden…</translation>
    </message>
    <message>
        <source>Sign-in:</source>
        <translation>Anmeldung:</translation>
    </message>
    <message>
        <source>Provider:</source>
        <translation>Anbieter:</translation>
    </message>
    <message>
        <source>Client ID:</source>
        <translation>Client-ID:</translation>
    </message>
    <message>
        <source>Client secret:</source>
        <translation>Client-Geheimnis:</translation>
    </message>
    <message>
        <source>Issuer:</source>
        <translation>Aussteller:</translation>
    </message>
    <message>
        <source>Authorization URL:</source>
        <translation>Autorisierungs-URL:</translation>
    </message>
    <message>
        <source>Token URL:</source>
        <translation>Token-URL:</translation>
    </message>
    <message>
        <source>Scope:</source>
        <translation>Bereich:</translation>
    </message>
    <message>
        <source>Not signed in yet.</source>
        <translation>Noch nicht angemeldet.</translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation>Angemeldet.</translation>
    </message>
    <message>
        <source>Waiting for the sign-in in the web browser…</source>
        <translation>Warten auf die Anmeldung im Webbrowser…</translation>
    </message>
    <message>
        <source>Not signed in.</source>
        <translation>Nicht angemeldet.</translation>
    </message>
</context>
<context>
    <name>toppeek::ui::AccountTestDialog</name>
    <message>
        <source>Account Test</source>
        <translation>Kontotest</translation>
    </message>
    <message>
        <source>The account works.</source>
        <translation>Das Konto funktioniert.</translation>
    </message>
    <message>
        <source>The account does not work yet.</source>
        <translation>Das Konto funktioniert noch nicht.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
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
        <source>No new mail (checked at %1).</source>
        <translation>Keine neue Post (geprüft um %1).</translation>
    </message>
    <message>
        <source>Sign-in needed for %1.</source>
        <translation>Anmeldung nötig für %1.</translation>
    </message>
    <message>
        <source>on</source>
        <translation>ein</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>Messages: the mailbox changed since the check - check again</source>
        <translation>Nachrichten: Das Postfach hat sich seit der Prüfung geändert - bitte erneut prüfen</translation>
    </message>
    <message>
        <source>Friendly domains: %1
Banned domains: %2
Rejection rules: %3</source>
        <translation>Freundliche Domänen: %1
Gesperrte Domänen: %2
Ablehnungsregeln: %3</translation>
    </message>
    <message numerus="yes">
        <source>%n message is marked for deletion.
Remove it from the server now?</source>
        <translation>
            <numerusform>%n Nachricht ist zum Löschen markiert.
Soll sie jetzt vom Server entfernt werden?</numerusform>
            <numerusform>%n Nachrichten sind zum Löschen markiert.
Sollen sie jetzt vom Server entfernt werden?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n messages are marked for deletion.
Remove them from the server now?</source>
        <translation>
            <numerusform>%n Nachricht ist zum Löschen markiert.
Soll sie jetzt vom Server entfernt werden?</numerusform>
            <numerusform>%n Nachrichten sind zum Löschen markiert.
Sollen sie jetzt vom Server entfernt werden?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Remove the %n marked messages from the mailboxes of %1 accounts?</source>
        <translation>
            <numerusform>Die %n markierte Nachricht aus den Postfächern von %1 Konten entfernen?</numerusform>
            <numerusform>Die %n markierten Nachrichten aus den Postfächern von %1 Konten entfernen?</numerusform>
        </translation>
    </message>
    <message>
        <source>Remove the marked message from the mailbox of %1?</source>
        <translation>Die markierte Nachricht aus dem Postfach von %1 entfernen?</translation>
    </message>
    <message numerus="yes">
        <source>Remove the %n marked messages from the mailbox of %1?</source>
        <translation>
            <numerusform>Die %n markierte Nachricht aus dem Postfach von %1 entfernen?</numerusform>
            <numerusform>Die %n markierten Nachrichten aus dem Postfach von %1 entfernen?</numerusform>
        </translation>
    </message>
    <message>
        <source>Remove the marked message from the server?</source>
        <translation>Die markierte Nachricht vom Server entfernen?</translation>
    </message>
    <message numerus="yes">
        <source>Remove the %n marked messages from the server?</source>
        <translation>
            <numerusform>Die %n markierte Nachricht vom Server entfernen?</numerusform>
            <numerusform>Die %n markierten Nachrichten vom Server entfernen?</numerusform>
        </translation>
    </message>
    <message>
        <source>Passwords are kept in the desktop&apos;s keyring, not in the settings file.</source>
        <translation>Passwörter werden im Schlüsselbund des Desktops gespeichert, nicht in der Einstellungsdatei.</translation>
    </message>
    <message>
        <source>Passwords are kept in the desktop&apos;s keyring when it can be reached, otherwise in the settings file.</source>
        <translation>Passwörter werden im Schlüsselbund des Desktops gespeichert, wenn er erreichbar ist, sonst in der Einstellungsdatei.</translation>
    </message>
    <message>
        <source>No keyring of the desktop can be used, so passwords are kept in the settings file (long sign-in tokens in a file beside it), scrambled but not encrypted: anyone who has the file can read them back. An account whose password is not to be kept there asks for it once each time the program runs.</source>
        <translation>Kein Schlüsselbund des Desktops ist verwendbar, daher werden Passwörter in der Einstellungsdatei gespeichert (lange Anmelde-Token in einer Datei daneben), verschleiert, aber nicht verschlüsselt: Wer die Datei hat, kann sie zurücklesen. Ein Konto, dessen Passwort dort nicht gespeichert werden soll, fragt bei jedem Programmstart einmal danach.</translation>
    </message>
    <message>
        <source>The password for %1 is not kept.
Please enter the password:</source>
        <translation>Das Passwort für %1 ist nicht gespeichert.
Bitte geben Sie das Passwort ein:</translation>
    </message>
    <message>
        <source>The desktop&apos;s keyring holds no password for %1.
Please enter the password:</source>
        <translation>Der Schlüsselbund des Desktops enthält kein Passwort für %1.
Bitte geben Sie das Passwort ein:</translation>
    </message>
    <message>
        <source>The desktop&apos;s keyring did not give the password for %1.
Please enter the password:</source>
        <translation>Der Schlüsselbund des Desktops hat das Passwort für %1 nicht herausgegeben.
Bitte geben Sie das Passwort ein:</translation>
    </message>
    <message>
        <source>TopPeek needs you to sign in to %1 again. Sign in now in your web browser?</source>
        <translation>TopPeek braucht eine erneute Anmeldung bei %1. Jetzt im Webbrowser anmelden?</translation>
    </message>
    <message>
        <source>Waiting for the sign-in in the web browser…</source>
        <translation>Warten auf die Anmeldung im Webbrowser…</translation>
    </message>
    <message>
        <source>Checking for new mail in the background - try again when it has ended.</source>
        <translation>Im Hintergrund wird auf neue Post geprüft - versuchen Sie es erneut, wenn das beendet ist.</translation>
    </message>
    <message numerus="yes">
        <source>%n new message (checked at %1).</source>
        <translation>
            <numerusform>%n neue Nachricht (geprüft um %1).</numerusform>
            <numerusform>%n neue Nachrichten (geprüft um %1).</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n new messages (checked at %1).</source>
        <translation>
            <numerusform>%n neue Nachricht (geprüft um %1).</numerusform>
            <numerusform>%n neue Nachrichten (geprüft um %1).</numerusform>
        </translation>
    </message>
    <message>
        <source>Unmarked by hand</source>
        <translation>Markierung von Hand aufgehoben</translation>
    </message>
    <message>
        <source>Marked by hand</source>
        <translation>Von Hand markiert</translation>
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
    <message>
        <source> minute</source>
        <translation> Minute</translation>
    </message>
    <message>
        <source>never</source>
        <translation>nie</translation>
    </message>
    <message>
        <source>Without APOP, send the password in plain text all the same</source>
        <translation>Ohne APOP das Passwort trotzdem im Klartext senden</translation>
    </message>
    <message>
        <source>Only over a connection without security, when the server offers no APOP. Off, such a log-in is refused: someone on the way may have taken APOP out to read the password.</source>
        <translation>Nur über eine Verbindung ohne Sicherheit, wenn der Server kein APOP anbietet. Ausgeschaltet wird eine solche Anmeldung abgelehnt: Jemand auf dem Weg könnte APOP entfernt haben, um das Passwort mitzulesen.</translation>
    </message>
    <message>
        <source>Trusted certificates</source>
        <translation>Vertrauenswürdige Zertifikate</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Konto</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>SHA-256 fingerprint</source>
        <translation>SHA-256-Fingerabdruck</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Certificates that failed the check and that you chose to trust for one server. A server that presents another certificate is refused again.</source>
        <translation>Zertifikate, die die Prüfung nicht bestanden haben und denen Sie für einen Server vertrauen wollten. Ein Server, der ein anderes Zertifikat vorlegt, wird wieder abgelehnt.</translation>
    </message>
    <message>
        <source>Certificates</source>
        <translation>Zertifikate</translation>
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
