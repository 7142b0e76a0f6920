#include "ui/changelogviewer.h"

#include "manifest/releasemanifest.h"
#include "transfer/downloadtaskspecification.h"
#include "transfer/randomsource.h"
#include "transfer/transfer.h"
#include "transfer/transferengine.h"
#include "ui/markupbudget.h"
#include "ui/untrustedtextdocument.h"
#include "update/changelogvouch.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryFile>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const int InitialWidth = 617;
const int InitialHeight = 500;
const int WidthMargin = 50;

} // namespace

ChangeLogViewer* ChangeLogViewer::m_instance = nullptr;

void ChangeLogViewer::showRemoteChangeLogDialog(QWidget* parent, const QString& version,
    const QString& rootPath, TransferEngine* transfers, const QString& updateType, const ReleaseTrust& trust)
{
    if (!m_instance) {
        m_instance = new ChangeLogViewer(parent, rootPath, transfers);
        m_instance->updateType = updateType;
        m_instance->trust = trust;
        m_instance->requestRemote(version);
    }
    m_instance->setVisible(true);
    m_instance->raise();
    m_instance->activateWindow();
}

ChangeLogViewer::ChangeLogViewer(QWidget* parent, const QString& rootPath, TransferEngine* transfers)
    : QDialog(parent, Qt::WindowSystemMenuHint)
    , textEdit(new QTextEdit(this))
    , transfers(transfers)
    , timeoutTimer(nullptr)
    , mirrorsLoaded(false)
    , rootPath(rootPath)
{
    setObjectName(QStringLiteral("ChangeLogViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Changelog"));

    textEdit->setObjectName(QStringLiteral("changeLogTextEdit"));
    // A mirror's text: its markup must not make the view read files.
    textEdit->setDocument(new UntrustedTextDocument(textEdit));
    textEdit->viewport()->installEventFilter(this);
    textEdit->setReadOnly(true);
    textEdit->setLineWrapMode(QTextEdit::NoWrap);
    QFont typewriter;
    typewriter.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    QFont font = textEdit->font();
    font.setFamily(typewriter.defaultFamily());
    textEdit->setFont(font);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChangeLogViewer::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(textEdit);
    layout->addWidget(buttons);
    resize(InitialWidth, InitialHeight);
}

ChangeLogViewer::~ChangeLogViewer()
{
    if (m_instance == this)
        m_instance = nullptr;
}

bool ChangeLogViewer::eventFilter(QObject* watched, QEvent* event)
{
    // A title in the markup would show as a tool tip, which Qt renders as
    // rich text of its own, reading what that names.
    if (watched == textEdit->viewport() && event->type() == QEvent::ToolTip)
        return true;
    return QDialog::eventFilter(watched, event);
}

void ChangeLogViewer::requestRemote(const QString& version)
{
    if (transfer || manifestTransfer)
        return;
    textEdit->setText(tr("Loading..."));
    if (!version.isEmpty())
        this->version = version;
    QString base = getRemoteUrl();
    if (base.isEmpty()) {
        textEdit->setText(tr("Failed to load changelog."));
        return;
    }
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    currentBase = base;
    const QUrl address(base + this->version + QStringLiteral("/changelog_client.txt"));

    received.clear();
    transfer = transfers->get(address, this);
    // Like every mirror download, only a 200 answer counts: a redirect
    // without a body would otherwise show an empty changelog.
    transfer->collectBody(&received, MaxChangeLogSize);
    connect(transfer, &Transfer::finished, this, &ChangeLogViewer::onRequestFinished);

    if (!timeoutTimer) {
        timeoutTimer = new QTimer(this);
        connect(timeoutTimer, &QTimer::timeout, this, &ChangeLogViewer::onRequestTimeout);
        timeoutTimer->setInterval(AttemptTimeoutMs);
        timeoutTimer->setSingleShot(true);
    }
    timeoutTimer->start();
}

QString ChangeLogViewer::getRemoteUrl()
{
    if (!mirrorUrls.isEmpty())
        return getRandomMirror();
    if (mirrorsLoaded)
        return QString();
    mirrorsLoaded = true;

    const QDir root(rootPath);
    const QString updateIni = root.absoluteFilePath(QStringLiteral("update.ini"));
    if (QFileInfo::exists(updateIni)) {
        QSettings settings(updateIni, QSettings::IniFormat);
        const QString alpha = settings.value(QStringLiteral("Channel/alpha")).toString();
        if (!alpha.isEmpty())
            return alpha;
    }
    const QString mirrorsIni = root.absoluteFilePath(QStringLiteral("mirrors.ini"));
    if (!QFileInfo::exists(mirrorsIni))
        return QString();
    QSettings settings(mirrorsIni, QSettings::IniFormat);
    QStringList names;
    const int size = settings.beginReadArray(QStringLiteral("mirrors"));
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        names.append(settings.value(QStringLiteral("mirror")).toString());
    }
    settings.endArray();
    for (const QString& name : qAsConst(names)) {
        if (name.isEmpty())
            continue;
        const QString url = settings.value(name + QStringLiteral("/url")).toString();
        if (!url.isEmpty())
            mirrorUrls.append(url);
    }
    return getRandomMirror();
}

