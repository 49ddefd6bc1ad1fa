#pragma once

#include <QString>

// Proof Key for Code Exchange (RFC 7636) with the S256 method: the random verifier and state of a
// sign-in, and the challenge sent in place of the verifier.
namespace PKCE {

// `count` bytes from the system's cryptographically secure generator, as base64url without padding
// (48 bytes give the 64-character verifier, 24 the 32-character state).
QString randomString(int count);
// base64url (no padding) of the SHA-256 digest of the verifier's UTF-8 bytes: 43 characters.
QString challenge(const QString& verifier);

} // namespace PKCE
