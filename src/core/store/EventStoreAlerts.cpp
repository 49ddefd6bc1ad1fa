#include "core/store/EventStore.h"

#include "core/settings/AppSettings.h"
#include "core/store/AlertSound.h"

namespace {

// A starting alert this soon after the same meeting's imminent alert would only repeat it.
constexpr qint64 repeatSuppressionMs = 100000;

} // namespace

void EventStore::recomputePeek() {
    std::optional<PeekInfo> peek = PeekInfo::choose(events(m_now), m_now, m_settings.peekMinutes());
    // Assigned only on a change of event, minute count or anything shown of the event (a new title):
    // the panel reacts to every assignment.
    if (peek == m_peek && (!peek || identical(peek->event, m_peek->event)))
        return;
    setPeek(std::move(peek));
}

void EventStore::checkAlerts() {
    for (const MeetingAlert& alert : MeetingAlert::due(events(m_now), m_now, m_settings.alertMinutes()))
        fireAlert(alert);
}

void EventStore::fireAlert(const MeetingAlert& alert) {
    const QString key = MeetingAlert::firedKey(alert.event, alert.kind);
    if (m_alertedAt.contains(key))
        return;
    // Spent before any further test, so a suppressed alert is not raised later either.
    m_alertedAt.insert(key, m_now);
    if (alert.kind == MeetingAlert::Kind::starting) {
        const auto imminent =
            m_alertedAt.constFind(MeetingAlert::firedKey(alert.event, MeetingAlert::Kind::imminent));
        if (imminent != m_alertedAt.cend() && imminent->msecsTo(m_now) < repeatSuppressionMs)
            return;
    }
    showAlert(alert);
}

void EventStore::forgetFiredAlerts(const QString& eventId) {
    const QString prefix = eventId + QLatin1Char('|');
    m_alertedAt.removeIf([&](const auto& entry) { return entry.key().startsWith(prefix); });
}

void EventStore::showAlert(const MeetingAlert& alert) {
    setAlert(alert);
    // Sample events are pictures of meetings (the snapshot mode): they stay silent.
    if (m_settings.alertSound() && m_sound && !m_sampleMode)
        m_sound->play();
    m_alertDismiss->start(alertDuration);
}

void EventStore::dismissAlert() {
    m_alertDismiss->stop();
    if (m_alert)
        setAlert(std::nullopt);
}

void EventStore::previewAlert() {
    CalEvent event;
    event.id = CalEvent::previewAlertId();
    event.title = QStringLiteral("Design review (preview)");
    event.start = m_now.addSecs(120);
    event.end = event.start.addSecs(1800);
    event.color = CalEvent::systemBlue();
    event.calendarName = QStringLiteral("Work");
    event.url = QUrl(QStringLiteral("https://meet.google.com/"));
    event.source = EventSource::calendar;
    event.organizerIsMe = true;
    event.calendarEditable = true;
    emit collapseRequested();
    showAlert({event, MeetingAlert::Kind::imminent, m_now});
}

void EventStore::showToast(const QString& text) {
    setToast(text);
    m_toastClear->start(toastDuration);
}
