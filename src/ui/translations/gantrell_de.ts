<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>About gantrell</source>
        <translation>Über gantrell</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Gantrell Version %1</source>
        <translation>Gantrell Version %1</translation>
    </message>
    <message>
        <source>Made by the Gantrell developers, 2004-2026</source>
        <translation>Von den Gantrell-Entwicklern, 2004-2026</translation>
    </message>
    <message>
        <source>Digital signing based on OpenSSL encryption library</source>
        <translation>Digitale Signaturen auf Grundlage der Verschlüsselungsbibliothek OpenSSL</translation>
    </message>
    <message>
        <source>OpenSSL by the OpenSSL Project, with cryptographic software by Eric Young</source>
        <translation>OpenSSL vom OpenSSL-Projekt, mit kryptografischer Software von Eric Young</translation>
    </message>
</context>
<context>
    <name>CChooseFilenameDlg</name>
    <message>
        <source>Choose Filename</source>
        <translation>Dateinamen wählen</translation>
    </message>
    <message>
        <source>Save location</source>
        <translation>Speicherort</translation>
    </message>
    <message>
        <source>Default location</source>
        <translation>Standardort</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Durchsuchen</translation>
    </message>
    <message>
        <source>Set to &amp;default</source>
        <translation>Auf &amp;Standard setzen</translation>
    </message>
</context>
<context>
    <name>CConfigDlg</name>
    <message>
        <source>Customise Addon Selection</source>
        <translation>Add-on-Auswahl anpassen</translation>
    </message>
    <message>
        <source>Providers</source>
        <translation>Anbieter</translation>
    </message>
    <message>
        <source>Provider</source>
        <translation>Anbieter</translation>
    </message>
    <message>
        <source>Scan this &amp;provider for updates</source>
        <translation>Diesen Anbieter nach Akt&amp;ualisierungen durchsuchen</translation>
    </message>
    <message>
        <source>&amp;Add Provider</source>
        <translation>Anbieter &amp;hinzufügen</translation>
    </message>
    <message>
        <source>Dele&amp;te Provider</source>
        <translation>Anbieter &amp;löschen</translation>
    </message>
    <message>
        <source>Available Update groups from provider</source>
        <translation>Verfügbare Aktualisierungsgruppen des Anbieters</translation>
    </message>
    <message>
        <source>Update groups</source>
        <translation>Aktualisierungsgruppen</translation>
    </message>
    <message>
        <source>Scan this &amp;group for updates</source>
        <translation>Diese &amp;Gruppe nach Aktualisierungen durchsuchen</translation>
    </message>
    <message>
        <source>ALL available downloads in group</source>
        <translation>ALLE verfügbaren Downloads der Gruppe</translation>
    </message>
    <message>
        <source>Downloads in group</source>
        <translation>Downloads der Gruppe</translation>
    </message>
    <message>
        <source>Add to download o&amp;nce</source>
        <translation>Einmal zum Herunterladen &amp;vormerken</translation>
    </message>
    <message>
        <source>Customise save &amp;location</source>
        <translation>Speicheror&amp;t anpassen</translation>
    </message>
    <message>
        <source>D&amp;escription</source>
        <translation>&amp;Beschreibung</translation>
    </message>
    <message>
        <source>Currently selected downloads</source>
        <translation>Derzeit ausgewählte Downloads</translation>
    </message>
    <message>
        <source>Selected downloads</source>
        <translation>Ausgewählte Downloads</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>Lö&amp;schen</translation>
    </message>
</context>
<context>
    <name>CDownloadDlg</name>
    <message>
        <source>Downloading</source>
        <translation>Wird heruntergeladen</translation>
    </message>
    <message>
        <source>Item being downloaded</source>
        <translation>Element, das heruntergeladen wird</translation>
    </message>
    <message>
        <source>This item:</source>
        <translation>Dieses Element:</translation>
    </message>
    <message>
        <source>All items:</source>
        <translation>Alle Elemente:</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>resuming %1 at %2%</source>
        <translation>%1 wird bei %2% fortgesetzt</translation>
    </message>
</context>
<context>
    <name>CFileManagerDlg</name>
    <message>
        <source>File Manager</source>
        <translation>Dateiverwaltung</translation>
    </message>
    <message>
        <source>Choose p&amp;rovider</source>
        <translation>Anbieter &amp;wählen</translation>
    </message>
    <message>
        <source>Downloaded &amp;files from this provider</source>
        <translation>&amp;Heruntergeladene Dateien dieses Anbieters</translation>
    </message>
    <message>
        <source>Downloaded files from this provider</source>
        <translation>Heruntergeladene Dateien dieses Anbieters</translation>
    </message>
    <message>
        <source>D&amp;escription</source>
        <translation>&amp;Beschreibung</translation>
    </message>
    <message>
        <source>Size of the file</source>
        <translation>Größe der Datei</translation>
    </message>
    <message>
        <source>Suitability for this machine</source>
        <translation>Eignung für diesen Rechner</translation>
    </message>
    <message>
        <source>Item Options</source>
        <translation>Aktionen für das Element</translation>
    </message>
    <message>
        <source>O&amp;pen File</source>
        <translation>Datei ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Cop&amp;y</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
