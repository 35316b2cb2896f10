#pragma once

#include <QString>

#include <concepts>
#include <exception>
#include <utility>

class QWidget;

struct ErrorParticulars;

// The application's error box: title "Tarvolin", error icon, OK. The message
// stays exactly as given (with its closing full stop); what the failure
// concerns and what to try go into the box's informative text.
QString ErrorBoxText(const QString &message);
void ShowErrorBox(const QString &message, const QString &informativeText = QString());

// Shows a failure that escaped an operation. Called only from Guarded().
void ReportEscapedException(std::exception_ptr error);

// Wraps a handler so that no exception crosses the Qt event loop: whatever
// escapes the handler ends that operation and is shown in the error box.
// Every handler is connected through this, never by hand.
template<class F>
auto Guarded(F handler)
{
    // Constrained so that Qt can count the arguments the handler takes.
    return [handler = std::move(handler)]<class... Args>(Args &&...args)
        requires std::invocable<const F &, Args...>
    {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (...) {
            ReportEscapedException(std::current_exception());
        }
    };
}

// Shows a handler-tested failure: the exact text, an OK button, and the
// particulars below it when there are any.
void ShowMessage(const QString &message);
void ShowMessage(const QString &message, const ErrorParticulars &particulars);
