#include "core/remote/TransportError.h"

TransportError::TransportError(QString message, QNetworkReply::NetworkError code)
    : UserFacingError(std::move(message))
    , m_code(code) {}
