#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

// One modal dialog that the watcher saw and closed.
struct SeenDialog
{
    QString className; // "QMessageBox", "QFileDialog", ...
    QString objectName; // "ErrorBox", "MessageBox", ...
    QString title;
    QString text;
    QString informativeText; // what the failure concerns and what to try
    int icon = 0; // QMessageBox::Icon
};

// Watches for modal dialogs while a test clicks through the real window:
// records each message box's title and text and presses OK, or answers a
// file dialog with a file name (or cancels it). Create it before the click
// that opens the dialog: exec() does not return until the dialog closes.
class ModalWatcher
{
public:
    ModalWatcher();
    ~ModalWatcher();

    // Answers to the next file dialogs, in order: an absolute path to choose,
    // or an empty string to cancel.
    void AnswerFileDialogs(QStringList answers) { fileAnswers_ = std::move(answers); }
    // Answers to the next message boxes, in order: the text of the button to
    // press. Without one, a box is closed as with OK.
    void AnswerMessageBoxes(QStringList buttons) { boxAnswers_ = std::move(buttons); }

    const std::vector<SeenDialog> &Seen() const { return seen_; }
    QStringList Texts() const;
    void Clear() { seen_.clear(); }

private:
    void Poll();
    void Handle(QWidget *modal);

    QTimer timer_;
    std::vector<SeenDialog> seen_;
    QStringList fileAnswers_;
    QStringList boxAnswers_;
};
