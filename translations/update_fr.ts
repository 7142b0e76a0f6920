<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>ChangeLogViewer</name>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="52"/>
        <source>Changelog</source>
        <translation>Journal des modifications</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="82"/>
        <source>Loading...</source>
        <translation>Chargement...</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="87"/>
        <source>Failed to load changelog.</source>
        <translation>Impossible de charger le journal des modifications.</translation>
    </message>
</context>
<context>
    <name>FailureSummary</name>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="16"/>
        <source>No mirror could deliver %1.</source>
        <translation>Aucun miroir n&apos;a pu fournir %1.</translation>
    </message>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="18"/>
        <source>The signature of the update&apos;s file list could not be verified on any mirror.</source>
        <translation>La signature de la liste des fichiers de la mise à jour n&apos;a pu être vérifiée sur aucun miroir.</translation>
    </message>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="20"/>
        <source>A file could not be installed; every change was undone.</source>
        <translation>Un fichier n&apos;a pas pu être installé&#xa0;; toutes les modifications ont été annulées.</translation>
    </message>
    <message>
        <location filename="../src/ui/failuresummary.cpp" line="25"/>
        <source>The update could not be completed.</source>
        <translation>La mise à jour n&apos;a pas pu être terminée.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Update server: %1 (from update.ini)</source>
        <translation>Serveur de mise à jour : %1 (depuis update.ini)</translation>
    </message>
    <message>
        <source>Downloads %p%</source>
        <translation>Téléchargements %p%</translation>
    </message>
    <message>
        <source>Downloads paused</source>
        <translation>Téléchargements en pause</translation>
    </message>
    <message>
        <source>%1 files checked, %2 repaired</source>
        <translation>%1 fichiers vérifiés, %2 réparés</translation>
    </message>
    <message>
        <source>Voxmeadow is newer than the offered version</source>
        <translation>Voxmeadow est plus récent que la version proposée</translation>
    </message>
    <message>
        <source>Voxmeadow 3 version %1 is installed. %2</source>
        <translation>Voxmeadow 3 version %1 est installé. %2</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="14"/>
        <source>Voxmeadow 3 Client Update</source>
        <translation>Mise à jour du client Voxmeadow 3</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="132"/>
        <source>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="218"/>
        <source>Details</source>
        <translation>Détails</translation>
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
        <translation>Lancer la mise à jour</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="167"/>
        <source>Stable</source>
        <translation>Stable</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="168"/>
        <source>Beta</source>
        <translation>Bêta</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="169"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="175"/>
        <source>Update to Voxmeadow %1</source>
        <translation>Mise à jour vers Voxmeadow %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="179"/>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Vous êtes actuellement sur le &lt;strong&gt;canal %1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="341"/>
        <source>%1 KB / %2 KB</source>
        <translation>%1 Ko / %2 Ko</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="65"/>
        <source>%1 KB/s</source>
        <translation>%1 Ko/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="71"/>
        <source>%1 h %2 min left</source>
        <translation>%1 h %2 min restantes</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="75"/>
        <source>%1 min %2 s left</source>
        <translation>%1 min %2 s restantes</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="78"/>
        <source>%1 s left</source>
        <translation>%1 s restantes</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="330"/>
        <location filename="../src/ui/mainwindow.cpp" line="361"/>
        <source>Resume</source>
        <translation>Reprendre</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="348"/>
        <source>%1 (limited to %2)</source>
        <translation>%1 (limité à %2)</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="379"/>
        <source>Start Voxmeadow</source>
        <translation>Lancer Voxmeadow</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="392"/>
        <source>Restart</source>
        <translation>Recommencer</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="394"/>
        <source>Update cancelled</source>
        <translation>Mise à jour annulée</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="398"/>
        <source>Update</source>
        <translation>Mise à jour</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="399"/>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Mise à jour annulée. Cliquez sur «&#xa0;Détails&#xa0;» pour en voir les raisons.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="412"/>
        <source>Question</source>
        <translation>Question</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="413"/>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Mise à jour en cours.&lt;/p&gt;&lt;p&gt;Voulez-vous vraiment l&apos;interrompre&#xa0;?&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="455"/>
        <source>Click to open &quot;%1://%2&quot;</source>
        <translation>Cliquer pour ouvrir «&#xa0;%1://%2&#xa0;»</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="228"/>
        <source>View Changes</source>
        <translation>Voir les modifications</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="177"/>
        <source>Update to Voxmeadow version %1</source>
        <translation>Mise à jour vers Voxmeadow version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="252"/>
        <source>Installing %1</source>
        <translation>Installation de %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="254"/>
        <source>Downloading files...</source>
        <translation>Téléchargement des fichiers...</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="291"/>
        <location filename="../src/ui/mainwindow.cpp" line="306"/>
        <source>... repeated %1 times</source>
        <translation>... répété %1 fois</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="342"/>
        <source>%1 MB / %2 MB</source>
        <translation>%1 Mo / %2 Mo</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="343"/>
        <source>%1 GB / %2 GB</source>
        <translation>%1 Go / %2 Go</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="61"/>
        <source>%1 MB/s</source>
        <translation>%1 Mo/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="62"/>
        <source>%1 GB/s</source>
        <translation>%1 Go/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="373"/>
        <source>Voxmeadow 3 is up to date: version %1</source>
        <translation>Voxmeadow 3 est à jour&#xa0;: version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="424"/>
        <source>Cancelling the update...</source>
        <translation>Annulation de la mise à jour...</translation>
    </message>
