#include "ui/mainwindow.h"

#include "app/configuration.h"
#include "app/singleinstancechecker.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtDebug>

MainWindow::MainWindow(Configuration& config)
    : QWidget(nullptr)
    , config(&config)
    , versionLabel(new QLabel(this))
    , newsLabel(new QLabel(this))
    , startButton(new QPushButton(tr("Start Update"), this))
    , singleInstanceChecker(new SingleInstanceChecker(this))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(tr("Voxmeadow 3 Client Update"));

    auto* logo = new QLabel(this);
    logo->setFixedSize(48, 48);
    logo->setPixmap(QPixmap(QStringLiteral(":/images/voxmeadow_logo.png")));
    versionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    newsLabel->setWordWrap(true);
    startButton->setDefault(true);

    auto* header = new QHBoxLayout;
    header->addWidget(versionLabel, 1);
    header->addWidget(logo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(startButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(newsLabel);
    layout->addLayout(buttons);
    resize(486, 200);

    connect(singleInstanceChecker, &SingleInstanceChecker::otherInstanceActivate,
            this, &MainWindow::onOtherInstanceActivate);
    connect(&config, &Configuration::fatalError, this, &MainWindow::onFatalConfigError);
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
    versionLabel->setText(text);
    if (config->noUserMode == 1)
        startButton->setEnabled(false);
}

void MainWindow::setNews()
{
    newsLabel->setText(config->updateTypeDesc.news);
}

void MainWindow::onFatalConfigError(QString errorMessage)
{
    // Also on stderr: the box may appear where nobody can see it.
    qWarning().noquote() << "Error:" << errorMessage;
    QMessageBox::critical(nullptr, QCoreApplication::translate("QObject", "Error"), errorMessage, QMessageBox::Ok);
    QCoreApplication::exit(1);
}

void MainWindow::onAutoStartUpdate()
{
    qInfo().noquote() << "Automatic update start requested for" << config->updateTypeDesc.updateType
                      << config->updateTypeDesc.version;
}

void MainWindow::onOtherInstanceActivate(QString message)
{
    if (message != QLatin1String("#"))
        return;
    raise();
    activateWindow();
}
