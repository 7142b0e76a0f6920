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
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="255"/>
        <source>The signed manifest of version %1 lists no changelog; not shown.</source>
        <translation>Le manifeste signé de la version %1 ne mentionne aucun journal des modifications ; il n&apos;est pas affiché.</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="259"/>
        <source>The changelog of version %1 is not the one its signed manifest lists; not shown.</source>
        <translation>Le journal des modifications de la version %1 n&apos;est pas celui que mentionne son manifeste signé ; il n&apos;est pas affiché.</translation>
    </message>
    <message>
        <location filename="../src/ui/changelogviewer.cpp" line="259"/>
        <source>The changelog of version %1 is not vouched for by its signed manifest; not shown.</source>
        <translation>Le journal des modifications de la version %1 n&apos;est pas garanti par son manifeste signé ; il n&apos;est pas affiché.</translation>
    </message>
</context>
<context>
    <name>OfferChoice</name>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="109"/>
        <source>No signed release information confirms that version %1 is the latest.</source>
        <translation>Aucune information de publication signée ne confirme que la version %1 est la plus récente.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="145"/>
        <source>The release information is 1 day old (from %1) and has expired: a newer version may exist.</source>
        <translation>Les informations de publication datent d&apos;un jour (du %1) et ont expiré : une version plus récente existe peut-être.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="147"/>
        <source>The release information is %1 days old (from %2) and has expired: a newer version may exist.</source>
        <translation>Les informations de publication datent de %1 jours (du %2) et ont expiré : une version plus récente existe peut-être.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="165"/>
        <source>The offered version %1 is older than the installed version %2, which stays: a newer build is kept until its channel passes it, as after a switch from Beta to Stable. To go back on purpose, run &quot;update %3 %1&quot;.</source>
        <translation>La version proposée %1 est plus ancienne que la version installée %2, qui est conservée : une version plus récente reste installée jusqu&apos;à ce que son canal la dépasse, par exemple après un passage de Beta à Stable. Pour revenir en arrière volontairement, exécutez « update %3 %1 ».</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="99"/>
        <source>This updater has no release keys: nothing signed can confirm that version %1 is the latest.</source>
        <translation>Ce programme de mise à jour n&apos;a pas de clés de publication : rien de signé ne peut confirmer que la version %1 est la plus récente.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="104"/>
        <source>This installation has not yet drawn its place in the staged rollout of version %1; the next update tells whether it takes it.</source>
        <translation>Cette installation n&apos;a pas encore tiré sa place dans le déploiement progressif de la version %1 ; la prochaine mise à jour dira si elle la reçoit.</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="140"/>
        <source>staged rollout: %1 so far</source>
        <translation>déploiement progressif : %1 jusqu&apos;ici</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="141"/>
        <source>halted</source>
        <translation>suspendu</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="142"/>
        <source>staged rollout: place not drawn yet</source>
        <translation>déploiement progressif : place pas encore tirée</translation>
    </message>
    <message>
        <location filename="../src/update/offerchoice.cpp" line="151"/>
        <source>Version %1 is not offered to this installation yet (%2); it stays with version %3.</source>
        <translation>La version %1 n&apos;est pas encore proposée à cette installation (%2) ; elle reste à la version %3.</translation>
    </message>
