#pragma once

#include <QString>

// Root reads and writes any file whatever its permissions, so a test of what a user cannot read needs
// a process that permissions apply to.
namespace OrdinaryUser {

// When the process runs as root, it becomes the user "nobody" (without supplementary groups) for the
// rest of its life; an ordinary user stays who it is. Returns an empty text when the process now runs
// as a user other than root, else what stood in the way.
QString become();

} // namespace OrdinaryUser
