#ifndef DOWNLOADFILELISTTASKSPECIFICATION_H
#define DOWNLOADFILELISTTASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "transfer/downloadcontext.h"
#include "tasks/composedtaskspecification.h"

#include <QList>
#include <QSet>

// Fetches every file of the update's download list into the temporary
// directory, each file's task made when it starts, up to the configured
// number at once and up to 32 more for each
// mirror whose HTTP/2 connection carries them together, after creating the
// directories they need. Its transfer total is what the list takes on the
// wire: a patch's size where one is used, the whole size once it is given up.
class DownloadFileListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    DownloadFileListTaskSpecification(const FileSpecifications* lists, const DownloadContext& context,
        int downloadConcurrency, QObject* parent, double parentProgressRange);

    bool makeSubDirs();

Q_SIGNALS:
    // One file of the list is in place; see DownloadFileTaskSpecification::fetched.
    void fileFetched(qint64 bytes, bool asPatch, bool patchGivenUp);

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading) override;

private Q_SLOTS:
    void onMirrorCapacity();

protected:
    TaskSpecification* makeSubTask(qsizetype index) override;

private:
    void makeSubtasksAndStart();

    const FileSpecifications* lists;
    DownloadContext context;
    qint64 totalSize = 0;
    // Each file's share of the progress.
    double share = 0.0;
    int downloadConcurrency;
    // A mirror that lacked one patch is not asked for the others.
    QSet<QString> mirrorsWithoutPatches;
};

#endif