</context>
<context>
    <name>ConsoleFrontEnd</name>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="42"/>
        <source>The update server did not answer; asking again (%1 of %2).</source>
        <translation>Le serveur de mise à jour n&apos;a pas répondu ; nouvelle tentative (%1 sur %2).</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="51"/>
        <source>Stable</source>
        <translation>Stable</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="52"/>
        <source>Beta</source>
        <translation>Bêta</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="53"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="56"/>
        <source>Voxmeadow 3 (%1): version %2 on the %3 channel</source>
        <translation>Voxmeadow 3 (%1) : version %2 sur le canal %3</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="60"/>
        <source>Voxmeadow 3 (%1): %2, version %3 on the %4 channel</source>
        <translation>Voxmeadow 3 (%1) : %2, version %3 sur le canal %4</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="76"/>
        <location filename="../src/main.cpp" line="87"/>
        <source>The update server did not answer: the current version is unknown.</source>
        <translation>Le serveur de mise à jour n&apos;a pas répondu : la version actuelle est inconnue.</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="104"/>
        <source>Cancelling the update...</source>
        <translation>Annulation de la mise à jour...</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="112"/>
        <source>The update was too far on to be cancelled: it is complete.</source>
        <translation>La mise à jour était trop avancée pour être annulée : elle est terminée.</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="122"/>
        <source>The update was cancelled; the installation is as it was.</source>
        <translation>La mise à jour a été annulée ; l&apos;installation est inchangée.</translation>
    </message>
    <message>
        <location filename="../src/app/consolefrontend.cpp" line="126"/>
        <source>The installation is as it was.</source>
        <translation>L&apos;installation est inchangée.</translation>
    </message>
    <message>
        <location filename="../src/main.cpp" line="179"/>
        <source>Another updater is at work in this installation; it is left to finish.</source>
        <translation>Une autre mise à jour est en cours dans cette installation ; elle est laissée se terminer.</translation>
    </message>
</context>
<context>
    <name>ConsoleOutput</name>
    <message>
        <location filename="../src/app/consoleoutput.cpp" line="60"/>
        <location filename="../src/main.cpp" line="86"/>
        <source>Error: %1</source>
        <translation>Erreur : %1</translation>
    </message>
