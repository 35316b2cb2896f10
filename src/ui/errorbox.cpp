#include "ui/errorbox.h"

#include "core/erroradvice.h"
#include "core/exceptions.h"

#include <QApplication>
#include <QMessageBox>

QString ErrorBoxText(const QString &message)
{
    // A full stop closes texts that end in a letter or digit, but not texts
    // that already end in punctuation such as "!" or ")".
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBox(const QString &message, const QString &informativeText)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tarvolin"), ErrorBoxText(message),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.setInformativeText(informativeText);
    box.exec();
}

void ShowMessage(const QString &message)
{
    ShowMessage(message, ErrorParticulars {});
}

void ShowMessage(const QString &message, const ErrorParticulars &particulars)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setInformativeText(ErrorAdvice(particulars));
    box.exec();
}

void ReportEscapedException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EOperationCancelled &e) {
        // The operator's own stop, and how far it got: a warning, not a fault.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarvolin"), e.Message(),
                        QMessageBox::Ok, QApplication::activeWindow());
        box.setObjectName(QStringLiteral("CancelledBox"));
        box.exec();
    } catch (const EHandlerMessage &e) {
        ShowMessage(e.Message(), e.Particulars());
    } catch (const ETarvolinError &e) {
        ShowErrorBox(e.Message(), ErrorAdvice(e.Particulars()));
    } catch (const std::bad_alloc &) {
        ShowErrorBox(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        ShowErrorBox(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unknown error"));
    }
}
