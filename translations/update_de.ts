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
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="255"/>
        <source>The signed manifest of version %1 lists no changelog; not shown.</source>
        <translation>Das signierte Manifest von Version %1 nennt kein Änderungsprotokoll; es wird nicht angezeigt.</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="259"/>
        <source>The changelog of version %1 is not the one its signed manifest lists; not shown.</source>
        <translation>Das Änderungsprotokoll von Version %1 ist nicht das, welches sein signiertes Manifest nennt; es wird nicht angezeigt.</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="259"/>
        <source>The changelog of version %1 is not vouched for by its signed manifest; not shown.</source>
        <translation>Für das Änderungsprotokoll von Version %1 bürgt kein signiertes Manifest; es wird nicht angezeigt.</translation>
    </message>
</context>
<context>
    <name>OfferChoice</name>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="109"/>
        <source>No signed release information confirms that version %1 is the latest.</source>
        <translation>Keine signierte Release-Information bestätigt, dass Version %1 die neueste ist.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="145"/>
        <source>The release information is 1 day old (from %1) and has expired: a newer version may exist.</source>
        <translation>Die Release-Information ist 1 Tag alt (vom %1) und abgelaufen: Möglicherweise gibt es eine neuere Version.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="147"/>
        <source>The release information is %1 days old (from %2) and has expired: a newer version may exist.</source>
        <translation>Die Release-Information ist %1 Tage alt (vom %2) und abgelaufen: Möglicherweise gibt es eine neuere Version.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="165"/>
        <source>The offered version %1 is older than the installed version %2, which stays: a newer build is kept until its channel passes it, as after a switch from Beta to Stable. To go back on purpose, run &quot;update %3 %1&quot;.</source>
        <translation>Die angebotene Version %1 ist älter als die installierte Version %2, die bleibt: Ein neuerer Build bleibt, bis sein Kanal ihn überholt, etwa nach einem Wechsel von Beta zu Stable. Um absichtlich zurückzugehen, führen Sie „update %3 %1“ aus.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="99"/>
        <source>This updater has no release keys: nothing signed can confirm that version %1 is the latest.</source>
        <translation>Dieser Updater hat keine Release-Schlüssel: Nichts Signiertes kann bestätigen, dass Version %1 die neueste ist.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="104"/>
        <source>This installation has not yet drawn its place in the staged rollout of version %1; the next update tells whether it takes it.</source>
        <translation>Diese Installation hat ihren Platz in der gestaffelten Verteilung von Version %1 noch nicht gezogen; das nächste Update zeigt, ob sie sie erhält.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="140"/>
        <source>staged rollout: %1 so far</source>
        <translation>gestaffelte Verteilung: bisher %1</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="141"/>
        <source>halted</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="142"/>
        <source>staged rollout: place not drawn yet</source>
        <translation>gestaffelte Verteilung: Platz noch nicht gezogen</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="151"/>
        <source>Version %1 is not offered to this installation yet (%2); it stays with version %3.</source>
        <translation>Version %1 wird dieser Installation noch nicht angeboten (%2); sie bleibt bei Version %3.</translation>
    </message>
</context>
<context>
    <name>ConsoleFrontEnd</name>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="42"/>
        <source>The update server did not answer; asking again (%1 of %2).</source>
        <translation>Der Update-Server hat nicht geantwortet; neuer Versuch (%1 von %2).</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="51"/>
        <source>Stable</source>
        <translation>Stabil</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="52"/>
        <source>Beta</source>
        <translation>Beta</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="53"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="56"/>
        <source>Voxmeadow 3 (%1): version %2 on the %3 channel</source>
        <translation>Voxmeadow 3 (%1): Version %2 im Kanal %3</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="60"/>
        <source>Voxmeadow 3 (%1): %2, version %3 on the %4 channel</source>
        <translation>Voxmeadow 3 (%1): %2, Version %3 im Kanal %4</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="76"/>
        <location filename="../src/main.cpp" line="87"/>
        <source>The update server did not answer: the current version is unknown.</source>
        <translation>Der Update-Server hat nicht geantwortet: Die aktuelle Version ist unbekannt.</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="104"/>
        <source>Cancelling the update...</source>
        <translation>Das Update wird abgebrochen...</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="112"/>
        <source>The update was too far on to be cancelled: it is complete.</source>
        <translation>Das Update war zu weit fortgeschritten, um es abzubrechen: Es ist abgeschlossen.</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="122"/>
        <source>The update was cancelled; the installation is as it was.</source>
        <translation>Das Update wurde abgebrochen; die Installation ist unverändert.</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="126"/>
        <source>The installation is as it was.</source>
        <translation>Die Installation ist unverändert.</translation>
    </message>
    <message>
        <location filename="../src/main.cpp" line="179"/>
        <source>Another updater is at work in this installation; it is left to finish.</source>
        <translation>In dieser Installation arbeitet schon ein anderes Update; es wird nicht gestört.</translation>
    </message>