</context>
<context>
    <name>FailureSummary</name>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="16"/>
        <source>No mirror could deliver %1.</source>
        <translation>Aucun miroir n&apos;a pu fournir %1.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="17"/>
        <source>This update is signed with newer release keys than this updater knows; it needs a bridge release from the publisher.</source>
        <translation>Cette mise à jour est signée avec des clés de publication plus récentes que celles que ce programme de mise à jour connaît&#xa0;; il lui faut une version de transition de l&apos;éditeur.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="18"/>
        <source>The signature of the update&apos;s file list could not be verified on any mirror.</source>
        <translation>La signature de la liste des fichiers de la mise à jour n&apos;a pu être vérifiée sur aucun miroir.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="20"/>
        <source>A file could not be installed; every change was undone.</source>
        <translation>Un fichier n&apos;a pas pu être installé&#xa0;; toutes les modifications ont été annulées.</translation>
    </message>
    <message>
        <location filename="../src/app/failuresummary.cpp" line="25"/>
        <source>The update could not be completed.</source>
        <translation>La mise à jour n&apos;a pas pu être terminée.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="195"/>
        <source>Update server: %1 (from update.ini)</source>
        <translation>Serveur de mise à jour : %1 (depuis update.ini)</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="405"/>
        <source>Downloads %p%</source>
        <translation>Téléchargements %p%</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="455"/>
        <source>Downloads paused</source>
        <translation>Téléchargements en pause</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="476"/>
        <source>%1 files checked, %2 repaired</source>
        <translation>%1 fichiers vérifiés, %2 réparés</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="184"/>
        <source>Voxmeadow is newer than the offered version</source>
        <translation>Voxmeadow est plus récent que la version proposée</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="480"/>
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
        <location filename="../src/ui/mainwindow.cpp" line="420"/>
        <location filename="../src/ui/mainwindow.cpp" line="454"/>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="258"/>
        <source>Start Update</source>
        <translation>Lancer la mise à jour</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="177"/>
        <source>Stable</source>
        <translation>Stable</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="178"/>
        <source>Beta</source>
        <translation>Bêta</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="179"/>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="187"/>
        <source>Update to Voxmeadow %1</source>
        <translation>Mise à jour vers Voxmeadow %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="191"/>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Vous êtes actuellement sur le &lt;strong&gt;canal %1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="433"/>
        <source>%1 KB / %2 KB</source>
        <translation>%1 Ko / %2 Ko</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="69"/>
        <source>%1 KB/s</source>
        <translation>%1 Ko/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="75"/>
        <source>%1 h %2 min left</source>
        <translation>%1 h %2 min restantes</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="79"/>
        <source>%1 min %2 s left</source>
        <translation>%1 min %2 s restantes</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="82"/>
        <source>%1 s left</source>
        <translation>%1 s restantes</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="420"/>
        <location filename="../src/ui/mainwindow.cpp" line="454"/>
        <source>Resume</source>
        <translation>Reprendre</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="440"/>
        <source>%1 (limited to %2)</source>
        <translation>%1 (limité à %2)</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="202"/>
        <location filename="../src/ui/mainwindow.cpp" line="488"/>
        <source>Start Voxmeadow</source>
        <translation>Lancer Voxmeadow</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="501"/>
        <source>Restart</source>
        <translation>Recommencer</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="503"/>
        <source>Update cancelled</source>
        <translation>Mise à jour annulée</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="513"/>
        <source>Update</source>
        <translation>Mise à jour</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="514"/>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Mise à jour annulée. Cliquez sur «&#xa0;Détails&#xa0;» pour en voir les raisons.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="527"/>
        <source>Question</source>
        <translation>Question</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="528"/>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Mise à jour en cours.&lt;/p&gt;&lt;p&gt;Voulez-vous vraiment l&apos;interrompre&#xa0;?&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="570"/>
        <source>Click to open &quot;%1://%2&quot;</source>
        <translation>Cliquer pour ouvrir «&#xa0;%1://%2&#xa0;»</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.ui" line="228"/>
        <source>View Changes</source>
        <translation>Voir les modifications</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="189"/>
        <source>Update to Voxmeadow version %1</source>
        <translation>Mise à jour vers Voxmeadow version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="308"/>
        <source>Installing %1</source>
        <translation>Installation de %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="286"/>
        <location filename="../src/ui/mainwindow.cpp" line="455"/>
        <source>Downloading files...</source>
        <translation>Téléchargement des fichiers...</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="324"/>
        <location filename="../src/ui/mainwindow.cpp" line="333"/>
        <source>... repeated %1 times</source>
        <translation>... répété %1 fois</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="434"/>
        <source>%1 MB / %2 MB</source>
        <translation>%1 Mo / %2 Mo</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="435"/>
        <source>%1 GB / %2 GB</source>
        <translation>%1 Go / %2 Go</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="65"/>
        <source>%1 MB/s</source>
        <translation>%1 Mo/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="66"/>
        <source>%1 GB/s</source>
        <translation>%1 Go/s</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="478"/>
        <source>Voxmeadow 3 is up to date: version %1</source>
        <translation>Voxmeadow 3 est à jour&#xa0;: version %1</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="539"/>
        <source>Cancelling the update...</source>
        <translation>Annulation de la mise à jour...</translation>
    </message>
    <message>
        <source>Voxmeadow version %1</source>
        <translation>Voxmeadow version %1</translation>
    </message>
    <message>
        <source>Voxmeadow %1</source>
        <translation>Voxmeadow %1</translation>
    </message>
    <message>
        <source>%1 is installed</source>
        <translation>%1 est installé</translation>
    </message>
    <message>
        <source>%1 is up to date</source>
        <translation>%1 est à jour</translation>
    </message>
    <message>
        <source>Check Files</source>
        <translation>Vérifier les fichiers</translation>
    </message>
