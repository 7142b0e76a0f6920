#ifndef MIRRORS_H
#define MIRRORS_H

#include "transfer/ftpsiteaccessdata.h"

#include <QObject>
#include <QSet>
#include <QUrl>
#include <QVector>

// The registry of the HTTP mirrors of one update run. Download tasks borrow a
// random free mirror per transfer, give it back, and charge it with errors;
// a mirror that fails too often is struck off for the rest of the run.
class Mirrors : public QObject
{
    Q_OBJECT

public:
    // Results of getRandomMirror().
    enum BorrowResult { MirrorChosen = 0, NoMirrorAvailable = 1, AllMirrorsBusy = 2 };

    explicit Mirrors(QObject* parent = nullptr);

    bool initDefault(const QString& iniPath, int version);
    // The mirrors of mirrors.ini at their roots, outside every release
    // directory, where the channel records lie.
    bool initRoot(const QString& iniPath);
    bool initAlpha(const QString& iniPath, int version);

    // Mirrors named in `skipped` are not chosen; when they are all that is
    // left the answer is NoMirrorAvailable, without the registry's message.
    int getRandomMirror(FTPSiteAccessData& mirror, const QSet<QString>& skipped = {});
    // Borrows the named mirror; NoMirrorAvailable when it is not (or no
    // longer) in the registry.
    int getNamedMirror(const QString& name, FTPSiteAccessData& mirror);
    void releaseMirror(const QString& name);
    void addMirrorError(const QString& name);
    void removeMirror(const QString& name);
    int getMirrorIndex(const QString& name) const;
    void calcUseStats(int& capacity, int& inUse) const;

    // Transfers one HTTP/2 connection to a mirror carries at once.
    static constexpr int MULTIPLEXED_USE_COUNT = 32;
    // Records whether the mirror's connection is HTTP/2: only then does it
    // take more than one transfer at a time.
    void setMultiplexed(const QString& name, bool multiplexed);
    int multiplexedMirrorCount() const;

    // Read-only view for the engine's figures and for tests.
    const QVector<FTPSiteAccessData>& mirrorData() const { return mirrorList; }

    // A release's directory below a mirror URL as mirrors.ini gives it;
    // version 0: the mirror's root.
    static QString versionUrl(QString url, int version);
    // The address of `path` (relative, "/" between names) below `directoryUrl`.
    static QUrl fileUrl(const QString& directoryUrl, const QString& path);

Q_SIGNALS:
    void fatalError(QString errorMessage);
    void message(QString message);
    // A mirror was given back or can take more transfers.
    void mirrorFreed();

private:
    // Version 0: the mirror's root.
    void readMirrors(const QString& iniPath, int version);

    QVector<FTPSiteAccessData> mirrorList;
    bool noMirrorsReported = false;
};

#endif