</context>
<context>
    <name>ConsoleOutput</name>
    <message>
        <location filename="../src/app/consoleoutput.cpp" line="60"/>
        <location filename="../src/main.cpp" line="86"/>
        <source>Error: %1</source>
        <translation>Fehler: %1</translation>
    </message>
</context>
<context>
    <name>FailureSummary</name>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="16"/>
        <source>No mirror could deliver %1.</source>
        <translation>Kein Spiegelserver konnte %1 liefern.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="17"/>
        <source>This update is signed with newer release keys than this updater knows; it needs a bridge release from the publisher.</source>
        <translation>Dieses Update ist mit neueren Release-Schlüsseln signiert, als dieses Update-Programm kennt; es braucht eine Übergangsversion vom Herausgeber.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="18"/>
        <source>The signature of the update&apos;s file list could not be verified on any mirror.</source>
        <translation>Die Signatur der Dateiliste des Updates konnte auf keinem Spiegelserver bestätigt werden.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="20"/>
        <source>A file could not be installed; every change was undone.</source>
        <translation>Eine Datei konnte nicht installiert werden; alle Änderungen wurden rückgängig gemacht.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="25"/>
        <source>The update could not be completed.</source>
        <translation>Das Update konnte nicht abgeschlossen werden.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="195"/>
        <source>Update server: %1 (from update.ini)</source>
        <translation>Update-Server: %1 (aus update.ini)</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="405"/>
        <source>Downloads %p%</source>
        <translation>Downloads %p%</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="455"/>
        <source>Downloads paused</source>
        <translation>Downloads angehalten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="476"/>
        <source>%1 files checked, %2 repaired</source>
        <translation>%1 Dateien geprüft, %2 repariert</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="184"/>
        <source>Voxmeadow is newer than the offered version</source>
        <translation>Voxmeadow ist neuer als die angebotene Version</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="480"/>
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
        <location filename="../src/ui/mainwindow.cpp" line="420"/>
        <location filename="../src/ui/mainwindow.cpp" line="454"/>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="258"/>
        <source>Start Update</source>
        <translation>Update starten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="177"/>
        <source>Stable</source>
        <translation>Stabil</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="178"/>
        <source>Beta</source>
        <translation>Beta</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="179"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="187"/>
        <source>Update to Voxmeadow %1</source>
        <translation>Update auf Voxmeadow %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="191"/>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Sie sind derzeit auf dem Kanal &lt;strong&gt;%1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="433"/>
        <source>%1 KB / %2 KB</source>
        <translation>%1 KB / %2 KB</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="69"/>
        <source>%1 KB/s</source>
        <translation>%1 KB/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="75"/>
        <source>%1 h %2 min left</source>
        <translation>noch %1 h %2 min</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="79"/>
        <source>%1 min %2 s left</source>
        <translation>noch %1 min %2 s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="82"/>
        <source>%1 s left</source>
        <translation>noch %1 s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="420"/>
        <location filename="../src/ui/mainwindow.cpp" line="454"/>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="440"/>
        <source>%1 (limited to %2)</source>
        <translation>%1 (begrenzt auf %2)</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="202"/>
        <location filename="../src/ui/mainwindow.cpp" line="488"/>
        <source>Start Voxmeadow</source>
        <translation>Voxmeadow starten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="501"/>
        <source>Restart</source>
        <translation>Neu starten</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="503"/>
        <source>Update cancelled</source>
        <translation>Update abgebrochen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="513"/>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="514"/>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Update abgebrochen. Klicken Sie auf „Details“, um die Gründe zu sehen.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="527"/>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="528"/>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Das Update läuft.&lt;/p&gt;&lt;p&gt;Wollen Sie es wirklich abbrechen?&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="570"/>
        <source>Click to open &quot;%1://%2&quot;</source>
        <translation>Klicken, um „%1://%2“ zu öffnen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="228"/>
        <source>View Changes</source>
        <translation>Änderungen anzeigen</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="189"/>
        <source>Update to Voxmeadow version %1</source>
        <translation>Update auf Voxmeadow Version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="308"/>
        <source>Installing %1</source>
        <translation>%1 wird installiert</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="286"/>
        <location filename="../src/ui/mainwindow.cpp" line="455"/>
        <source>Downloading files...</source>
        <translation>Dateien werden heruntergeladen...</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="324"/>
        <location filename="../src/ui/mainwindow.cpp" line="333"/>
        <source>... repeated %1 times</source>
        <translation>... %1-mal wiederholt</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="434"/>
        <source>%1 MB / %2 MB</source>
        <translation>%1 MB / %2 MB</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="435"/>
        <source>%1 GB / %2 GB</source>
        <translation>%1 GB / %2 GB</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="65"/>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="66"/>
        <source>%1 GB/s</source>
        <translation>%1 GB/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="478"/>
        <source>Voxmeadow 3 is up to date: version %1</source>
        <translation>Voxmeadow 3 ist auf dem neuesten Stand: Version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="539"/>
        <source>Cancelling the update...</source>
        <translation>Das Update wird abgebrochen...</translation>
    </message>
    <message>
        <source>Voxmeadow version %1</source>
        <translation>Voxmeadow Version %1</translation>
    </message>
    <message>
        <source>Voxmeadow %1</source>
        <translation>Voxmeadow %1</translation>
    </message>
    <message>
        <source>%1 is installed</source>
        <translation>%1 ist installiert</translation>
    </message>
    <message>
        <source>%1 is up to date</source>
        <translation>%1 ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Check Files</source>
        <translation>Dateien prüfen</translation>
    </message>
