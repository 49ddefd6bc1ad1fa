#include "core/model/ProcessArguments.h"

#include <QCoreApplication>

#include <optional>

namespace ProcessArguments {

namespace {

std::optional<QStringList>& stored() {
    static std::optional<QStringList> arguments;
    return arguments;
}

} // namespace

QStringList all() {
    return stored() ? *stored() : QCoreApplication::arguments();
}

void set(const QStringList& arguments) {
    stored() = arguments;
}

bool contains(const QString& argument) {
    return all().contains(argument, Qt::CaseSensitive);
}

namespace {
bool snapshotMode = false;
} // namespace

bool isSnapshotMode() {
    return snapshotMode;
}

void setSnapshotMode(bool on) {
    snapshotMode = on;
}

} // namespace ProcessArguments
