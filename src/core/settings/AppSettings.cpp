#include "core/settings/AppSettings.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"
#include "core/settings/GoogleConfigFile.h"
#include "core/settings/JsonSettingsFormat.h"
#include "core/settings/LaunchAtLogin.h"
#include "core/settings/LegacyMigration.h"
#include "core/settings/TokenFile.h"

#include <QFileInfo>
#include <QSettings>

#include <cmath>
#include <limits>
#include <optional>

namespace {

bool isInteger(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

// A whole number that fits an int: an integer, or a floating-point value without a fraction. Text
// never counts as a number.
std::optional<int> asInt(const QVariant& v) {
    if (isInteger(v)) {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (ok && n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max())
            return int(n);
        return std::nullopt;
    }
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = v.toDouble();
        if (std::trunc(d) == d && d >= std::numeric_limits<int>::min() &&
            d <= std::numeric_limits<int>::max())
            return int(d);
    }
    return std::nullopt;
}

// A Boolean, or the numbers 0 and 1.
std::optional<bool> asBool(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const std::optional<int> n = asInt(v);
    if (n == 0 || n == 1)
        return *n == 1;
    return std::nullopt;
}

// The lenient Boolean read: false when absent; numbers by value; text that starts (after blanks,
// a sign and leading zeros) with y, t or a digit 1-9.
bool boolOrFalse(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isInteger(v) || v.typeId() == QMetaType::Double)
        return v.toDouble() != 0;
    if (v.typeId() != QMetaType::QString)
        return false;
    const QString text = v.toString().trimmed();
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    while (i < text.size() && text[i] == u'0')
        ++i;
    if (i == text.size())
        return false;
    const QChar c = text[i];
    return c == u'y' || c == u'Y' || c == u't' || c == u'T' || (c >= u'1' && c <= u'9');
}

// Text as stored; a number reads as its decimal text.
QString asString(const QVariant& v) {
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (isInteger(v) || v.typeId() == QMetaType::Double)
        return v.toString();
    return QString();
}

// A list whose elements are all text.
std::optional<QStringList> asStringList(const QVariant& v) {
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QStringList list;
    for (const QVariant& item : v.toList()) {
        if (item.typeId() != QMetaType::QString)
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

// A credential file that is there but could not be read at start stays where it is; the trace says why.
void traceUnread(const QString& unreadable, const QString& path) {
    if (!unreadable.isEmpty())
        DebugLog::log([&] {
            return QFileInfo(path).fileName() +
                   QStringLiteral(" cannot be read (%1); left as it is").arg(unreadable);
        });
}

// Whether a credential file that could not be read must still be left alone: until it has gone, a
// write would replace (or, for an empty token, delete) what it holds.
bool keptUnread(QString& unreadable, const QString& path) {
    if (unreadable.isEmpty())
        return false;
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink()) {
        unreadable.clear();
        return false;
    }
    DebugLog::log(
        [&] { return QFileInfo(path).fileName() + QStringLiteral(" not saved: it could not be read"); });
    return true;
}

std::optional<QString> unreadableProblem(const QString& reason, const QString& path, const QString& effect) {
    if (reason.isEmpty())
        return std::nullopt;
    return QStringLiteral("Vorrindel can’t read %1 (%2), so %3. The file stays as it is and nothing is "
                          "saved over it: make it readable for your user, then restart Vorrindel.")
        .arg(path, reason, effect);
}

QStringList sorted(const QSet<QString>& set) {
    QStringList list(set.cbegin(), set.cend());
    list.sort();
    return list;
}

// The settings hold the recent invitees' addresses: the file and its folder are the user's alone, also
// when an earlier version made them readable by others. The file exists from here on, so the first
// write, which keeps the permissions of the file it replaces, cannot make it readable either.
QString privateSettingsFile(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!PrivateFile::makeFolder(folder) || !PrivateFile::makePrivate(folder) ||
        !PrivateFile::createPrivate(path))
        DebugLog::log([&] { return QStringLiteral("settings file could not be made private: ") + path; });
    return path;
}

} // namespace

AppSettings::AppSettings(const SettingsLocations& locations, QObject* parent)
    : QObject(parent)
    , m_locations(locations)
    , m_store(std::make_unique<QSettings>(privateSettingsFile(locations.settingsFile),
                                          JsonSettingsFormat::format()))
    , m_launchAtLogin(std::make_unique<LaunchAtLogin>(locations.autostartFile, locations.executable)) {
    if (m_store->status() == QSettings::FormatError) {
        // The first assignment would replace the file and lose every setting in it.
        m_store.reset();
        const QString aside = PrivateFile::keepAside(m_locations.settingsFile);
        DebugLog::log(
            [&] { return QStringLiteral("settings file does not decode; kept aside as ") + aside; });
        m_store = std::make_unique<QSettings>(privateSettingsFile(m_locations.settingsFile),
                                              JsonSettingsFormat::format());
    }
    LegacyMigration::run(*m_store, m_locations);
    // The app folder holds the credential files; the migration may just have copied it in, and an
    // earlier version may have left the files readable by others.
    for (const QString& path : {m_locations.appFolder, TokenFile::path(m_locations.appFolder),
                                GoogleConfigFile::path(m_locations.appFolder)}) {
        if (!PrivateFile::makePrivate(path))
            DebugLog::log([&] { return QStringLiteral("could not be made private: ") + path; });
    }

    auto value = [this](const char* key) { return m_store->value(QLatin1String(key)); };
    m_expandOnHover = asBool(value("expandOnHover")).value_or(true);
    m_showPeek = asBool(value("showPeek")).value_or(true);
    m_peekMinutes = asInt(value("peekMinutes")).value_or(15);
    if (const auto ids = asStringList(value("hiddenCalendarIDs")))
        m_hiddenCalendarIDs = QSet<QString>(ids->cbegin(), ids->cend());
    if (const QVariant data = value("notionDatabases"); data.typeId() == QMetaType::QByteArray)
        m_notionDatabases =
            NotionDatabaseSelection::listFromJson(data.toByteArray()).value_or(m_notionDatabases);
    m_alertMinutes = asInt(value("alertMinutes")).value_or(2);
    m_alertSound = asBool(value("alertSound")).value_or(true);
    m_defaultCalendarID = asString(value("defaultCalendarID"));
    m_defaultEventMinutes = asInt(value("defaultEventMinutes")).value_or(60);
    m_quickAddHotkey = asBool(value("quickAddHotkey")).value_or(true);
    m_googlePromptDismissed = boolOrFalse(value("googlePromptDismissed"));
    m_recentInvitees = asStringList(value("recentInvitees")).value_or(QStringList());
    m_defaultMeetingTarget = asString(value("defaultMeetingTarget"));

    m_notionToken = TokenFile::read(m_locations.appFolder, &m_notionTokenUnreadable);
    traceUnread(m_notionTokenUnreadable, TokenFile::path(m_locations.appFolder));
    m_google = GoogleConfigFile::read(m_locations.appFolder, &m_googleUnreadable);
    traceUnread(m_googleUnreadable, GoogleConfigFile::path(m_locations.appFolder));
}

