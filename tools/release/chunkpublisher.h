#ifndef CHUNKPUBLISHER_H
#define CHUNKPUBLISHER_H

#include "chunkstore.h"
#include "manifest/contentsum.h"
#include "manifest/productiniline.h"
#include "verify/ed25519key.h"

#include <QList>
#include <QString>

#include <vector>

// Publishes a release's chunks (docs/chunks.md): cuts each file's installed
// content into the mirror root's ChunkStore, writes the release's chunk
// index, and once the release manifest is written, the binding of the two
// signed by the manifest's keys.
class ChunkPublisher
{
public:
    struct File
    {
        QString section;
        QString key;
        // The installed content, and what the manifest says it is.
        QString path;
        ContentSum sha256;
        qint64 size = 0;
    };

    ChunkPublisher(const QString& outputDirectory, const ProductIniLine::Binding& binding);

    // Writes "<type>.chunks" into the release directory.
    bool writeIndex(const QString& releaseDirectory, QList<File> files, QString* error);
    // Writes "<type>.chunks.binding" beside the index and the manifest.
    bool writeBinding(const QString& releaseDirectory, const std::vector<Ed25519Key>& keys, QString* error);
    const ChunkStore::Summary& summary() const { return store.summary(); }

private:
    ChunkStore store;
    ProductIniLine::Binding binding;
};

#endif
