<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../mainwindow.ui" line="14"/>
        <source>Morvane 3 Client Update</source>
        <translation>Morvane 3 Client-Aktualisierung</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="100"/>
        <source>&lt;small&gt;© 2026 Morvane Interactive. All rights reserved. &lt;a href=&quot;https://www.morvane.example/&quot;&gt;morvane.example&lt;/a&gt;&lt;/small&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="126"/>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="96"/>
        <source>Update to Morvane %1</source>
        <translation>Aktualisierung auf Morvane %1</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="101"/>
        <source>Stable</source>
        <translation>Stabil</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="104"/>
        <source>Beta</source>
        <translation>Beta</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="107"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="111"/>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Sie nutzen derzeit den &lt;strong&gt;Kanal %1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="113"/>
        <source>Step two: Updating Morvane client</source>
        <translation>Schritt zwei: Morvane-Client wird aktualisiert</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="113"/>
        <source>Step one: Updating updater</source>
        <translation>Schritt eins: Aktualisierungsprogramm wird aktualisiert</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="183"/>
        <source>Update cancelled</source>
        <translation>Aktualisierung abgebrochen</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="191"/>
        <source>Update</source>
        <translation>Aktualisierung</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="191"/>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Aktualisierung abgebrochen. Die Gründe zeigt &quot;Details&quot;.</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="206"/>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="206"/>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Die Aktualisierung läuft.&lt;/p&gt;&lt;p&gt;Wirklich abbrechen?&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="227"/>
        <source>Confirm reboot</source>
        <translation>Neustart bestätigen</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="228"/>
        <source>&lt;p&gt;A computer restart is required to proceed with the client update. If you do not reboot now, the Morvane update will be cancelled.&lt;/p&gt;&lt;p&gt;Do you want to reboot now?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Für die Client-Aktualisierung muss der Computer neu gestartet werden. Ohne Neustart wird die Morvane-Aktualisierung abgebrochen.&lt;/p&gt;&lt;p&gt;Jetzt neu starten?&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="244"/>
        <source>Failed to store force update notice</source>
        <translation>Hinweis auf erzwungene Aktualisierung konnte nicht gespeichert werden</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../configuration.cpp" line="62"/>
        <location filename="../configuration.cpp" line="70"/>
        <source>Invalid version nr (%1)</source>
        <translation>Ungültige Versionsnummer (%1)</translation>
    </message>
    <message>
        <location filename="../configuration.cpp" line="166"/>
        <location filename="../mainwindow.cpp" line="29"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <location filename="../configuration.cpp" line="167"/>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Die aktuelle Client-Version konnte
nicht vom Server abgefragt werden.</translation>
    </message>
    <message>
        <location filename="../configuration.cpp" line="176"/>
        <source>Update server returned no version</source>
        <translation>Der Server hat keine Version geliefert</translation>
    </message>
    <message>
        <location filename="../configuration.cpp" line="179"/>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Der Server hat eine ungültige Versionsnummer geliefert (%1)</translation>
    </message>
    <message>
        <location filename="../configuration.cpp" line="191"/>
        <source>Unable to get temp directory.</source>
        <translation>Kein temporäres Verzeichnis verfügbar.</translation>
    </message>
    <message>
        <location filename="../configuration.cpp" line="208"/>
        <source>Unable to create temp directory.</source>
        <translation>Temporäres Verzeichnis konnte nicht angelegt werden.</translation>
    </message>
</context>
</TS>
