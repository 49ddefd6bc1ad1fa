#pragma once

#include <QString>

#include <exception>

// The one kind of error that reaches the user: it carries a single sentence fit to show as it stands.
// Remote clients, the calendar store and the event store throw subclasses of it.
class UserFacingError : public std::exception {
public:
    explicit UserFacingError(QString message);

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Thrown when an operation was cancelled by its owner (a sign-in cancelled from the settings, say).
// Callers treat it as "nothing happened", never as a failure to report.
class CancelledError : public UserFacingError {
public:
    CancelledError();
};
