#include "ui/settings/CalendarSettings.h"

#include "core/calendar/CalendarStore.h"
#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>

#include <QCoroTask>

#include <algorithm>

using namespace SettingsStyle;

namespace CalendarSettingsModel {

QList<Group> groupedCalendars(const QList<LocalCalendar>& calendars) {
    QList<Group> groups;
    for (const LocalCalendar& calendar : calendars) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.source == calendar.sourceTitle; });
        if (group == groups.end())
            groups.append({calendar.sourceTitle, {calendar}});
        else
            group->calendars.append(calendar);
    }
    // QString's operator< compares UTF-16 code units: neither folded nor localised.
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Group& a, const Group& b) { return a.source < b.source; });
    return groups;
}

std::optional<AccessRow> accessRow(CalendarAccess status) {
    switch (status) {
    case CalendarAccess::fullAccess:
        return std::nullopt;
    case CalendarAccess::notDetermined:
        return AccessRow{QStringLiteral("Vorrindel has not been granted calendar access yet."),
                         QStringLiteral("G&rant access"), AccessRow::Action::grantAccess};
    case CalendarAccess::denied:
    case CalendarAccess::restricted:
    case CalendarAccess::writeOnly:
        break;
    }
    return AccessRow{QStringLiteral("Calendar access is off for Vorrindel."),
                     QStringLiteral("Open Calendar &Folder"), AccessRow::Action::openFolder};
}

} // namespace CalendarSettingsModel

namespace {

// Grants access, then reloads everything, so the calendars appear without reopening the window.
QCoro::Task<> grantAccess(QPointer<EventStore> store) {
    QCoro::Task<> request = store->calendar().requestAccess();
    co_await request;
    if (!store)
        co_return;
    QCoro::Task<> reload = store->refreshAll();
    co_await reload;
}

} // namespace

// The calendars of one source, a switch each, kept by calendar id.
class CalendarSourceSection : public FormSection {
public:
    CalendarSourceSection(const QString& source, std::function<void(const QString&, bool)> setShown,
                          QWidget* parent)
        : FormSection(source, parent)
        , m_list(new QVBoxLayout)
        , m_toggles(m_list)
        , m_setShown(std::move(setShown)) {
        m_list->setSpacing(6);
        addRow(m_list);
    }

    void setCalendars(const QList<LocalCalendar>& calendars, const QSet<QString>& hidden) {
        QStringList ids;
        for (const LocalCalendar& calendar : calendars)
            ids << calendar.id;
        m_toggles.sync(
            ids,
            [this](const QString& id) {
                auto* toggle = new QCheckBox(this);
                toggle->setIconSize(QSize(10, 10));
                connect(toggle, &QCheckBox::clicked, this, [this, id](bool shown) { m_setShown(id, shown); });
                return toggle;
            },
            [&](QCheckBox* toggle, const QString& id) {
                const LocalCalendar& calendar = *std::find_if(
                    calendars.cbegin(), calendars.cend(), [&](const LocalCalendar& c) { return c.id == id; });
                static const QColor systemBlue(0, 122, 255);
                toggle->setText(calendar.title);
                toggle->setIcon(colorDot(calendar.color.isValid() ? calendar.color : systemBlue));
                toggle->setChecked(!hidden.contains(id));
            });
    }

private:
    QVBoxLayout* m_list;
    KeyedRows<QCheckBox> m_toggles;
    std::function<void(const QString&, bool)> m_setShown;
};

CalendarSettings::CalendarSettings(const SettingsContext& context, QWidget* parent)
    : SettingsPage(parent)
    , m_context(context)
    , m_groups(nullptr) {
    m_access = addSection();
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* icon = new QLabel(m_access);
    const int side = QFontMetrics(font()).height() + 2;
    icon->setPixmap(
        symbol(QStringLiteral("calendar-warning"), toneColor(QApplication::palette(), Tone::warning))
            .pixmap(QSize(side, side), devicePixelRatioF()));
    m_accessText = new QLabel(m_access);
    m_accessText->setWordWrap(true);
    m_accessButton = new QPushButton(m_access);
    row->addWidget(icon);
    row->addWidget(m_accessText, 1);
    row->addWidget(m_accessButton);
    m_access->addRow(row);

    // The source sections sit between the access row and the footer, in a box of their own.
    m_groupBox = new QWidget(widget());
    auto* groups = new QVBoxLayout(m_groupBox);
    groups->setContentsMargins(0, 0, 0, 0);
    groups->setSpacing(14);
    m_groups = KeyedRows<CalendarSourceSection>(groups);
    static_cast<QVBoxLayout*>(widget()->layout())->insertWidget(1, m_groupBox);

    addNote(QStringLiteral(
        "Calendars that vdirsyncer or another sync tool keeps in the calendar folder appear here."));

    connect(m_accessButton, &QPushButton::clicked, this, &CalendarSettings::runAccessAction);
    CalendarStore& calendars = m_context.store.calendar();
    connect(&calendars, &CalendarStore::statusChanged, this, &CalendarSettings::sync);
    connect(&calendars, &CalendarStore::calendarsChanged, this, &CalendarSettings::sync);
    connect(&m_context.settings, &AppSettings::hiddenCalendarIDsChanged, this, &CalendarSettings::sync);
    sync();
}

void CalendarSettings::sync() {
    using namespace CalendarSettingsModel;
    const CalendarStore& store = m_context.store.calendar();
    const std::optional<AccessRow> access = accessRow(store.status());
    m_access->setVisible(access.has_value());
    if (access) {
        m_accessText->setText(access->text);
        m_accessButton->setText(access->button);
        m_accessButton->setAccessibleName(QString(access->button).remove(QLatin1Char('&')));
        m_accessAction = access->action;
    }

    const QList<Group> groups = groupedCalendars(store.calendars());
    QStringList sources;
    for (const Group& group : groups)
        sources << group.source;
    const QSet<QString> hidden = m_context.settings.hiddenCalendarIDs();
    m_groups.sync(
        sources,
        [this](const QString& source) {
            return new CalendarSourceSection(
                source, [this](const QString& id, bool shown) { setCalendarShown(id, shown); }, m_groupBox);
        },
        [&](CalendarSourceSection* section, const QString& source) {
            const auto group = std::find_if(groups.cbegin(), groups.cend(),
                                            [&](const Group& g) { return g.source == source; });
            section->setCalendars(group->calendars, hidden);
        });
    m_groupBox->setVisible(!groups.isEmpty());
}

void CalendarSettings::runAccessAction() {
    if (!m_accessAction)
        return;
    if (*m_accessAction == CalendarSettingsModel::AccessRow::Action::openFolder) {
        CalendarStore::openPrivacySettings(m_context.openUrl);
        return;
    }
    // Enabled all along: a second press asks again.
    Tasks::startDetached(grantAccess(&m_context.store), QStringLiteral("Calendar access"));
}

void CalendarSettings::setCalendarShown(const QString& calendarID, bool shown) {
    QSet<QString> hidden = m_context.settings.hiddenCalendarIDs();
    if (shown)
        hidden.remove(calendarID);
    else
        hidden.insert(calendarID);
    m_context.settings.setHiddenCalendarIDs(hidden);
}
