#pragma once

#include <QByteArray>
#include <QString>

// Real files for tests: what they hold, writing them with their folders, and their permission bits.
namespace TestFiles {

// Empty when the file cannot be read.
QByteArray read(const QString& path);
// Creates missing folders; false when the file cannot be written.
bool write(const QString& path, const QByteArray& content);
// The permission bits (such as 0600), or 0 when there is no such file.
unsigned mode(const QString& path);

} // namespace TestFiles
