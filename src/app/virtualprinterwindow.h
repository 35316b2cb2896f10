#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class InterfaceSelectTab;
class LabelView;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// A virtual printer for trying the program without hardware: the companion
// program tarvolin-printer, found beside this one, run on a pseudo-terminal
// and on 127.0.0.1:9100. The window offers it as COM or ETHERNET, and shows
// its log and the last label it printed. Its switches put the printer in
// any condition (paused, head open, paper out, an error ...) and follow
// what the printer reports. The printer stops with the window (which lives
// as long as the main window).
class VirtualPrinterWindow : public QWidget
{
    Q_OBJECT
public:
    VirtualPrinterWindow(InterfaceSelectTab *interfaces, QWidget *parent = nullptr);
    ~VirtualPrinterWindow() override;

    // tarvolin-printer in this program's folder.
    static QString DefaultProgram();
    // Where the printer keeps its stored settings and FLASH files between
    // runs: a folder of this program's data.
    static QString DefaultStateDir();
    // Where the label pictures go and stay (numbered on across runs): a
    // folder of this program's data.
    static QString DefaultLabelsDir();
    void SetProgram(const QString &path) { program_ = path; }
    void SetStateDir(const QString &path) { stateDir_ = path; }
    void SetLabelsDir(const QString &path);
    QString LabelsDir() const { return labelsDir_; }
    // How "Open Folder" shows a folder (the desktop's file manager unless
    // set).
    void SetFolderOpener(std::function<void(const QUrl &)> open) { openFolder_ = std::move(open); }

    // Starts the printer unless it runs, and shows the window.
    void StartAndShow();
    void Stop();
    bool IsRunning() const { return process_.state() != QProcess::NotRunning; }
    qint64 ProcessId() const { return process_.processId(); }
    QString PtyPath() const { return ptyPath_; }
    quint16 TcpPort() const { return tcpPort_; }

    QLabel *StatusLabel = nullptr;
    QPushButton *UseComButton = nullptr;
    QPushButton *UseEthernetButton = nullptr;
    QPushButton *StartStopButton = nullptr;
    QLabel *LabelCaption = nullptr;
    QLabel *LabelsFolderLabel = nullptr;
    QPushButton *OpenFolderButton = nullptr;
    LabelView *LastLabel = nullptr;
    QPlainTextEdit *LogView = nullptr;
    // One switch per condition, by the printer's name for it ("pause").
    std::map<QString, QCheckBox *> ConditionSwitches;

private:
    void Start(bool withTcp);
    void ReadOutput();
    void OnLine(const QString &line);
    void OnFinished(int exitCode, QProcess::ExitStatus status);
    void ShowState();
    void ShowConditions(const QString &names);

    InterfaceSelectTab *interfaces_;
    QString program_;
    QString stateDir_;
    QProcess process_;
    QString labelsDir_;
    std::function<void(const QUrl &)> openFolder_;
    QByteArray partial_;
    QString ptyPath_;
    quint16 tcpPort_ = 0;
    bool withTcp_ = true;
    bool ready_ = false;
    bool stopping_ = false;
    QString problem_;
};
