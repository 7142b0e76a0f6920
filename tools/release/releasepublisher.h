#ifndef RELEASEPUBLISHER_H
#define RELEASEPUBLISHER_H

#include "productinifile.h"
#include "releasekey.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Publishes one version of an installation tree into a mirror root:
//   <output>/<version>/<section>/<key>       every file, plain or gzip-packed
//   <output>/<version>/<type>.ini            the product ini
//   <output>/<version>/<type>.ini.sig        its signature
//   <output>/<version>/changelog_client.txt  when a changelog is given
// Everything is built in a hidden staging directory inside the output and
// renamed into place at the end, so a mirror never serves half a release.
// Nothing is written anywhere but below the output directory.
class ReleasePublisher
{
public:
    struct SectionRule
    {
        QString pattern;
        QString section;
    };

    struct Options
    {
        QString sourceDir;
        QString outputDir;
        int version = 0;
        QString updateType;
        QString privateKeyPath;
        QString defaultSection = QStringLiteral("files");
        // First matching rule wins; files matching none go to defaultSection.
        QList<SectionRule> sectionRules;
        // Files matching any of these are published gzip-packed.
        QStringList packPatterns;
        // Product ini of the version this one replaces: what it installed (and
        // still deleted) but this version does not install goes into "delete".
        QString previousIni;
        QString changelog;
    };

    struct Progress
    {
        int filesDone = 0;
        int filesTotal = 0;
        qint64 bytesDone = 0;
        qint64 bytesTotal = 0;
    };
    using ProgressHandler = std::function<void(const Progress&)>;

    explicit ReleasePublisher(const Options& options);

    void setProgressHandler(ProgressHandler handler);
    bool publish();

    QString errorString() const { return error; }
    QStringList warnings() const { return warningList; }
    const ProductIniFile& productIni() const { return ini; }
    QString versionDirectory() const;
    QString productIniName() const;

    // Section names become directories on the mirrors.
    static bool isValidSectionName(const QString& name);
    static bool isValidUpdateType(const QString& type);
    // A pattern without "/" is matched against the file name, one with "/"
    // against the whole relative path; "*" and "?" stay within one component.
    static bool matches(const QString& pattern, const QString& relativePath);

private:
    struct SourceFile
    {
        QString relativePath;
        qint64 size = 0;
        QString section;
        bool packed = false;
        bool executable = false;
        QString key;
    };

    bool fail(const QString& text);
    bool checkOptions();
    bool scanSource();
    bool assignKeys();
    bool computeDeletes();
    bool publishFiles(const QString& staging);
    bool writeProductIni(const QString& staging);

    Options options;
    ProgressHandler progressHandler;
    QList<SourceFile> files;
    ProductIniFile ini;
    ProductIniFile previous;
    ReleaseKey key;
    QString error;
    QStringList warningList;
};

#endif