</context>
<context>
    <name>Mirrors</name>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="94"/>
        <source>There are no (more) known working mirrors available</source>
        <translation>Aucun (autre) miroir en état de marche n&apos;est connu</translation>
    </message>
    <message>
        <location filename="../src/transfer/mirrors.cpp" line="177"/>
        <source>Mirror %1 failed too many times, removing</source>
        <translation>Le miroir %1 a échoué trop souvent, il est retiré</translation>
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
        <translation>%1/%2 fichiers</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="28"/>
        <source>paused</source>
        <translation>en pause</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="30"/>
        <source>%1 of %2</source>
        <translation>%1 sur %2</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="31"/>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <location filename="../src/app/progressline.cpp" line="33"/>
        <source>%1 left</source>
        <translation>%1 restantes</translation>
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
        <location filename="../src/app/configuration.cpp" line="81"/>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Le serveur de mise à jour a renvoyé un numéro de version invalide (%1)</translation>
    </message>
    <message>
        <location filename="../src/main.cpp" line="71"/>
        <location filename="../src/ui/mainwindow.cpp" line="149"/>
        <location filename="../src/ui/mainwindow.cpp" line="222"/>
        <location filename="../src/ui/mainwindow.cpp" line="232"/>
        <location filename="../src/ui/mainwindow.cpp" line="243"/>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="150"/>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Impossible d&apos;obtenir la dernière version
du client auprès du serveur de mise à jour.</translation>
    </message>
</context>
<context>
    <name>RunTracker</name>
    <message>
        <location filename="../src/app/runtracker.cpp" line="50"/>
        <source>Preparing</source>
        <translation>Préparation</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="51"/>
        <source>Checking</source>
        <translation>Vérification</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="52"/>
        <source>Downloading</source>
        <translation>Téléchargement</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="53"/>
        <source>Installing</source>
        <translation>Installation</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="54"/>
        <source>Removing old files</source>
        <translation>Suppression des anciens fichiers</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="55"/>
        <source>Cleaning up</source>
        <translation>Nettoyage</translation>
    </message>
    <message>
        <location filename="../src/app/runtracker.cpp" line="58"/>
        <source>Undoing the changes</source>
        <translation>Annulation des modifications</translation>
    </message>
</context>
<context>
    <name>StartOptions</name>
    <message>
        <location filename="../src/app/startoptions.cpp" line="51"/>
        <source>--retries needs a number of 0 or more, not &quot;%1&quot;</source>
        <translation>--retries attend un nombre supérieur ou égal à 0, pas « %1 »</translation>
    </message>
    <message>
        <location filename="../src/app/startoptions.cpp" line="56"/>
        <source>Unknown option %1</source>
        <translation>Option inconnue %1</translation>
    </message>
</context>
<context>
    <name>SummaryReport</name>
    <message>
        <location filename="../src/app/summaryreport.cpp" line="7"/>
        <source>Voxmeadow 3 version %1 is installed.</source>
        <translation>Voxmeadow 3 version %1 est installé.</translation>
    </message>
    <message>
        <location filename="../src/app/summaryreport.cpp" line="9"/>
        <source>Files checked: %1, repaired: %2.</source>
        <translation>Fichiers vérifiés : %1, réparés : %2.</translation>
    </message>
    <message>
        <location filename="../src/app/summaryreport.cpp" line="11"/>
        <source>Files fetched whole: %1 (%2), as patches: %3 (%4), removed: %5; time: %6.</source>
        <translation>Fichiers téléchargés entiers : %1 (%2), en correctifs : %3 (%4), supprimés : %5 ; durée : %6.</translation>
    </message>
    <message>
        <source>Patches given up for the whole file: %1.</source>
        <translation>Correctifs abandonnés au profit du fichier entier : %1.</translation>
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
        <translation>Usage : update [OPTIONS] [--nouser] [TYPE VERSION [LIBELLÉ [NOUVELLES]]]

Met l&apos;installation de Voxmeadow 3 située à côté de ce programme à la version
que propose son canal de mise à jour, ou à la VERSION du client TYPE donnée.

  --nouser          lancer la mise à jour sans clic, puis le client (dans la
                    fenêtre) ; une erreur termine le programme
  --console         pas de fenêtre : progression dans le terminal, aucune
                    question ; choisi d&apos;office en l&apos;absence d&apos;affichage
  --progress=json   un objet JSON par ligne sur la sortie standard
  --retries N       sans personne à qui demander : combien de fois
                    réinterroger le serveur de mise à jour qui ne répond
                    pas (par défaut %1)
  --check           indiquer la version installée et la version proposée,
                    sans rien modifier (code de sortie 0 à jour, 100 mise à
                    jour disponible, 3 impossible à dire)
  --verify          lire chaque fichier installé, quoi qu&apos;en dise le cache
                    des empreintes, et réparer ce qui diffère
  --check-config    vérifier update.ini et mirrors.ini et nommer chaque
                    erreur ; rien n&apos;est envoyé (code de sortie 0 en ordre,
                    2 erreurs trouvées)
  --help            afficher ce texte
  --version         afficher la version et les clés de publication intégrées

