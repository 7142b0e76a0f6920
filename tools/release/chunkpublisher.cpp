#include "chunkpublisher.h"

#include "manifest/chunkbinding.h"
#include "manifest/chunkindex.h"
#include "manifest/contentchunker.h"
#include "manifest/releasemanifest.h"
#include "filepacker.h"
#include "stagedfile.h"

#include <QDir>
#include <QFile>

#include <algorithm>

ChunkPublisher::ChunkPublisher(const QString& outputDirectory, const ProductIniLine::Binding& binding)
    : store(outputDirectory)
    , binding(binding)
{ }

bool ChunkPublisher::writeIndex(const QString& releaseDirectory, QList<File> files, QString* error)
{
    if (!store.open(error))
        return false;
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) {
        return a.section.toUtf8() + '\0' + a.key.toUtf8() < b.section.toUtf8() + '\0' + b.key.toUtf8();
    });
    const QString path = QDir(releaseDirectory).filePath(ChunkIndex::fileName(binding.updateType));
    StagedFile output;
    if (!output.create(path, StagedFile::Readable, error))
        return false;
    ChunkIndex::Writer writer(&output.file(), binding);
    QList<ChunkIndex::Chunk> chunks;
    for (const File& file : std::as_const(files)) {
        QFile input(file.path);
        if (!input.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot open %1: %2").arg(file.path, input.errorString());
            return false;
        }
        chunks.clear();
        QByteArray sha256;
        const bool cut = ContentChunker::split(
            &input,
            [&](const ContentChunker::Chunk& chunk, QByteArrayView bytes) {
                ChunkIndex::Chunk located;
                if (!store.store(chunk, bytes, &located, error))
                    return false;
                chunks << located;
                return true;
            },
            &sha256, error);
        if (!cut)
            return false;
        // Chunks of other content than the manifest lists would never assemble to it.
        if (!file.sha256.matches(sha256) || input.pos() != file.size) {
            *error = QStringLiteral("%1 changed while it was published").arg(file.path);
            return false;
        }
        writer.addFile(ChunkIndex::File { file.section, file.key, file.size, chunks.size() });
        for (const ChunkIndex::Chunk& chunk : std::as_const(chunks))
            writer.addChunk(chunk);
    }
    writer.finish();
    if (!writer.ok()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, writer.errorString());
        return false;
    }
    return store.finish(error) && output.finish(error) && output.moveTo(path, false, error);
}

bool ChunkPublisher::writeBinding(
    const QString& releaseDirectory, const std::vector<Ed25519Key>& keys, QString* error)
{
    const QDir root(releaseDirectory);
    ReleaseManifest::Reader manifest(root.filePath(ReleaseManifest::fileName(binding.updateType)));
    if (!manifest.open() || !manifest.readToEnd()) {
        *error = manifest.errorString();
        return false;
    }
    FileDigest index;
    if (!FilePacker::digest(root.filePath(ChunkIndex::fileName(binding.updateType)), &index, error))
        return false;
    ChunkBinding bound;
    bound.binding = binding;
    bound.manifestSha256 = manifest.bodySha256();
    bound.indexSha256 = index.sha256;
    bound.indexSize = index.size;
    const QByteArray message = Ed25519Key::signedMessage(ChunkBinding::signingContext(), bound.bodySha256());
    for (const Ed25519Key& key : keys)
        bound.signatures << ChunkBinding::Signature { key.publicKey(), key.sign(message) };
    const QString path = root.filePath(ChunkBinding::fileName(binding.updateType));
    StagedFile output;
    return output.write(path, bound.serialize(), StagedFile::Readable, error)
        && output.moveTo(path, false, error);
}
