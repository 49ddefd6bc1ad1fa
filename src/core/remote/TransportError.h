#pragma once

#include "core/model/UserFacingError.h"

#include <QNetworkReply>

// A request that got no HTTP reply at all: no network, a refused or dropped connection, a time-out, a
// listener that could not start. It carries Qt's own description of what went wrong.
class TransportError : public UserFacingError {
public:
    explicit TransportError(QString message,
                            QNetworkReply::NetworkError code = QNetworkReply::UnknownNetworkError);

    QNetworkReply::NetworkError code() const noexcept { return m_code; }

private:
    QNetworkReply::NetworkError m_code;
};