</context>
<context>
    <name>Mirrors</name>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="94"/>
        <source>There are no (more) known working mirrors available</source>
        <translation>Es sind keine (weiteren) funktionierenden Spiegelserver bekannt</translation>
    </message>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="177"/>
        <source>Mirror %1 failed too many times, removing</source>
        <translation>Spiegelserver %1 ist zu oft fehlgeschlagen und wird entfernt</translation>
    </message>
</context>
<context>
    <name>ProgressLine</name>
    <message>
        <location filename="../src/app/progressline.cpp" line="24"/>
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="26"/>
        <source>%1/%2 files</source>
        <translation>%1/%2 Dateien</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="28"/>
        <source>paused</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="30"/>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="31"/>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="33"/>
        <source>%1 left</source>
        <translation>noch %1</translation>
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
        <location filename="../src/app/configuration.cpp" line="81"/>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Der Update-Server hat eine ungültige Versionsnummer geliefert (%1)</translation>
    </message>
    <message>
        <location filename="../src/main.cpp" line="71"/>
        <location filename="../src/ui/mainwindow.cpp" line="149"/>
        <location filename="../src/ui/mainwindow.cpp" line="222"/>
        <location filename="../src/ui/mainwindow.cpp" line="232"/>
        <location filename="../src/ui/mainwindow.cpp" line="243"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="150"/>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Die neueste Client-Version konnte nicht
vom Update-Server abgefragt werden.</translation>
    </message>