</context>
<context>
    <name>Mirrors</name>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="83"/>
        <source>There are no (more) known working mirrors available</source>
        <translation>Aucun (autre) miroir en état de marche n&apos;est connu</translation>
    </message>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="145"/>
        <source>Mirror %1 failed too many times, removing</source>
        <translation>Le miroir %1 a échoué trop souvent, il est retiré</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../src/app/commandline.cpp" line="12"/>
        <source>Invalid version nr (%1)</source>
        <translation>Numéro de version invalide (%1)</translation>
    </message>
    <message>
        <location filename="../src/app/configuration.cpp" line="36"/>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Le serveur de mise à jour a renvoyé un numéro de version invalide (%1)</translation>
    </message>
    <message>
        <location filename="../src/main.cpp" line="54"/>
        <location filename="../src/ui/mainwindow.cpp" line="139"/>
        <location filename="../src/ui/mainwindow.cpp" line="196"/>
        <location filename="../src/ui/mainwindow.cpp" line="205"/>
        <location filename="../src/ui/mainwindow.cpp" line="213"/>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="140"/>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Impossible d&apos;obtenir la dernière version
du client auprès du serveur de mise à jour.</translation>
    </message>
</context>
<context>
    <name>Configuration</name>
    <message>
        <source>No signed release information confirms that version %1 is the latest.</source>
        <translation>Aucune information de publication signée ne confirme que la version %1 est la plus récente.</translation>
    </message>
    <message>
        <source>The release information is 1 day old (from %1) and has expired: a newer version may exist.</source>
        <translation>Les informations de publication datent d'un jour (du %1) et ont expiré : une version plus récente existe peut-être.</translation>
    </message>
    <message>
        <source>The release information is %1 days old (from %2) and has expired: a newer version may exist.</source>
        <translation>Les informations de publication datent de %1 jours (du %2) et ont expiré : une version plus récente existe peut-être.</translation>
    </message>
    <message>
        <source>The offered version %1 is older than the installed version %2, which stays: a newer build is kept until its channel passes it, as after a switch from Beta to Stable. To go back on purpose, run "update %3 %1".</source>
        <translation>La version proposée %1 est plus ancienne que la version installée %2, qui est conservée : une version plus récente reste installée jusqu'à ce que son canal la dépasse, par exemple après un passage de Beta à Stable. Pour revenir en arrière volontairement, exécutez « update %3 %1 ».</translation>
    </message>
</context>
<context>
    <name>VersionCheckReport</name>
    <message>
        <source>Installed: %1 version %2</source>
        <translation>Installé : %1 version %2</translation>
    </message>
    <message>
        <source>Installed: not known (no update has finished here since the updater began to record it)</source>
        <translation>Installé : inconnu (aucune mise à jour n'a abouti ici depuis que le programme de mise à jour l'enregistre)</translation>
    </message>
    <message>
        <source>Offered: %1 version %2</source>
        <translation>Proposé : %1 version %2</translation>
    </message>
    <message>
        <source>Offered: not known (the update server did not answer)</source>
        <translation>Proposé : inconnu (le serveur de mise à jour n'a pas répondu)</translation>
    </message>
    <message>
        <source>Result: up to date</source>
        <translation>Résultat : à jour</translation>
    </message>
    <message>
        <source>Result: an update is available</source>
        <translation>Résultat : une mise à jour est disponible</translation>
    </message>
    <message>
        <source>Result: could not tell</source>
        <translation>Résultat : impossible à déterminer</translation>
    </message>
</context>
</TS>
