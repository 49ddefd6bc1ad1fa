#pragma once

#include <QString>

// The page the browser shows after the sign-in redirect reached the loopback listener: "connected"
// when the request was judged a success, "cancelled" otherwise. It reflects nothing of the request.
namespace LoopbackPage {

QString html(bool success);

} // namespace LoopbackPage
