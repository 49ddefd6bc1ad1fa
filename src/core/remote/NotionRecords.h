#pragma once

#include "core/remote/RemoteError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The Notion side: databases the integration can see, the ones the user chose, and the error of every
// Notion call. JSON keys are the field names; decoding is strict; an absent icon is left out.

// A database with at least one date property, as the Notion client discovers it; identity `id`.
struct NotionDatabase {
    QString id;
    QString title;               // "Untitled database" when Notion gives none
    std::optional<QString> icon; // emoji
    QStringList dateProperties;  // sorted, never empty in a listing

    QJsonObject toJson() const;
    static std::optional<NotionDatabase> fromJson(const QJsonValue& value);

    friend bool operator==(const NotionDatabase&, const NotionDatabase&) = default;
};
size_t qHash(const NotionDatabase& database, size_t seed = 0);

// A database the user chose to show, with the date property that places its pages in time; identity
// `id`. Kept in the settings as a JSON array.
struct NotionDatabaseSelection {
    QString id;
    QString title; // shown as the events' calendar name
    std::optional<QString> icon;
    QString dateProperty;

    QJsonObject toJson() const;
    static std::optional<NotionDatabaseSelection> fromJson(const QJsonValue& value);

    // The compact JSON array the settings store; one undecodable element fails the whole list.
    static QByteArray listToJson(const QList<NotionDatabaseSelection>& selections);
    static std::optional<QList<NotionDatabaseSelection>> listFromJson(const QByteArray& json);

    friend bool operator==(const NotionDatabaseSelection&, const NotionDatabaseSelection&) = default;
};
size_t qHash(const NotionDatabaseSelection& selection, size_t seed = 0);

// The error of every Notion call.
class NotionError : public RemoteError {
public:
    using RemoteError::RemoteError;
};
