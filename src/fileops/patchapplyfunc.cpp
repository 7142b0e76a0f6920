#include "fileops/patchapplyfunc.h"

#include "fileops/mappedfile.h"
#include "fileops/newdirectory.h"
#include "fileops/zstdhandles.h"
#include "manifest/contenthasher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

PatchApplyFunc::PatchApplyFunc(const FilePatchSpecification& patch, const QString& basePath,
    const QString& patchPath, const QString& resultPath)
    : patch(patch)
    , basePath(basePath)
    , patchPath(patchPath)
    , resultPath(resultPath)
{ }

bool PatchApplyFunc::canApply(qint64 baseSize, qint64 resultSize)
{
    // A frame's matches reach back over the result so far and the whole
    // earlier content.
    const qint64 reach = qint64(1) << ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound;
    return baseSize >= 0 && resultSize > 0 && baseSize <= reach && resultSize <= reach;
}

QString PatchApplyFunc::workingPath(const QString& resultPath)
{
    const QFileInfo result(resultPath);
    return result.dir().filePath(QStringLiteral(".voxmeadow-patching-") + result.fileName());
}

bool PatchApplyFunc::fail(const QString& reason)
{
    Q_EMIT message(reason);
    return false;
}

bool PatchApplyFunc::run()
{
    FileStamp now;
    if (!FileStamp::of(basePath, now) || now != patch.baseStamp)
        return fail(QStringLiteral("%1 changed since the update compared it").arg(patch.basePath));
    QString error;
    MappedFile base;
    MappedFile delta;
    if (!base.mapForReading(basePath, &error) || !delta.mapForReading(patchPath, &error))
        return fail(error);
    if (!canApply(base.size(), patch.resultSize))
        return fail(QStringLiteral("%1 is too large to be patched here").arg(patch.basePath));

    const unsigned long long declared = ZSTD_getFrameContentSize(delta.data(), size_t(delta.size()));
    if (declared != static_cast<unsigned long long>(patch.resultSize))
        return fail(QStringLiteral("the patch does not declare the %1 bytes listed").arg(patch.resultSize));
    // One frame and nothing after it: a second frame would be decoded
    // without the earlier content.
    if (ZSTD_findFrameCompressedSize(delta.data(), size_t(delta.size())) != size_t(delta.size()))
        return fail(QStringLiteral("the patch is not one complete zstd frame"));

    const QString working = workingPath(resultPath);
    const QByteArray workingName = QFile::encodeName(working);
    // Only a run killed while applying leaves it.
    ::unlink(workingName.constData());
    if (!NewDirectory::makePath(QFileInfo(resultPath).path()))
        return fail(QStringLiteral("cannot create the directory of %1").arg(resultPath));
    MappedFile result;
    if (!result.createForWriting(working, patch.resultSize, &error))
        return fail(error);

    ZstdDecompressor decoder(ZSTD_createDCtx());
    if (!decoder)
        return fail(QStringLiteral("out of memory for the decoder"));
    // Decoding into the whole result at once needs no window buffer: the
    // earlier content is referenced where it is mapped.
    ZSTD_DCtx_setParameter(
        decoder.get(), ZSTD_d_windowLogMax, ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound);
    const size_t referenced = ZSTD_DCtx_refPrefix(decoder.get(), base.data(), size_t(base.size()));
    if (ZSTD_isError(referenced))
        return fail(QString::fromLatin1(ZSTD_getErrorName(referenced)));
    size_t decoded = 0;
    const bool completed = MappedFile::guarded([&] {
        decoded = ZSTD_decompressDCtx(decoder.get(), result.writableData(), size_t(patch.resultSize),
            delta.data(), size_t(delta.size()));
    });
    if (!completed)
        return fail(QStringLiteral("%1 was shortened while the patch was applied").arg(patch.basePath));
    if (ZSTD_isError(decoded))
        return fail(QStringLiteral("the patch does not apply: %1")
                        .arg(QString::fromLatin1(ZSTD_getErrorName(decoded))));
    if (decoded != size_t(patch.resultSize))
        return fail(
            QStringLiteral("the patch gives %1 bytes, not the %2 listed").arg(decoded).arg(patch.resultSize));

    const QByteArray digest
        = ContentHasher::hash(QByteArrayView(result.data(), result.size()), patch.resultMd5.algorithm());
    if (!patch.resultMd5.matches(digest))
        return fail(QStringLiteral("the patched content has the %1 sum %2, not the %3 listed")
                        .arg(patch.resultMd5.algorithmName(), QString::fromLatin1(digest.toHex()),
                            patch.resultMd5.toString()));
    if (!result.keep(&error))
        return fail(error);
    if (std::rename(workingName.constData(), QFile::encodeName(resultPath).constData()) != 0) {
        ::unlink(workingName.constData());
        return fail(QStringLiteral("cannot rename %1 to %2").arg(working, resultPath));
    }
    return true;
}