</context>
<context>
    <name>CFolderDlg</name>
    <message>
        <source>Choose download folder</source>
        <translation>Download-Ordner wählen</translation>
    </message>
    <message>
        <source>Choose a default download &amp;folder</source>
        <translation>Standard-&amp;Download-Ordner wählen</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>D&amp;urchsuchen...</translation>
    </message>
</context>
<context>
    <name>CMainDlg</name>
    <message>
        <source>Pending items</source>
        <translation>Ausstehende Elemente</translation>
    </message>
    <message>
        <source>&amp;Skip once</source>
        <translation>Einmal übe&amp;rspringen</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>Ent&amp;fernen</translation>
    </message>
    <message>
        <source>Co&amp;nfigure</source>
        <translation>&amp;Konfigurieren</translation>
    </message>
    <message>
        <source>Customise save &amp;location</source>
        <translation>Speicheror&amp;t anpassen</translation>
    </message>
    <message>
        <source>&amp;View downloaded items</source>
        <translation>&amp;Heruntergeladene Elemente anzeigen</translation>
    </message>
    <message>
        <source>D&amp;escription of download</source>
        <translation>Beschr&amp;eibung des Downloads</translation>
    </message>
    <message>
        <source>Number of items to download</source>
        <translation>Anzahl der herunterzuladenden Elemente</translation>
    </message>
    <message>
        <source>Size of the selection</source>
        <translation>Größe der Auswahl</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>&amp;Download Items</source>
        <translation>Elemente herunter&amp;laden</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>&amp;About gantrell...</source>
        <translation>Ü&amp;ber gantrell...</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Provider</source>
        <translation>Anbieter</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
</context>
<context>
    <name>CNewProviderDlg</name>
    <message>
        <source>New Provider</source>
        <translation>Neuer Anbieter</translation>
    </message>
    <message>
        <source>Enter full &amp;address of update provider</source>
        <translation>Vollständige A&amp;dresse des Anbieters eingeben</translation>
    </message>
</context>
<context>
    <name>CWaitDlg</name>
    <message>
        <source>Please Wait</source>
        <translation>Bitte warten</translation>
    </message>
    <message>
        <source>Downloading Update Lists</source>
        <translation>Aktualisierungslisten werden heruntergeladen</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>CommandHelp</name>
    <message>
        <source>FILE</source>
        <translation>DATEI</translation>
    </message>
    <message>
        <source>a file of provider addresses, separated by &quot; * &quot;, to subscribe to</source>
        <translation>eine Datei mit Adressen von Anbietern, getrennt durch „ * “, die abonniert werden sollen</translation>
    </message>
    <message>
        <source>check silently: the window opens only when something new is waiting</source>
        <translation>still prüfen: das Fenster öffnet sich nur, wenn etwas Neues bereitsteht</translation>
    </message>
    <message>
        <source>hide &quot;Remove&quot; and &quot;Configure&quot; in the main window</source>
        <translation>„Entfernen“ und „Konfigurieren“ im Hauptfenster ausblenden</translation>
    </message>
    <message>
        <source>hide &quot;Add Provider&quot; and &quot;Delete Provider&quot; in the configuration</source>
        <translation>„Anbieter hinzufügen“ und „Anbieter löschen“ in der Konfiguration ausblenden</translation>
    </message>
    <message>
        <source>wait 10 seconds before reading FILE</source>
        <translation>10 Sekunden warten, bevor DATEI gelesen wird</translation>
    </message>
    <message>
        <source>print the version and end</source>
        <translation>die Version ausgeben und beenden</translation>
    </message>
    <message>
        <source>print this help and end</source>
        <translation>diese Hilfe ausgeben und beenden</translation>
    </message>
    <message>
        <source>Usage: %1 [-p] [-s] [-c] [-pr] [%2]</source>
        <translation>Aufruf: %1 [-p] [-s] [-c] [-pr] [%2]</translation>
    </message>
    <message>
        <source>Checks the update providers you subscribe to and lists the items that are new and suit this machine.</source>
        <translation>Prüft die abonnierten Anbieter von Aktualisierungen und listet die Elemente auf, die neu sind und zu diesem Rechner passen.</translation>
    </message>
    <message>
        <source>with -s: tell what is waiting by a desktop notification</source>
        <translation>mit -s: Wartendes per Desktop-Benachrichtigung melden</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>%1 and %2 more</source>
        <translation>%1 und %2 weitere</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>Updates available</source>
        <translation>Aktualisierungen verfügbar</translation>
    </message>
    <message>
        <source>1 new item from %1 is waiting to be downloaded.</source>
        <translation>1 neues Element von %1 wartet darauf, heruntergeladen zu werden.</translation>
    </message>
    <message>
        <source>%1 new items from %2 are waiting to be downloaded.</source>
        <translation>%1 neue Elemente von %2 warten darauf, heruntergeladen zu werden.</translation>
    </message>
    <message>
        <source>Show Updates</source>
        <translation>Aktualisierungen anzeigen</translation>
    </message>
</context>
<context>
    <name>QtTrash</name>
    <message>
        <source>the desktop has no trash for %1</source>
        <translation>die Arbeitsumgebung hat keinen Papierkorb für %1</translation>
    </message>
</context>
<context>
    <name>StandardButtons</name>
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
    <name>UserPrompts</name>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
</context>
</TS>
