<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ChangeLogViewer</name>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="52"/>
        <source>Changelog</source>
        <translation>Änderungsprotokoll</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="82"/>
        <source>Loading...</source>
        <translation>Wird geladen...</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="87"/>
        <source>Failed to load changelog.</source>
        <translation>Das Änderungsprotokoll konnte nicht geladen werden.</translation>
    </message>
</context>
<context>
    <name>FailureSummary</name>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="16"/>
        <source>No mirror could deliver %1.</source>
        <translation>Kein Spiegelserver konnte %1 liefern.</translation>
    </message>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="18"/>
        <source>The signature of the update&apos;s file list could not be verified on any mirror.</source>
        <translation>Die Signatur der Dateiliste des Updates konnte auf keinem Spiegelserver bestätigt werden.</translation>
    </message>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="20"/>
        <source>A file could not be installed; every change was undone.</source>
        <translation>Eine Datei konnte nicht installiert werden; alle Änderungen wurden rückgängig gemacht.</translation>
    </message>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="25"/>
        <source>The update could not be completed.</source>
        <translation>Das Update konnte nicht abgeschlossen werden.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Update server: %1 (from update.ini)</source>
        <translation>Update-Server: %1 (aus update.ini)</translation>
    </message>
    <message>
        <source>Downloads %p%</source>
        <translation>Downloads %p%</translation>
    </message>
    <message>
        <source>Downloads paused</source>
        <translation>Downloads angehalten</translation>
    </message>
    <message>
        <source>%1 files checked, %2 repaired</source>
        <translation>%1 Dateien geprüft, %2 repariert</translation>
    </message>
    <message>
        <source>Voxmeadow is newer than the offered version</source>
        <translation>Voxmeadow ist neuer als die angebotene Version</translation>
    </message>
    <message>
        <source>Voxmeadow 3 version %1 is installed. %2</source>
        <translation>Voxmeadow 3 Version %1 ist installiert. %2</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="14"/>
        <source>Voxmeadow 3 Client Update</source>
        <translation>Voxmeadow 3 Client-Update</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="132"/>
        <source>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="218"/>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="248"/>
        <location filename="../src/ui/mainwindow.cpp" line="330"/>
        <location filename="../src/ui/mainwindow.cpp" line="361"/>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="258"/>
        <source>Start Update</source>
        <translation>Update starten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="167"/>
        <source>Stable</source>
        <translation>Stabil</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="168"/>
        <source>Beta</source>
        <translation>Beta</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="169"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="175"/>
        <source>Update to Voxmeadow %1</source>
        <translation>Update auf Voxmeadow %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="179"/>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Sie sind derzeit auf dem Kanal &lt;strong&gt;%1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="341"/>
        <source>%1 KB / %2 KB</source>
        <translation>%1 KB / %2 KB</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="65"/>
        <source>%1 KB/s</source>
        <translation>%1 KB/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="71"/>
        <source>%1 h %2 min left</source>
        <translation>noch %1 h %2 min</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="75"/>
        <source>%1 min %2 s left</source>
        <translation>noch %1 min %2 s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="78"/>
        <source>%1 s left</source>
        <translation>noch %1 s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="330"/>
        <location filename="../src/ui/mainwindow.cpp" line="361"/>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="348"/>
        <source>%1 (limited to %2)</source>
        <translation>%1 (begrenzt auf %2)</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="379"/>
        <source>Start Voxmeadow</source>
        <translation>Voxmeadow starten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="392"/>
        <source>Restart</source>
        <translation>Neu starten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="394"/>
        <source>Update cancelled</source>
        <translation>Update abgebrochen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="398"/>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="399"/>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Update abgebrochen. Klicken Sie auf „Details“, um die Gründe zu sehen.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="412"/>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="413"/>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Das Update läuft.&lt;/p&gt;&lt;p&gt;Wollen Sie es wirklich abbrechen?&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="455"/>
        <source>Click to open &quot;%1://%2&quot;</source>
        <translation>Klicken, um „%1://%2“ zu öffnen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="228"/>
        <source>View Changes</source>
        <translation>Änderungen anzeigen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="177"/>
        <source>Update to Voxmeadow version %1</source>
        <translation>Update auf Voxmeadow Version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="252"/>
        <source>Installing %1</source>
        <translation>%1 wird installiert</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="254"/>
        <source>Downloading files...</source>
        <translation>Dateien werden heruntergeladen...</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="291"/>
        <location filename="../src/ui/mainwindow.cpp" line="306"/>
        <source>... repeated %1 times</source>
        <translation>... %1-mal wiederholt</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="342"/>
        <source>%1 MB / %2 MB</source>
        <translation>%1 MB / %2 MB</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="343"/>
        <source>%1 GB / %2 GB</source>
        <translation>%1 GB / %2 GB</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="61"/>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="62"/>
        <source>%1 GB/s</source>
        <translation>%1 GB/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="373"/>
        <source>Voxmeadow 3 is up to date: version %1</source>
        <translation>Voxmeadow 3 ist auf dem neuesten Stand: Version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="424"/>
        <source>Cancelling the update...</source>
        <translation>Das Update wird abgebrochen...</translation>
    </message>
