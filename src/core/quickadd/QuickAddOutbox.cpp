#include "core/quickadd/QuickAddOutbox.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"
#include "core/model/Tasks.h"
#include "core/model/UserFacingError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

namespace {

QJsonObject toJson(const QuickAddOutbox::Held& held) {
    QJsonArray invitees;
    for (const Person& person : held.line.manualInvitees)
        invitees.append(
            QJsonObject{{QStringLiteral("email"), person.email}, {QStringLiteral("name"), person.name}});
    QJsonObject json{{QStringLiteral("text"), held.line.text},
                     {QStringLiteral("invitees"), invitees},
                     {QStringLiteral("meet"), held.line.meetChoice ? QJsonValue(*held.line.meetChoice)
                                                                   : QJsonValue(QJsonValue::Null)},
                     {QStringLiteral("destination"), held.line.destinationID},
                     {QStringLiteral("eventId"), held.ids.eventId},
                     {QStringLiteral("conferenceRequestId"), held.ids.conferenceRequestId},
                     {QStringLiteral("sending"), held.sending}};
    if (held.failure)
        json.insert(QStringLiteral("failure"), *held.failure);
    return json;
}

// A line as a former run left it: never being sent any more, with its failure, or, when the run ended
// before its answer, the interruption; a line that was waiting its turn waits on. None when the entry
// does not read as one.
std::optional<QuickAddOutbox::Held> fromJson(const QJsonObject& json) {
    const QJsonValue text = json.value(u"text");
    const QJsonValue eventId = json.value(u"eventId");
    const QJsonValue requestId = json.value(u"conferenceRequestId");
    const QJsonValue meet = json.value(u"meet");
    if (!text.isString() || !eventId.isString() || eventId.toString().isEmpty() || !requestId.isString() ||
        !(meet.isBool() || meet.isNull()) || !json.value(u"invitees").isArray())
        return std::nullopt;
    QuickAddOutbox::Held held;
    held.line.text = text.toString();
    for (const QJsonValue& value : json.value(u"invitees").toArray()) {
        const QJsonObject person = value.toObject();
        if (!person.value(u"email").isString())
            return std::nullopt;
        held.line.manualInvitees << Person(person.value(u"email").toString(),
                                           person.value(u"name").toString());
    }
    if (meet.isBool())
        held.line.meetChoice = meet.toBool();
    held.line.destinationID = json.value(u"destination").toString();
    held.ids = {eventId.toString(), requestId.toString()};
    const QJsonValue failure = json.value(u"failure");
    if (failure.isString())
        held.failure = failure.toString();
    else if (json.value(u"sending").toBool(true))
        held.failure = QuickAddOutbox::interrupted;
    return held;
}

// The lines of a file, oldest first: a list of them, or the one line an earlier release kept. None when
// any of them does not read as a line.
std::optional<QList<QuickAddOutbox::Held>> linesFromJson(const QJsonObject& json) {
    const QJsonArray entries = json.contains(u"lines") ? json.value(u"lines").toArray() : QJsonArray{json};
    if (entries.isEmpty())
        return std::nullopt;
    QList<QuickAddOutbox::Held> lines;
    for (const QJsonValue& entry : entries) {
        const std::optional<QuickAddOutbox::Held> held = fromJson(entry.toObject());
        if (!held)
            return std::nullopt;
        lines << *held;
    }
    return lines;
}

} // namespace

// The app ended while the line was being sent: it is ready to go again, under the same ids.
const QString QuickAddOutbox::interrupted =
    QStringLiteral("Vorrindel closed before Google answered — send it again; it won’t be added twice");

QuickAddOutbox::QuickAddOutbox(QString file, QObject* parent)
    : QObject(parent)
    , m_file(std::move(file)) {
    restore();
}

void QuickAddOutbox::restore() {
    if (m_file.isEmpty())
        return;
    QString error;
    const std::optional<QByteArray> bytes = PrivateFile::read(m_file, error);
    if (!bytes) {
        if (!error.isEmpty()) {
            // Left as it is, and never replaced in this run: it may hold a line not yet on Google.
            DebugLog::log(
                [&] { return m_file + QStringLiteral(" cannot be read (%1); left as it is").arg(error); });
            m_file.clear();
        }
        return;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parse);
    const std::optional<QList<Held>> lines = parse.error == QJsonParseError::NoError && document.isObject()
                                                 ? linesFromJson(document.object())
                                                 : std::nullopt;
    if (lines) {
        m_lines = *lines;
        return;
    }
    const QString aside = PrivateFile::keepAside(m_file);
    DebugLog::log([&] {
        return aside.isEmpty()
                   ? m_file + QStringLiteral(" does not read as a line and could not be kept aside")
                   : m_file + QStringLiteral(" does not read as a line; kept aside as ") + aside;
    });
}

void QuickAddOutbox::save() {
    if (m_file.isEmpty())
        return;
    if (m_lines.isEmpty()) {
        QFile::remove(m_file);
        return;
    }
    QJsonArray lines;
    for (const Held& held : std::as_const(m_lines))
        lines.append(toJson(held));
    const QString error =
        PrivateFile::write(m_file, QJsonDocument(QJsonObject{{QStringLiteral("lines"), lines}}).toJson());
    if (!error.isEmpty())
        DebugLog::log([&] { return m_file + QStringLiteral(" not saved: ") + error; });
}

void QuickAddOutbox::send(const Line& line, const Send& send) {
    const Held* oldest = held();
    const GoogleAPI::InsertIds ids =
        oldest && oldest->line == line ? oldest->ids : GoogleAPI::InsertIds::fresh();
    const quint64 number = ++m_sends;
    if (m_lines.isEmpty())
        m_lines << Held();
    m_lines.first() = Held{line, ids, true, std::nullopt};
    // On disk before it goes out: a quit from here on finds it on the next start.
    save();
    QPointer self(this);
    Renewed renewed = [self, number](const GoogleAPI::InsertIds& fresh) {
        if (!self || number != self->m_sends || self->m_lines.isEmpty())
            return;
        self->m_lines.first().ids = fresh;
        self->save();
    };
    QCoro::Task<CalEvent> call = send(ids, std::move(renewed));
    Tasks::startDetached(follow(number, std::move(call)), QStringLiteral("Sending a meeting"));
}

void QuickAddOutbox::add(const Line& line) {
    m_lines << Held{line, GoogleAPI::InsertIds::fresh(), false, std::nullopt};
    save();
}

void QuickAddOutbox::drop() {
    if (!m_lines.isEmpty() && !m_lines.first().sending) {
        m_lines.removeFirst();
        save();
    }
}

QCoro::Task<> QuickAddOutbox::follow(quint64 send, QCoro::Task<CalEvent> call) {
    QPointer self(this);
    std::optional<QString> failure;
    bool succeeded = false;
    bool cancelled = false;
    try {
        co_await call;
        succeeded = true;
    } catch (const CancelledError&) {
        cancelled = true;
    } catch (const UserFacingError& error) {
        failure = error.message();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self || send != m_sends || m_lines.isEmpty())
        co_return;
    if (succeeded) {
        m_lines.removeFirst();
    } else {
        m_lines.first().sending = false;
        m_lines.first().failure = failure;
    }
    // A cancelled send (its agenda went away) stays on disk as it was: the next start offers it again.
    if (!cancelled)
        save();
    emit answered(succeeded);
}
