#include "core/model/UserFacingError.h"

UserFacingError::UserFacingError(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8()) {}

CancelledError::CancelledError()
    : UserFacingError(QStringLiteral("Cancelled")) {}
