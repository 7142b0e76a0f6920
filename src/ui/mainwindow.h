#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "buildconfig.h"
#include "serverquery/banner.h"
#include "app/failuresummary.h"
#include "app/remainingtime.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class Configuration;
class QCloseEvent;
class QTimer;
class SingleInstanceChecker;
class UpdateEngine;

namespace Ui {
class MainWindow;
}

// The updater's only window: shows what will be installed on which channel,
// starts a run, shows its progress, transfer figures and log, cancels it
// when the window is closed, and launches the updated client afterwards.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // Shows a message box and returns the button chosen; replaceable so that
    // the window can be driven without a person.
    using Prompt = std::function<QMessageBox::StandardButton(QWidget* parent, QMessageBox::Icon icon,
        const QString& title, const QString& text, QMessageBox::StandardButtons buttons)>;

    // The banner query goes to the built-in update server unless told otherwise.
    explicit MainWindow(Configuration& config,
        const QString& bannerHost = QStringLiteral(VOXMEADOW_UPDATE_HOST),
        quint16 bannerPort = Banner::DefaultPort);
    ~MainWindow() override;

    void setUIToConfigSpecs();
    void setNews();
    void setPrompt(Prompt prompt);
    // Without a person to answer (--nouser): no box waits, a failure goes
    // to stderr and ends the program with its exit code.
    void setUnattended(bool unattended) { this->unattended = unattended; }
    UpdateEngine* updateEngine() const { return engine; }
    // Asks whether to query the update server again after it did not answer.
    bool askRetryVersionQuery();
    // A message box, its text shown as written unless `format` says it is
    // the updater's own markup: markup in a server's answer or a file name
    // could name a local file for Qt to load. Returns the button chosen.
    static QMessageBox::StandardButton showMessageBox(QWidget* parent, QMessageBox::Icon icon,
        const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
        Qt::TextFormat format = Qt::PlainText);

public Q_SLOTS:
    void onAutoStartUpdate();
    // SIGTERM or SIGINT: as a confirmed close, without the question; the
    // program then ends with the cancel code, and a run's session stays
    // for the next one to resume.
    void cancelForSignal();

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void onFatalConfigError(QString errorMessage);
    void onFatalError(QString errorMessage);
    void onError(QString errorMessage);
    void on_startButton_clicked();
    void on_pauseButton_clicked();
    void onAppendText(QString text);
    void onProgressUpdate(qreal doneFrac);
    void onDownloadProgress(quint64 downloadDone, quint64 downloadTotal, quint64 speed, bool downloading);
    void onUpdateFinished();
    void onUpdateCanceled();
    void onOtherInstanceActivate(QString message);
    void onBannerFound(QByteArray bannerImage, QString clickUrl);
    void onDetailsPressed();
    void onDetailsToggled(bool shown);
    void on_changelogButton_clicked();
    void onFlushLog();
    void showProgress();

private:
    QWidget* boxParent();
    void writeTerminalLog();
    QMessageBox::StandardButton ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, QMessageBox::StandardButtons buttons, Qt::TextFormat format = Qt::PlainText);
    void setStatus(const QString& text);
    // While files download (or are held) the bar shows their bytes, as the
    // counter beside it does; otherwise the whole run's progress.
    void setDownloadPhase(bool downloads);
    // The bold first line: what the window is about to do or has done.
    void setHeading(const QString& text);
    // "Voxmeadow 1.8" or "Voxmeadow version 12", as the offer is labelled.
    QString offerName() const;
    void noteActivity(const QString& logLine);
    void appendLogBlocks(const QStringList& blocks);

    std::unique_ptr<Ui::MainWindow> ui;
    Configuration* config;
    UpdateEngine* engine;
    bool launchMode;
    bool closeRequested;
    // The close was asked by a signal: the end is the cancel code.
    bool signalled = false;
    bool unattended = false;
    SingleInstanceChecker* singleInstanceChecker;
    Prompt prompt;
    FailureSummary failure;
    RemainingTime remaining;
    // The last line appended to the log and how often it came again since.
    QString lastLogLine;
    // The latest "add/replace" line since the last flush.
    QString latestInstallLine;
    int lastLogRepeats = 0;
    // Log lines not yet in the log view: one insertion for many lines costs
    // what one costs for a single line.
    QStringList pendingLog;
    // Lines for the log view while it is hidden, the latest MaxLogLines:
    // they enter it at once when it is shown, which spares a run of
    // hundreds of thousands of files their insertions one batch at a time.
    QStringList unshownLog;
    QTimer* logFlushTimer = nullptr;
    QTimer* progressTimer = nullptr;
    QElapsedTimer progressShown;
    int pendingProgress = 0;
    bool downloadPhase = false;
};

#endif
