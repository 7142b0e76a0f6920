<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>ChangeLogViewer</name>
    <message>
        <source>Changelog</source>
        <translation>Journal des modifications</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Chargement...</translation>
    </message>
    <message>
        <source>Failed to load changelog.</source>
        <translation>Impossible de charger le journal des modifications.</translation>
    </message>
</context>
<context>
    <name>FailureSummary</name>
    <message>
        <source>No mirror could deliver %1.</source>
        <translation>Aucun miroir n&apos;a pu fournir %1.</translation>
    </message>
    <message>
        <source>The signature of the update&apos;s file list could not be verified on any mirror.</source>
        <translation>La signature de la liste des fichiers de la mise à jour n&apos;a pu être vérifiée sur aucun miroir.</translation>
    </message>
    <message>
        <source>A file could not be installed; every change was undone.</source>
        <translation>Un fichier n&apos;a pas pu être installé&#xa0;; toutes les modifications ont été annulées.</translation>
    </message>
    <message>
        <source>The update could not be completed.</source>
        <translation>La mise à jour n&apos;a pas pu être terminée.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Voxmeadow 3 Client Update</source>
        <translation>Mise à jour du client Voxmeadow 3</translation>
    </message>
    <message>
        <source>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&quot;font-size:small;&quot;&gt;Voxmeadow 3 &amp;mdash; &lt;a href=&quot;https://www.voxmeadow.net/&quot;&gt;www.voxmeadow.net&lt;/a&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Start Update</source>
        <translation>Lancer la mise à jour</translation>
    </message>
    <message>
        <source>Stable</source>
        <translation>Stable</translation>
    </message>
    <message>
        <source>Beta</source>
        <translation>Bêta</translation>
    </message>
    <message>
        <source>Alpha</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <source>Update to Voxmeadow %1</source>
        <translation>Mise à jour vers Voxmeadow %1</translation>
    </message>
    <message>
        <source>You are currently on &lt;strong&gt;%1 channel&lt;/strong&gt;.</source>
        <translation>Vous êtes actuellement sur le &lt;strong&gt;canal %1&lt;/strong&gt;.</translation>
    </message>
    <message>
        <source>%1 KB / %2 KB</source>
        <translation>%1 Ko / %2 Ko</translation>
    </message>
    <message>
        <source>%1 KB/s</source>
        <translation>%1 Ko/s</translation>
    </message>
    <message>
        <source>Start Voxmeadow</source>
        <translation>Lancer Voxmeadow</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Recommencer</translation>
    </message>
    <message>
        <source>Update cancelled</source>
        <translation>Mise à jour annulée</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Mise à jour</translation>
    </message>
    <message>
        <source>Update cancelled. Push &quot;Details&quot; to check reasons.</source>
        <translation>Mise à jour annulée. Cliquez sur «&#xa0;Détails&#xa0;» pour en voir les raisons.</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>&lt;p&gt;Update in progress.&lt;/p&gt;&lt;p&gt;Are you sure you want to abort?&lt;/p&gt;</source>
        <translation>&lt;p&gt;Mise à jour en cours.&lt;/p&gt;&lt;p&gt;Voulez-vous vraiment l&apos;interrompre&#xa0;?&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Click to open &quot;%1://%2&quot;</source>
        <translation>Cliquer pour ouvrir «&#xa0;%1://%2&#xa0;»</translation>
    </message>
    <message>
        <source>View Changes</source>
        <translation>Voir les modifications</translation>
    </message>
    <message>
        <source>Update to Voxmeadow version %1</source>
        <translation>Mise à jour vers Voxmeadow version %1</translation>
    </message>
    <message>
        <source>Installing %1</source>
        <translation>Installation de %1</translation>
    </message>
    <message>
        <source>Downloading files...</source>
        <translation>Téléchargement des fichiers...</translation>
    </message>
    <message>
        <source>... repeated %1 times</source>
        <translation>... répété %1 fois</translation>
    </message>
    <message>
        <source>%1 MB / %2 MB</source>
        <translation>%1 Mo / %2 Mo</translation>
    </message>
    <message>
        <source>%1 GB / %2 GB</source>
        <translation>%1 Go / %2 Go</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 Mo/s</translation>
    </message>
    <message>
        <source>%1 GB/s</source>
        <translation>%1 Go/s</translation>
    </message>
    <message>
        <source>Voxmeadow 3 is up to date: version %1</source>
        <translation>Voxmeadow 3 est à jour&#xa0;: version %1</translation>
    </message>
    <message>
        <source>Cancelling the update...</source>
        <translation>Annulation de la mise à jour...</translation>
    </message>
</context>
<context>
    <name>Mirrors</name>
    <message>
        <source>There are no (more) known working mirrors available</source>
        <translation>Aucun (autre) miroir en état de marche n&apos;est connu</translation>
    </message>
    <message>
        <source>Mirror %1 failed too many times, removing</source>
        <translation>Le miroir %1 a échoué trop souvent, il est retiré</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Invalid version nr (%1)</source>
        <translation>Numéro de version invalide (%1)</translation>
    </message>
    <message>
        <source>Update server returned invalid version nr (%1)</source>
        <translation>Le serveur de mise à jour a renvoyé un numéro de version invalide (%1)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Failed to query latest client
version from update server.</source>
        <translation>Impossible d&apos;obtenir la dernière version
du client auprès du serveur de mise à jour.</translation>
    </message>
</context>
</TS>