AppSettings::~AppSettings() = default;

AppSettings& AppSettings::shared() {
    // Deliberately never released: it lives as long as the process, and destroying a QObject after
    // the application object has gone is not safe.
    static AppSettings* const instance = new AppSettings(SettingsLocations::standard());
    return *instance;
}

void AppSettings::store(const QString& key, const QVariant& value) {
    m_store->setValue(key, value);
    m_store->sync();
    if (m_store->status() != QSettings::NoError)
        DebugLog::log([&] { return QStringLiteral("settings not saved: ") + m_locations.settingsFile; });
}

#define VORRINDEL_SETTER(Type, name, Setter, stored)                                                         \
    void AppSettings::Setter(Type value) {                                                                   \
        m_##name = value;                                                                                    \
        store(QStringLiteral(#name), stored);                                                                \
        emit name##Changed();                                                                                \
        emit changed();                                                                                      \
    }

VORRINDEL_SETTER(bool, expandOnHover, setExpandOnHover, m_expandOnHover)
VORRINDEL_SETTER(bool, showPeek, setShowPeek, m_showPeek)
VORRINDEL_SETTER(int, peekMinutes, setPeekMinutes, m_peekMinutes)
VORRINDEL_SETTER(const QSet<QString>&, hiddenCalendarIDs, setHiddenCalendarIDs, sorted(m_hiddenCalendarIDs))
VORRINDEL_SETTER(const QList<NotionDatabaseSelection>&, notionDatabases, setNotionDatabases,
                 NotionDatabaseSelection::listToJson(m_notionDatabases))
VORRINDEL_SETTER(int, alertMinutes, setAlertMinutes, m_alertMinutes)
VORRINDEL_SETTER(bool, alertSound, setAlertSound, m_alertSound)
VORRINDEL_SETTER(const QString&, defaultCalendarID, setDefaultCalendarID, m_defaultCalendarID)
VORRINDEL_SETTER(int, defaultEventMinutes, setDefaultEventMinutes, m_defaultEventMinutes)
VORRINDEL_SETTER(bool, quickAddHotkey, setQuickAddHotkey, m_quickAddHotkey)
VORRINDEL_SETTER(const QStringList&, recentInvitees, setRecentInvitees, m_recentInvitees)
VORRINDEL_SETTER(const QString&, defaultMeetingTarget, setDefaultMeetingTarget, m_defaultMeetingTarget)
VORRINDEL_SETTER(bool, googlePromptDismissed, setGooglePromptDismissed, m_googlePromptDismissed)

#undef VORRINDEL_SETTER

void AppSettings::setNotionToken(const QString& token) {
    m_notionToken = token;
    if (!keptUnread(m_notionTokenUnreadable, TokenFile::path(m_locations.appFolder)))
        TokenFile::write(m_locations.appFolder, m_notionToken);
    emit notionTokenChanged();
    emit changed();
}

void AppSettings::setGoogle(const GoogleConfig& config) {
    m_google = config;
    if (!keptUnread(m_googleUnreadable, GoogleConfigFile::path(m_locations.appFolder)))
        GoogleConfigFile::write(m_locations.appFolder, m_google);
    emit googleChanged();
    emit changed();
}

std::optional<QString> AppSettings::googleFileProblem() const {
    return unreadableProblem(m_googleUnreadable, GoogleConfigFile::path(m_locations.appFolder),
                             QStringLiteral("your Google accounts don’t show"));
}

std::optional<QString> AppSettings::notionTokenFileProblem() const {
    return unreadableProblem(m_notionTokenUnreadable, TokenFile::path(m_locations.appFolder),
                             QStringLiteral("Notion doesn’t show"));
}

bool AppSettings::canOfferGoogle() const {
    return m_google.hasClient() && m_google.accounts.isEmpty();
}

bool AppSettings::hasGoogle() const {
    return m_google.hasClient() && !m_google.accounts.isEmpty();
}

bool AppSettings::hasNotion() const {
    return !m_notionToken.isEmpty() && !m_notionDatabases.isEmpty();
}

bool AppSettings::launchAtLogin() const {
    return m_launchAtLogin->isEnabled();
}

void AppSettings::setLaunchAtLogin(bool on) {
    m_launchAtLogin->setEnabled(on);
    emit changed();
}
