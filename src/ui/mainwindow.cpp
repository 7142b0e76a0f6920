#include "ui/mainwindow.h"

#include "app/configuration.h"
#include "app/processtools.h"
#include "app/singleinstancechecker.h"
#include "update/updateengine.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QtDebug>

namespace {

const int LaunchDelayMs = 1000;
// Lines arriving within this time enter the log view together.
const int LogFlushMs = 100;

QString smallPrint(const QString& text)
{
    return QStringLiteral("<span style=\"font-size:small;\">") + text + QStringLiteral("</span>");
}

} // namespace

MainWindow::MainWindow(Configuration& config, const QString& bannerHost, quint16 bannerPort)
    : QWidget(nullptr)
    , ui(new Ui::MainWindow)
    , config(&config)
    , engine(new UpdateEngine(config.layout(), config.settings(), this))
    , launchMode(false)
    , closeRequested(false)
    , singleInstanceChecker(nullptr)
    , logoUrl(QStringLiteral("https://www.voxmeadow.net/"))
{
    connect(engine, &UpdateEngine::error, this, &MainWindow::onError);
    connect(engine, &UpdateEngine::fatalError, this, &MainWindow::onFatalError);
    connect(engine, &UpdateEngine::fatalConfigError, this, &MainWindow::onFatalConfigError);
    connect(engine, &UpdateEngine::updateProgress, this, &MainWindow::onProgressUpdate);
    connect(engine, &UpdateEngine::downloadProgress, this, &MainWindow::onDownloadProgress);
    connect(engine, &UpdateEngine::message, this, &MainWindow::onAppendText);
    connect(engine, &UpdateEngine::updateFinished, this, &MainWindow::onUpdateFinished);
    connect(engine, &UpdateEngine::updateCanceled, this, &MainWindow::onUpdateCanceled);
    connect(engine, &UpdateEngine::bannerFound, this, &MainWindow::onBannerFound);

    ui->setupUi(this);
    logFlushTimer = new QTimer(this);
    logFlushTimer->setSingleShot(true);
    logFlushTimer->setInterval(LogFlushMs);
    connect(logFlushTimer, &QTimer::timeout, this, &MainWindow::onFlushLog);
    // After the toggle has shown or hidden the log.
    connect(ui->detailsButton, &QPushButton::clicked, this, &MainWindow::onDetailsPressed, Qt::QueuedConnection);
    ui->voxmeadowLabel->installEventFilter(this);
    ui->banner->installEventFilter(this);
    ui->outputTextEdit->hide();
    onDownloadProgress(0, 0, 0, false);

    singleInstanceChecker = new SingleInstanceChecker(this);
    connect(singleInstanceChecker, &SingleInstanceChecker::otherInstanceActivate,
            this, &MainWindow::onOtherInstanceActivate);
    connect(&config, &Configuration::fatalError, this, &MainWindow::onFatalConfigError);
    connect(&config, &Configuration::message, this, &MainWindow::onAppendText);
    engine->setBannerServer(bannerHost, bannerPort);
    engine->getBanner();
}

MainWindow::~MainWindow()
{
    // The engine is destroyed with the window's children, after this part of
    // the window: nothing it says on the way may reach these slots.
    disconnect(engine, nullptr, this, nullptr);
}

void MainWindow::setPrompt(Prompt prompt)
{
    this->prompt = std::move(prompt);
}

bool MainWindow::askRetryVersionQuery()
{
    return ask(nullptr, QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"),
               QCoreApplication::translate("QObject", "Failed to query latest client\nversion from update server."),
               QMessageBox::Retry | QMessageBox::Abort)
        == QMessageBox::Retry;
}

QMessageBox::StandardButton MainWindow::ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                            const QString& text, QMessageBox::StandardButtons buttons)
{
    if (prompt)
        return prompt(parent, icon, title, text, buttons);
    if (icon == QMessageBox::Question)
        return QMessageBox::question(parent, title, text, buttons, QMessageBox::NoButton);
    return QMessageBox::critical(parent, title, text, buttons);
}

void MainWindow::setUIToConfigSpecs()
{
    QString channelName;
    switch (config->updateTypeDesc.channel) {
    case Stable: channelName = tr("Stable"); break;
    case Beta: channelName = tr("Beta"); break;
    case Alpha: channelName = tr("Alpha"); break;
    }
    QString text;
    if (!config->updateTypeDesc.versionLabel.isEmpty()) {
        text = QStringLiteral("<div style=\"font-weight:bold;font-size:14px\">")
            + tr("Update to Voxmeadow %1").arg(config->updateTypeDesc.versionLabel) + QStringLiteral("</div>");
    }
    text += QStringLiteral("<div style=\"margin-top:8px\">")
        + tr("You are currently on <strong>%1 channel</strong>.").arg(channelName) + QStringLiteral("</div>");
    ui->versionLabel->setText(text);
    if (config->noUserMode == 1)
        ui->startButton->setEnabled(false);
}

void MainWindow::setNews()
{
    ui->newsBanner->setText(config->updateTypeDesc.news);
}

