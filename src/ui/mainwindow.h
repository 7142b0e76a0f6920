#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QString>
#include <QWidget>

class Configuration;
class QLabel;
class QPushButton;
class SingleInstanceChecker;

// The updater's window: shows what will be installed on which channel and
// reacts to configuration errors and to other updater instances.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(Configuration& config);

    void setUIToConfigSpecs();
    void setNews();

private slots:
    void onFatalConfigError(QString errorMessage);
    void onAutoStartUpdate();
    void onOtherInstanceActivate(QString message);

private:
    Configuration* config;
    QLabel* versionLabel;
    QLabel* newsLabel;
    QPushButton* startButton;
    SingleInstanceChecker* singleInstanceChecker;
};

#endif
