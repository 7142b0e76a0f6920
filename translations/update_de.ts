<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ChangeLogViewer</name>
    <message>
        <source>Changelog</source>
        <translation>Änderungsprotokoll</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Wird geladen...</translation>
    </message>
    <message>
        <source>Failed to load changelog.</source>
        <translation>Das Änderungsprotokoll konnte nicht geladen werden.</translation>
    </message>
</context>
<context>
    <name>FailureSummary</name>
    <message>
        <source>No mirror could deliver %1.</source>
        <translation>Kein Spiegelserver konnte %1 liefern.</translation>
    </message>
    <message>
        <source>The signature of the update&apos;s file list could not be verified on any mirror.</source>
        <translation>Die Signatur der Dateiliste des Updates konnte auf keinem Spiegelserver bestätigt werden.</translation>
    </message>
    <message>
        <source>A file could not be installed; every change was undone.</source>
        <translation>Eine Datei konnte nicht installiert werden; alle Änderungen wurden rückgängig gemacht.</translation>
    </message>
    <message>
        <source>The update could not be completed.</source>
        <translation>Das Update konnte nicht abgeschlossen werden.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Voxmeadow 3 Client Update</source>
        <translation>Voxmeadow 3 Client-Update</translation>
    </message>
    <message>
        <source>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Start Update</source>
        <translation>Update starten</translation>
    </message>
    <message>
        <source>Stable</source>
        <translation>Stabil</translation>
    </message>
    <message>
        <source>Beta</source>
        <translation>Beta</translation>
    </message>
    <message>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <source>Update to Voxmeadow %1</source>
        <translation>Update auf Voxmeadow %1</translation>
    </message>
    <message>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Sie sind derzeit auf dem Kanal &lt;strong&gt;%1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <source>%1 KB / %2 KB</source>
        <translation>%1 KB / %2 KB</translation>
    </message>
    <message>
        <source>%1 KB/s</source>
        <translation>%1 KB/s</translation>
    </message>
    <message>
        <source>Start Voxmeadow</source>
        <translation>Voxmeadow starten</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Neu starten</translation>
    </message>
    <message>
        <source>Update cancelled</source>
        <translation>Update abgebrochen</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Update abgebrochen. Klicken Sie auf „Details“, um die Gründe zu sehen.</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Das Update läuft.&lt;/p&gt;&lt;p&gt;Wollen Sie es wirklich abbrechen?&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Click to open &quot;%1://%2&quot;</source>
        <translation>Klicken, um „%1://%2“ zu öffnen</translation>
    </message>
    <message>
        <source>View Changes</source>
        <translation>Änderungen anzeigen</translation>
    </message>
    <message>
        <source>Update to Voxmeadow version %1</source>
        <translation>Update auf Voxmeadow Version %1</translation>
    </message>
    <message>
        <source>Installing %1</source>
        <translation>%1 wird installiert</translation>
    </message>
    <message>
        <source>Downloading files...</source>
        <translation>Dateien werden heruntergeladen...</translation>
    </message>
    <message>
        <source>... repeated %1 times</source>
        <translation>... %1-mal wiederholt</translation>
    </message>
    <message>
        <source>%1 MB / %2 MB</source>
        <translation>%1 MB / %2 MB</translation>
    </message>
    <message>
        <source>%1 GB / %2 GB</source>
        <translation>%1 GB / %2 GB</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>%1 GB/s</source>
        <translation>%1 GB/s</translation>
    </message>
    <message>
        <source>Voxmeadow 3 is up to date: version %1</source>
        <translation>Voxmeadow 3 ist auf dem neuesten Stand: Version %1</translation>
    </message>
    <message>
        <source>Cancelling the update...</source>
        <translation>Das Update wird abgebrochen...</translation>
    </message>
</context>
<context>
    <name>Mirrors</name>
    <message>
        <source>There are no (more) known working mirrors available</source>
        <translation>Es sind keine (weiteren) funktionierenden Spiegelserver bekannt</translation>
    </message>
    <message>
        <source>Mirror %1 failed too many times, removing</source>
        <translation>Spiegelserver %1 ist zu oft fehlgeschlagen und wird entfernt</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Invalid version nr (%1)</source>
        <translation>Ungültige Versionsnummer (%1)</translation>
    </message>
    <message>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Der Update-Server hat eine ungültige Versionsnummer geliefert (%1)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Die neueste Client-Version konnte nicht
vom Update-Server abgefragt werden.</translation>
    </message>
</context>
</TS>