void MainWindow::onFatalConfigError(QString errorMessage)
{
    // Also on stderr: the box may appear where nobody can see it.
    qWarning().noquote() << "Error:" << errorMessage;
    ask(nullptr, QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"), errorMessage,
        QMessageBox::Ok);
    QCoreApplication::exit(1);
}

void MainWindow::onFatalError(QString errorMessage)
{
    qWarning().noquote() << "Error:" << errorMessage;
    ask(this, QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"), errorMessage,
        QMessageBox::Ok);
    QCoreApplication::exit(2);
}

void MainWindow::onError(QString errorMessage)
{
    onAppendText(errorMessage);
    ask(this, QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"), errorMessage,
        QMessageBox::Ok);
}

void MainWindow::onAutoStartUpdate()
{
    on_startButton_clicked();
}

void MainWindow::on_startButton_clicked()
{
    if (launchMode) {
        ProcessTools::startVx3Client();
        close();
        return;
    }
    if (engine->busy())
        return;
    if (engine->initialize(config->updateTypeDesc)) {
        ui->startButton->setEnabled(false);
        engine->startUpdate();
    }
}

void MainWindow::onAppendText(QString text)
{
    // The log also goes to the terminal, for runs nobody watches.
    qInfo().noquote() << text;
    pendingLog.append(text);
    if (!logFlushTimer->isActive())
        logFlushTimer->start();
}

void MainWindow::onFlushLog()
{
    if (pendingLog.isEmpty())
        return;
    QScrollBar* bar = ui->outputTextEdit->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    // A log line is plain text: a file name or server text with "<" in it
    // must appear as written, not be taken for markup.
    QTextCursor cursor(ui->outputTextEdit->document());
    cursor.movePosition(QTextCursor::End);
    if (!ui->outputTextEdit->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(pendingLog.join(QLatin1Char('\n')));
    pendingLog.clear();
    if (atEnd)
        bar->setValue(bar->maximum());
}

void MainWindow::onProgressUpdate(qreal doneFrac)
{
    ui->totalProgressBar->setValue(int(doneFrac * 1000));
}

void MainWindow::onDownloadProgress(quint64 downloadDone, quint64 downloadTotal, quint64 speed, bool downloading)
{
    ui->downloadSizeLabel->setVisible(downloading);
    ui->downloadSpeedLabel->setVisible(downloading);
    if (!downloading)
        return;
    ui->downloadSizeLabel->setText(smallPrint(tr("%1 KB / %2 KB").arg(downloadDone / 1000).arg(downloadTotal / 1000)));
    ui->downloadSpeedLabel->setText(smallPrint(tr("%1 KB/s").arg(speed / 1000)));
}

void MainWindow::onUpdateFinished()
{
    launchMode = true;
    if (config->noUserMode == 1) {
        QTimer::singleShot(LaunchDelayMs, this, &MainWindow::on_startButton_clicked);
        return;
    }
    ui->startButton->setText(tr("Start Voxmeadow"));
    ui->startButton->setFocus();
    ui->startButton->setEnabled(true);
}

void MainWindow::onUpdateCanceled()
{
    if (closeRequested) {
        QCoreApplication::quit();
        return;
    }
    launchMode = false;
    engine->reset();
    ui->startButton->setText(tr("Restart"));
    ui->startButton->setEnabled(true);
    onAppendText(tr("Update cancelled"));
    ui->totalProgressBar->setValue(0);
    ask(this, QMessageBox::Critical, tr("Update"), tr("Update cancelled. Push \"Details\" to check reasons."),
        QMessageBox::Ok);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!engine->busy()) {
        event->accept();
        return;
    }
    event->ignore();
    if (closeRequested)
        return;
    if (ask(this, QMessageBox::Question, tr("Question"),
            tr("<p>Update in progress.</p><p>Are you sure you want to abort?</p>"),
            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    // The run may have ended while the question was open: nothing left to cancel.
    if (!engine->busy()) {
        event->accept();
        return;
    }
    closeRequested = true;
    engine->cancelUpdate();
}

void MainWindow::onOtherInstanceActivate(QString message)
{
    if (message != QLatin1String("#"))
        return;
    raise();
    activateWindow();
}

void MainWindow::onBannerFound(QByteArray bannerImage, QString clickUrl)
{
    QPixmap image;
    if (!image.loadFromData(bannerImage))
        return;
    ui->banner->setPixmap(image);
    // The address comes unauthenticated over UDP: only web addresses are opened.
    const QUrl url(clickUrl);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        ui->banner->setToolTip(QString());
        bannerUrl.clear();
        return;
    }
    ui->banner->setToolTip(tr("Click to open \"%1://%2\"").arg(url.scheme(), url.host()));
    bannerUrl = url;
}

void MainWindow::onDetailsPressed()
{
    if (ui->outputTextEdit->isVisible()) {
        QScrollBar* bar = ui->outputTextEdit->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QUrl url;
        if (watched == ui->banner)
            url = bannerUrl;
        else if (watched == ui->voxmeadowLabel)
            url = logoUrl;
        if (!url.isEmpty()) {
            QDesktopServices::openUrl(url);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