QString ChangeLogViewer::getRandomMirror()
{
    if (mirrorUrls.isEmpty())
        return QString();
    const int i = int(RandomSource::bounded(quint32(mirrorUrls.size())));
    return mirrorUrls.takeAt(i);
}

void ChangeLogViewer::onRequestFinished()
{
    if (!transfer)
        return;
    const bool complete = transfer->succeeded();
    transfer->deleteLater();
    transfer = nullptr;
    if (complete) {
        const QString text = QString::fromUtf8(std::exchange(received, QByteArray()));
        // A server's redirection page counts as a failed attempt.
        if (!text.contains(QLatin1String("document has moved"))) {
            if (trust.keys.isEmpty()) {
                load(text);
                return;
            }
            changelog = text.toUtf8();
            if (timeoutTimer)
                timeoutTimer->stop();
            requestManifest(currentBase);
            return;
        }
    }
    requestRemote(QString());
}

void ChangeLogViewer::requestManifest(const QString& base)
{
    manifestFile = std::make_unique<QTemporaryFile>();
    if (!manifestFile->open()) {
        onManifestFinished();
        return;
    }
    manifestTransfer = transfers->get(
        QUrl(base + version + QLatin1Char('/') + ReleaseManifest::fileName(updateType)), this);
    QTemporaryFile* file = manifestFile.get();
    manifestTransfer->setHeadHandler([this] {
        return manifestTransfer->status() == 200
            && manifestTransfer->contentLength() <= ReleaseManifest::MAX_SIZE;
    });
    manifestTransfer->setBodyHandler([file](const char* data, qint64 size) {
        return file->size() + size <= ReleaseManifest::MAX_SIZE && file->write(data, size) == size;
    });
    connect(manifestTransfer, &Transfer::finished, this, &ChangeLogViewer::onManifestFinished);
    // Timed as the update times the manifest.
    if (!manifestTimer) {
        manifestTimer = new QTimer(this);
        manifestTimer->setSingleShot(true);
        connect(manifestTimer, &QTimer::timeout, this, [this] {
            delete manifestTransfer;
            manifestTransfer = nullptr;
            onManifestFinished();
        });
    }
    manifestTimer->start(
        int(DownloadTaskSpecification::deadlineForLimit(ReleaseManifest::MAX_SIZE, transfers->maxRate())));
}

void ChangeLogViewer::onManifestFinished()
{
    if (manifestTimer)
        manifestTimer->stop();
    bool complete = false;
    if (manifestTransfer) {
        complete = manifestTransfer->succeeded();
        manifestTransfer->deleteLater();
        manifestTransfer = nullptr;
    }
    ChangelogVouch::Verdict verdict = ChangelogVouch::Verdict::NoManifest;
    if (complete && manifestFile && manifestFile->flush())
        verdict = ChangelogVouch::judge(
            manifestFile->fileName(), trust, { updateType, version.toInt() }, changelog);
    manifestFile.reset();
    switch (verdict) {
    case ChangelogVouch::Verdict::Vouched:
        load(QString::fromUtf8(std::exchange(changelog, QByteArray())));
        return;
    case ChangelogVouch::Verdict::NotListed:
        textEdit->setPlainText(
            tr("The signed manifest of version %1 lists no changelog; not shown.").arg(version));
        break;
    case ChangelogVouch::Verdict::Mismatch:
        textEdit->setPlainText(
            tr("The changelog of version %1 is not the one its signed manifest lists; not shown.")
                .arg(version));
        break;
    case ChangelogVouch::Verdict::NoManifest:
        textEdit->setPlainText(
            tr("The changelog of version %1 is not vouched for by its signed manifest; not shown.")
                .arg(version));
        break;
    }
    changelog.clear();
}

void ChangeLogViewer::onRequestTimeout()
{
    if (!transfer)
        return;
    delete transfer;
    transfer = nullptr;
    requestRemote(QString());
}

void ChangeLogViewer::load(const QString& text)
{
    if (MarkupBudget::affords(text))
        textEdit->setText(text);
    else
        textEdit->setPlainText(text);
    if (text.isEmpty())
        return;
    const QFontMetrics metrics(textEdit->font());
    int widest = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const int wanted = widest == 0 ? InitialWidth : widest + WidthMargin;

    QScreen* screen = this->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    if (available.isValid())
        resize(qMin(wanted, available.width()), qMin(InitialHeight, available.height()));
    else
        resize(wanted, InitialHeight);
}