</context>
<context>
    <name>RunTracker</name>
    <message>
        <location filename="../src/app/runtracker.cpp" line="50"/>
        <source>Preparing</source>
        <translation>Vorbereitung</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="51"/>
        <source>Checking</source>
        <translation>Prüfung</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="52"/>
        <source>Downloading</source>
        <translation>Download</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="53"/>
        <source>Installing</source>
        <translation>Installation</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="54"/>
        <source>Removing old files</source>
        <translation>Alte Dateien entfernen</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="55"/>
        <source>Cleaning up</source>
        <translation>Aufräumen</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="58"/>
        <source>Undoing the changes</source>
        <translation>Änderungen rückgängig machen</translation>
    </message>
</context>
<context>
    <name>StartOptions</name>
    <message>
        <location filename="../src/app/startoptions.cpp" line="51"/>
        <source>--retries needs a number of 0 or more, not &quot;%1&quot;</source>
        <translation>--retries braucht eine Zahl ab 0, nicht „%1“</translation>
    </message>
    <message>
        <location filename="../src/app/startoptions.cpp" line="56"/>
        <source>Unknown option %1</source>
        <translation>Unbekannte Option %1</translation>
    </message>
</context>
<context>
    <name>SummaryReport</name>
    <message>
        <location filename="../src/app/summaryreport.cpp" line="7"/>
        <source>Voxmeadow 3 version %1 is installed.</source>
        <translation>Voxmeadow 3 Version %1 ist installiert.</translation>
    </message>
    <message>
        <location filename="../src/app/summaryreport.cpp" line="9"/>
        <source>Files checked: %1, repaired: %2.</source>
        <translation>Dateien geprüft: %1, repariert: %2.</translation>
    </message>
    <message>
        <location filename="../src/app/summaryreport.cpp" line="11"/>
        <source>Files fetched whole: %1 (%2), as patches: %3 (%4), removed: %5; time: %6.</source>
        <translation>Dateien ganz geladen: %1 (%2), als Patch: %3 (%4), entfernt: %5; Dauer: %6.</translation>
    </message>
    <message>
        <source>Patches given up for the whole file: %1.</source>
        <translation>Patches zugunsten der ganzen Datei aufgegeben: %1.</translation>
    </message>
</context>
<context>
    <name>UsageText</name>
    <message>
        <location filename="../src/app/usagetext.cpp" line="10"/>
        <source>Usage: update [OPTIONS] [--nouser] [TYPE VERSION [LABEL [NEWS]]]

Brings the Voxmeadow 3 installation beside this program to the version its
update channel offers, or to VERSION of client TYPE when given.

  --nouser          start the update without a click and start the client
                    afterwards (in the window); errors end the program
  --console         no window: progress on the terminal, and no questions;
                    chosen by itself when there is no display
  --progress=json   one JSON object per line on standard output
  --retries N       without a person to ask: how often to ask the update
                    server again when it does not answer (default %1)
  --check           say which version is installed and which is offered;
                    change nothing (exit code 0 up to date, 100 update
                    available, 3 could not tell)
  --verify          read every installed file, whatever the digest cache
                    remembers, and repair what differs
  --check-config    check update.ini and mirrors.ini and name every mistake;
                    nothing goes out (exit code 0 OK, 2 mistakes found)
  --help            show this text
  --version         show the version and the release keys built in

Exit codes:
  %2  installed, or already up to date
  %3  cancelled (Ctrl-C, SIGTERM); in the window also a bad command line
     or an update server that did not answer
  %4  failed: command line, configuration, verification or no mirror;
     the installation is as before
  %5  the update server did not answer: the current version is unknown
</source>
        <translation>Aufruf: update [OPTIONEN] [--nouser] [TYP VERSION [BEZEICHNUNG [NEWS]]]