Codes de sortie :
  %2  installé, ou déjà à jour
  %3  annulé (Ctrl-C, SIGTERM) ; dans la fenêtre aussi une ligne de commande
     incorrecte, ou un serveur de mise à jour muet
  %4  échec : ligne de commande, configuration, vérification ou aucun
     miroir ; l&apos;installation est inchangée
  %5  le serveur de mise à jour n&apos;a pas répondu : la version actuelle est
     inconnue
</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="46"/>
        <source>&quot;update --help&quot; lists the options.</source>
        <translation>« update --help » liste les options.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="51"/>
        <source>Voxmeadow 3 update %1</source>
        <translation>Mise à jour Voxmeadow 3 %1</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="53"/>
        <source>Release keys: none built in; a release is trusted on its product ini&apos;s signature alone.</source>
        <translation>Clés de publication : aucune intégrée ; une publication est acceptée sur la seule signature de son ini produit.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="56"/>
        <source>Release keys: %1 built in, %2 revoked; signatures a release needs: %3.</source>
        <translation>Clés de publication : %1 intégrées, %2 révoquées ; signatures requises par publication : %3.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="63"/>
        <source>Releases below version %1 are taken without a release manifest.</source>
        <translation>Les publications antérieures à la version %1 sont acceptées sans manifeste.</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="65"/>
        <source>Update server: %1</source>
        <translation>Serveur de mise à jour : %1</translation>
    </message>
    <message>
        <location filename="../src/app/usagetext.cpp" line="67"/>
        <source>Built with the public demo keys: for tests only, never for players.</source>
        <translation>Compilé avec les clés de démonstration publiques : pour les tests seulement, jamais pour les joueurs.</translation>
    </message>
</context>
<context>
    <name>VersionCheckReport</name>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="7"/>
        <source>Installed: %1 version %2</source>
        <translation>Installé : %1 version %2</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="8"/>
        <source>Installed: not known (no update has finished here since the updater began to record it)</source>
        <translation>Installé : inconnu (aucune mise à jour n&apos;a abouti ici depuis que le programme de mise à jour l&apos;enregistre)</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="11"/>
        <source>Offered: %1 version %2</source>
        <translation>Proposé : %1 version %2</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="15"/>
        <source>Offered: not known (the update server did not answer)</source>
        <translation>Proposé : inconnu (le serveur de mise à jour n&apos;a pas répondu)</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="27"/>
        <source>Result: up to date</source>
        <translation>Résultat : à jour</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="28"/>
        <source>Result: an update is available</source>
        <translation>Résultat : une mise à jour est disponible</translation>
    </message>
    <message>
        <location filename="../src/app/versioncheckreport.cpp" line="29"/>
        <source>Result: could not tell</source>
        <translation>Résultat : impossible à déterminer</translation>
    </message>
    <message>
        <source>An update to version %1 began and has not finished (it was stopped, or is running now): the installation is not yet a whole version; the next run completes it.</source>
        <translation>Une mise à jour vers la version %1 a commencé et n&apos;est pas terminée (elle a été interrompue ou est en cours) : l&apos;installation n&apos;est pas encore une version complète ; la prochaine exécution la termine.</translation>
    </message>
    <message>
        <source>Result: could not tell (the channel record has expired)</source>
        <translation>Résultat : impossible à déterminer (l&apos;enregistrement du canal a expiré)</translation>
    </message>
</context>
</TS>