</context>
<context>
    <name>Mirrors</name>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="83"/>
        <source>There are no (more) known working mirrors available</source>
        <translation>Es sind keine (weiteren) funktionierenden Spiegelserver bekannt</translation>
    </message>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="145"/>
        <source>Mirror %1 failed too many times, removing</source>
        <translation>Spiegelserver %1 ist zu oft fehlgeschlagen und wird entfernt</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../src/app/commandline.cpp" line="12"/>
        <source>Invalid version nr (%1)</source>
        <translation>Ungültige Versionsnummer (%1)</translation>
    </message>
    <message>
        <location filename="../src/app/configuration.cpp" line="36"/>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Der Update-Server hat eine ungültige Versionsnummer geliefert (%1)</translation>
    </message>
    <message>
        <location filename="../src/main.cpp" line="54"/>
        <location filename="../src/ui/mainwindow.cpp" line="139"/>
        <location filename="../src/ui/mainwindow.cpp" line="196"/>
        <location filename="../src/ui/mainwindow.cpp" line="205"/>
        <location filename="../src/ui/mainwindow.cpp" line="213"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="140"/>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Die neueste Client-Version konnte nicht
vom Update-Server abgefragt werden.</translation>
    </message>
</context>
<context>
    <name>Configuration</name>
    <message>
        <source>No signed release information confirms that version %1 is the latest.</source>
        <translation>Keine signierte Release-Information bestätigt, dass Version %1 die neueste ist.</translation>
    </message>
    <message>
        <source>The release information is 1 day old (from %1) and has expired: a newer version may exist.</source>
        <translation>Die Release-Information ist 1 Tag alt (vom %1) und abgelaufen: Möglicherweise gibt es eine neuere Version.</translation>
    </message>
    <message>
        <source>The release information is %1 days old (from %2) and has expired: a newer version may exist.</source>
        <translation>Die Release-Information ist %1 Tage alt (vom %2) und abgelaufen: Möglicherweise gibt es eine neuere Version.</translation>
    </message>
    <message>
        <source>The offered version %1 is older than the installed version %2, which stays: a newer build is kept until its channel passes it, as after a switch from Beta to Stable. To go back on purpose, run "update %3 %1".</source>
        <translation>Die angebotene Version %1 ist älter als die installierte Version %2, die bleibt: Ein neuerer Build bleibt, bis sein Kanal ihn überholt, etwa nach einem Wechsel von Beta zu Stable. Um absichtlich zurückzugehen, führen Sie „update %3 %1“ aus.</translation>
    </message>
</context>
<context>
    <name>VersionCheckReport</name>
    <message>
        <source>Installed: %1 version %2</source>
        <translation>Installiert: %1 Version %2</translation>
    </message>
    <message>
        <source>Installed: not known (no update has finished here since the updater began to record it)</source>
        <translation>Installiert: unbekannt (seit der Updater dies aufzeichnet, wurde hier kein Update abgeschlossen)</translation>
    </message>
    <message>
        <source>Offered: %1 version %2</source>
        <translation>Angeboten: %1 Version %2</translation>
    </message>
    <message>
        <source>Offered: not known (the update server did not answer)</source>
        <translation>Angeboten: unbekannt (der Update-Server hat nicht geantwortet)</translation>
    </message>
    <message>
        <source>Result: up to date</source>
        <translation>Ergebnis: auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Result: an update is available</source>
        <translation>Ergebnis: ein Update ist verfügbar</translation>
    </message>
    <message>
        <source>Result: could not tell</source>
        <translation>Ergebnis: nicht feststellbar</translation>
    </message>
</context>
</TS>
