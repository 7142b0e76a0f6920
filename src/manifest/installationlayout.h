#ifndef INSTALLATIONLAYOUT_H
#define INSTALLATIONLAYOUT_H

#include <QString>
#include <QStringList>

// Where one update works and the naming rules of an installation: the
// installation directory, the run's temporary download directory, the
// directory "old" that holds the previous versions of replaced files, the
// updater's own files that cannot be deleted while it runs, and which
// installed files are executable. A value handed to every task that
// touches the installation, so nothing reads a process-wide root.
class InstallationLayout
{
public:
    InstallationLayout() = default;
    InstallationLayout(const QString& root, const QString& tempDir);

    // The directory of the program that is running.
    static InstallationLayout ofRunningProgram();

    QString root() const { return rootDir; }
    QString tempDir() const { return tempDirectory; }
    void setTempDir(const QString& dir) { tempDirectory = dir; }

    // `relative` (with "/" separators) resolved against the installation
    // or the temporary directory.
    QString installedPath(const QString& relative) const;
    QString downloadedPath(const QString& relative) const;
    // Where the part of a download received so far waits beside its
    // download name, under a name no listed file can have.
    QString partialPath(const QString& relative) const;
    // Where a patch published at `releasePath` (below the release directory)
    // is downloaded, and where the unpacked content that a patch gave for the
    // packed file `key` waits: both below a directory no client ships.
    QString patchDownloadPath(const QString& releasePath) const
    {
        return downloadedPath(patchDownloadName(releasePath));
    }
    // That place relative to the temporary directory.
    static QString patchDownloadName(const QString& releasePath);
    QString unpackedPath(const QString& key) const;
    QString settingsFile() const;
    QString mirrorsFile() const;

    static QString settingsFileName();
    static QString mirrorsFileName();
    static QString digestCacheFileName();
    // What the updater itself keeps at the installation's top: the program,
    // its settings, the mirror list and the digest cache. No release deletes
    // them: an installation without them cannot update again.
    static QStringList updaterFileNames();
    // What the updater writes for its installation at the top: the settings
    // (a player's choices, the session record, the channel serials seen) and
    // the digest cache. One player's state: no release replaces them, and
    // publishing never ships them.
    static QStringList stateFileNames();
    // The updater's log; the previous run's is kept beside it with ".1".
    static QString logFileName();
    // Whether `relativePath` of a tree is what an updater wrote for the
    // installation it serves: a state file at the top, a log, or a file a
    // killed run left half written.
    static bool isUpdaterState(const QString& relativePath);
    static QString oldDirName();
    static QString oldCopyPrefix();
    // The relative name under which the previous version of the installed
    // file `relativePath` waits in "old"; `number` > 1 gives the numbered
    // name that a second file of the same name gets in one update.
    static QString oldCopyName(const QString& relativePath, int number = 1);

    // The updater's own files and libraries: their old copies are removed
    // only by the next start, under the plain old-copy name.
    static QStringList specialFileNames();
    static bool isSpecialFileName(const QString& name);
    // Directories below the installation where old copies of special files
    // may be left.
    static QStringList specialFileDirectories();

    static QString clientStartScriptName();
    static QString defaultUpdateType();

    // Begins every name under which a new file is written beside its
    // target until it is complete; no client file starts with it, so what an
    // interrupted run left is recognised as ours.
    static QString newFilePrefix();

    // Programs and shared libraries, told by name.
    static bool isExecutableName(const QString& fileName);
    // The mode an installed file gets: 0755 for an executable name, else
    // 0644, plus the execute bits of the file it replaces (`previousMode` < 0:
    // none). Group and others never get write permission.
    static int installedMode(const QString& fileName, int previousMode);

private:
    QString rootDir;
    QString tempDirectory;
};

#endif