Bringt die Voxmeadow-3-Installation neben diesem Programm auf die Version,
die ihr Update-Kanal anbietet, oder auf VERSION des Clients TYP.

  --nouser          das Update ohne Klick starten und danach den Client
                    (im Fenster); Fehler beenden das Programm
  --console         kein Fenster: Fortschritt im Terminal, keine Fragen;
                    von selbst gewählt, wenn keine Anzeige vorhanden ist
  --progress=json   ein JSON-Objekt pro Zeile auf der Standardausgabe
  --retries N       wenn niemand gefragt werden kann: wie oft der Update-
                    Server erneut gefragt wird, wenn er nicht antwortet
                    (Vorgabe %1)
  --check           installierte und angebotene Version nennen, nichts
                    ändern (Exit-Code 0 aktuell, 100 Update verfügbar,
                    3 nicht feststellbar)
  --verify          jede installierte Datei lesen, gleich was der
                    Prüfsummen-Cache weiß, und Abweichungen reparieren
  --check-config    update.ini und mirrors.ini prüfen und jeden Fehler
                    nennen; nichts wird gesendet (Exit-Code 0 in Ordnung,
                    2 Fehler gefunden)
  --help            diesen Text zeigen
  --version         die Version und die eingebauten Release-Schlüssel zeigen

Exit-Codes:
  %2  installiert oder schon aktuell
  %3  abgebrochen (Strg+C, SIGTERM); im Fenster auch eine fehlerhafte
     Befehlszeile oder ein Update-Server ohne Antwort
  %4  fehlgeschlagen: Befehlszeile, Konfiguration, Prüfung oder kein
     Spiegelserver; die Installation ist unverändert
  %5  der Update-Server hat nicht geantwortet: die aktuelle Version ist
     unbekannt
</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="46"/>
        <source>&quot;update --help&quot; lists the options.</source>
        <translation>„update --help“ zeigt die Optionen.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="51"/>
        <source>Voxmeadow 3 update %1</source>
        <translation>Voxmeadow 3 Update %1</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="53"/>
        <source>Release keys: none built in; a release is trusted on its product ini&apos;s signature alone.</source>
        <translation>Release-Schlüssel: keine eingebaut; einem Release wird allein wegen der Signatur seiner Produkt-INI vertraut.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="56"/>
        <source>Release keys: %1 built in, %2 revoked; signatures a release needs: %3.</source>
        <translation>Release-Schlüssel: %1 eingebaut, %2 widerrufen; nötige Signaturen je Release: %3.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="63"/>
        <source>Releases below version %1 are taken without a release manifest.</source>
        <translation>Releases unter Version %1 werden ohne Release-Manifest angenommen.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="65"/>
        <source>Update server: %1</source>
        <translation>Update-Server: %1</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="67"/>
        <source>Built with the public demo keys: for tests only, never for players.</source>
        <translation>Mit den öffentlichen Demo-Schlüsseln gebaut: nur für Tests, nie für Spieler.</translation>
    </message>
</context>
<context>
    <name>VersionCheckReport</name>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="7"/>
        <source>Installed: %1 version %2</source>
        <translation>Installiert: %1 Version %2</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="8"/>
        <source>Installed: not known (no update has finished here since the updater began to record it)</source>
        <translation>Installiert: unbekannt (seit der Updater dies aufzeichnet, wurde hier kein Update abgeschlossen)</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="11"/>
        <source>Offered: %1 version %2</source>
        <translation>Angeboten: %1 Version %2</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="15"/>
        <source>Offered: not known (the update server did not answer)</source>
        <translation>Angeboten: unbekannt (der Update-Server hat nicht geantwortet)</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="27"/>
        <source>Result: up to date</source>
        <translation>Ergebnis: auf dem neuesten Stand</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="28"/>
        <source>Result: an update is available</source>
        <translation>Ergebnis: ein Update ist verfügbar</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="29"/>
        <source>Result: could not tell</source>
        <translation>Ergebnis: nicht feststellbar</translation>
    </message>
    <message>
        <source>An update to version %1 began and has not finished (it was stopped, or is running now): the installation is not yet a whole version; the next run completes it.</source>
        <translation>Ein Update auf Version %1 hat begonnen und ist nicht abgeschlossen (es wurde unterbrochen oder läuft gerade): Die Installation ist noch keine vollständige Version; der nächste Lauf schließt es ab.</translation>
    </message>
    <message>
        <source>Result: could not tell (the channel record has expired)</source>
        <translation>Ergebnis: nicht feststellbar (die Kanalinformation ist abgelaufen)</translation>
    </message>
</context>
</TS>
