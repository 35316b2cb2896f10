#include "support/ui/modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

ModalWatcher::ModalWatcher()
{
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
}

ModalWatcher::~ModalWatcher() = default;

QStringList ModalWatcher::Texts() const
{
    QStringList texts;
    for (const auto &d : seen_)
        texts << d.text;
    return texts;
}

void ModalWatcher::Poll()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        Handle(modal);
}

void ModalWatcher::Handle(QWidget *modal)
{
    SeenDialog seen;
    seen.className = QString::fromLatin1(modal->metaObject()->className());
    seen.objectName = modal->objectName();
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.text = box->text();
        seen.informativeText = box->informativeText();
        seen.icon = box->icon();
        seen_.push_back(seen);
        const QString answer = boxAnswers_.isEmpty() ? QString() : boxAnswers_.takeFirst();
        for (QAbstractButton *button : box->buttons()) {
            if (!answer.isEmpty() && button->text() == answer) {
                button->click();
                return;
            }
        }
        box->done(QMessageBox::Ok);
        return;
    }
    if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        const QString answer = fileAnswers_.isEmpty() ? QString() : fileAnswers_.takeFirst();
        seen_.push_back(seen);
        if (answer.isEmpty()) {
            dialog->reject();
            return;
        }
        // Non-native dialog: set the whole path in the name field and accept.
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(answer);
        dialog->selectFile(answer);
        QMetaObject::invokeMethod(dialog, "accept");
        return;
    }
    seen_.push_back(seen);
    modal->close();
}
