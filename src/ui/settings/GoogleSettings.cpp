#include "ui/settings/GoogleSettings.h"

#include "core/model/Tasks.h"
#include "core/remote/HexColor.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/ActivitySpinner.h"
#include "ui/controls/GoogleCalendarMark.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace SettingsStyle;

namespace GoogleSettingsModel {

Layout layout(const GoogleConfig& config) {
    if (!config.hasClient())
        return Layout::developerClient;
    return config.accounts.isEmpty() ? Layout::connectCard : Layout::accounts;
}

Repair repair(const GoogleAccount& account) {
    if (account.needsReauth)
        return Repair::reconnect;
    return account.canWrite() ? Repair::none : Repair::allowInvites;
}

QString calendarCount(const GoogleAccount& account) {
    return QStringLiteral("%1 of %2 calendars")
        .arg(account.visibleCalendars().size())
        .arg(account.calendars.size());
}

QString calendarTitle(const GoogleCalendarInfo& calendar) {
    return calendar.primary ? calendar.summary + QStringLiteral(" (primary)") : calendar.summary;
}

QColor calendarColor(const GoogleCalendarInfo& calendar) {
    static const QColor systemBlue(0, 122, 255);
    if (!calendar.colorHex)
        return systemBlue;
    return HexColor::color(*calendar.colorHex).value_or(systemBlue);
}

QString clientValue(const QString& typed) {
    return typed.trimmed();
}

std::optional<QString> syncedText(const std::optional<QDateTime>& lastSync, const QDateTime& now) {
    if (!lastSync)
        return std::nullopt;
    const qint64 seconds = std::max<qint64>(0, lastSync->secsTo(now));
    const qint64 days = seconds / 86400;
    QString ago;
    if (seconds < 60)
        ago = QStringLiteral("%1 sec. ago").arg(seconds);
    else if (seconds < 3600)
        ago = QStringLiteral("%1 min. ago").arg(seconds / 60);
    else if (seconds < 86400)
        ago = QStringLiteral("%1 hr. ago").arg(seconds / 3600);
    else if (days < 7)
        ago = days == 1 ? QStringLiteral("1 day ago") : QStringLiteral("%1 days ago").arg(days);
    else if (days < 30)
        ago = QStringLiteral("%1 wk. ago").arg(days / 7);
    else if (days < 365)
        ago = QStringLiteral("%1 mo. ago").arg(days / 30);
    else
        ago = QStringLiteral("%1 yr. ago").arg(days / 365);
    return QStringLiteral("Synced ") + ago;
}

} // namespace GoogleSettingsModel

namespace {

// The running sign-in's progress line with its Cancel button.
QWidget* signInProgress(QWidget* parent, QPushButton** cancel, bool stretchBeforeCancel) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(spinner(row));
    QLabel* text = caption(QStringLiteral("Finish signing in to Google in your browser…"), row);
    text->setWordWrap(false);
    layout->addWidget(text);
    if (stretchBeforeCancel)
        layout->addStretch(1);
    *cancel = new QPushButton(QStringLiteral("Cancel"), row);
    (*cancel)->setAccessibleName(QStringLiteral("Cancel signing in"));
    layout->addWidget(*cancel);
    return row;
}

// Wrapped text that asks for its whole maximum width and measures its lines at the width it gets,
// so that a layout can centre it narrower than the card without cutting its last lines.
class CappedText : public QLabel {
public:
    CappedText(const QString& text, int maximumWidth, QWidget* parent)
        : QLabel(text, parent) {
        setMaximumWidth(maximumWidth);
    }
    int heightForWidth(int width) const override {
        return QLabel::heightForWidth(std::min(width, maximumWidth()));
    }
    QSize sizeHint() const override { return {maximumWidth(), heightForWidth(maximumWidth())}; }
};

// Centred lines across the card's width, or at most `maximumWidth` wide. Without a cap the label
// itself spans the width: a word-wrapped label that the layout centres at its preferred width would
// get the height of fewer lines than it shows.
QLabel* centredText(const QString& text, const QFont& font, std::optional<Tone> tone, QWidget* parent,
                    std::optional<int> maximumWidth = std::nullopt) {
    QLabel* label = maximumWidth ? new CappedText(text, *maximumWidth, parent) : new QLabel(text, parent);
    label->setFont(font);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    if (tone)
        setTone(label, *tone);
    return label;
}

} // namespace

GoogleAccountRow::GoogleAccountRow(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_disclosure(new QToolButton(this))
    , m_mark(new GoogleCalendarMark(18, this))
    , m_email(new QLabel(this))
    , m_repair(new QPushButton(this))
    , m_count(caption(QString(), this))
    , m_remove(new QPushButton(QStringLiteral("Remove"), this))
    , m_calendarBox(new QWidget(this))
    , m_calendarList(new QVBoxLayout(m_calendarBox))
    , m_calendars(m_calendarList) {
    m_disclosure->setArrowType(Qt::DownArrow);
    m_disclosure->setAutoRaise(true);
    m_disclosure->setFocusPolicy(Qt::StrongFocus);
    m_email->setTextFormat(Qt::PlainText);
    m_count->setWordWrap(false);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(m_disclosure);
    header->addWidget(m_mark);
    header->addWidget(m_email);
    header->addWidget(m_repair);
    header->addStretch(1);
    header->addWidget(m_count);
    header->addWidget(m_remove);

    m_calendarList->setContentsMargins(m_disclosure->sizeHint().width() + 8, 0, 0, 4);
    m_calendarList->setSpacing(6);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addLayout(header);
    layout->addWidget(m_calendarBox);

    connect(m_disclosure, &QToolButton::clicked, this, [this] {
        const bool open = !isExpanded();
        m_disclosure->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_calendarBox->setVisible(open);
    });
    connect(m_repair, &QPushButton::clicked, this, [this] {
        // Signing in again with the same e-mail replaces the account and keeps its hidden calendars.
        EventStore* store = &m_context.store;
        QTimer::singleShot(0, store, [store] {
            Tasks::startDetached(store->connectGoogle(), QStringLiteral("Google sign-in"));
        });
    });
    connect(m_remove, &QPushButton::clicked, this,
            [this] { m_context.store.removeGoogleAccount(m_account.email); });
}

bool GoogleAccountRow::isExpanded() const {
    return m_disclosure->arrowType() == Qt::DownArrow;
}

void GoogleAccountRow::setAccount(const GoogleAccount& account) {
    using GoogleSettingsModel::Repair;
    m_account = account;
    m_email->setText(account.email);
    m_disclosure->setAccessibleName(QStringLiteral("Calendars of ") + account.email);
    m_disclosure->setToolTip(m_disclosure->accessibleName());
    m_remove->setAccessibleName(QStringLiteral("Remove ") + account.email);
    switch (GoogleSettingsModel::repair(account)) {
    case Repair::reconnect:
        m_repair->setText(QStringLiteral("Reconnect"));
        m_repair->setToolTip(QStringLiteral("The connection expired — sign in again."));
        break;
    case Repair::allowInvites:
        m_repair->setText(QStringLiteral("Allow invites"));
        m_repair->setToolTip(QStringLiteral(
            "Reconnect once so Vorrindel can create events, invite people and add Meet links."));
        break;
    case Repair::none:
        break;
    }
    m_repair->setAccessibleName(m_repair->text() + QLatin1Char(' ') + account.email);
    m_repair->setAccessibleDescription(m_repair->toolTip());
    m_repair->setVisible(GoogleSettingsModel::repair(account) != Repair::none);
    m_count->setText(GoogleSettingsModel::calendarCount(account));
    syncCalendars();
}

void GoogleAccountRow::syncCalendars() {
    QStringList ids;
    for (const GoogleCalendarInfo& calendar : m_account.calendars)
        ids << calendar.id;
    m_calendars.sync(
        ids,
        [this](const QString& id) {
            auto* toggle = new QCheckBox(m_calendarBox);
            toggle->setIconSize(QSize(10, 10));
            connect(toggle, &QCheckBox::clicked, this, [this, id](bool visible) {
                m_context.store.setGoogleCalendar(id, m_account.email, visible);
            });
            return toggle;
        },
        [this](QCheckBox* toggle, const QString& id) {
            for (const GoogleCalendarInfo& calendar : m_account.calendars) {
                if (calendar.id != id)
                    continue;
                toggle->setText(GoogleSettingsModel::calendarTitle(calendar));
                toggle->setIcon(colorDot(GoogleSettingsModel::calendarColor(calendar)));
                toggle->setChecked(!m_account.hiddenCalendarIDs.contains(id));
                break;
            }
        });
}

GoogleSettings::GoogleSettings(const SettingsContext& context, QWidget* parent)
    : SettingsPage(parent)
    , m_context(context)
    , m_layout(GoogleSettingsModel::layout(context.settings.google()))
    , m_rows(nullptr) {
    const QPalette palette = QApplication::palette();

    // Whatever the layout: a google.json that cannot be read hides accounts the user still has.
    m_fileSection = addSection();
    m_fileProblem = new WarningLine(m_fileSection);
    m_fileSection->addRow(m_fileProblem);

    // A build without a client of its own.
    m_developer = addSection(QStringLiteral("Developer build"));
    m_developer->addCaption(QStringLiteral("This build has no Google OAuth client. Put your Desktop-app "
                                           "client in Secrets/google-client.json and "
                                           "rebuild, or paste one here for this computer only."));
    m_clientID = new QLineEdit(m_developer);
    m_clientID->setPlaceholderText(QStringLiteral("….apps.googleusercontent.com"));
    m_clientSecret = new QLineEdit(m_developer);
    m_clientSecret->setEchoMode(QLineEdit::Password);
    m_clientSecret->setPlaceholderText(QStringLiteral("GOCSPX-…"));
    m_useClient = new QPushButton(QStringLiteral("&Use this client"), m_developer);
    m_useClient->setAccessibleName(QStringLiteral("Use this client"));
    m_developer->addRow(QStringLiteral("Client ID"), m_clientID);
    m_developer->addRow(QStringLiteral("Client secret"), m_clientSecret);
    auto* useRow = new QHBoxLayout;
    useRow->addStretch(1);
    useRow->addWidget(m_useClient);
    m_developer->addRow(useRow);

    // The first connection.
    m_card = addSection();
    auto* card = new QVBoxLayout;
    card->setSpacing(14);
    // Narrower lines than the section's, as a card's read.
    card->setContentsMargins(24, 8, 24, 8);
    auto* mark = new GoogleCalendarMark(56, m_card);
    card->addWidget(mark, 0, Qt::AlignHCenter);
    card->addWidget(centredText(QStringLiteral("Connect Google Calendar"), scaledFont(1.3, QFont::DemiBold),
                                std::nullopt, m_card));
    card->addWidget(
        centredText(QStringLiteral("See the same calendars Notion Calendar shows, invite people to "
                                   "meetings and get a Google Meet link added automatically."),
                    QApplication::font(), Tone::secondary, m_card, 380),
        0, Qt::AlignHCenter);
    m_connect = new QPushButton(QStringLiteral("&Connect Google Calendar"), m_card);
    m_connect->setAccessibleName(QStringLiteral("Connect Google Calendar"));
    m_connect->setIcon(symbol(QStringLiteral("arrow-right-circle"), palette.color(QPalette::ButtonText)));
    m_connect->setFont(scaledFont(1.0, QFont::DemiBold));
    m_connect->setDefault(true);
    m_connect->setMinimumHeight(m_connect->sizeHint().height() + 6);
    QPushButton* cardCancel = nullptr;
    m_cardProgress = signInProgress(m_card, &cardCancel, false);
    card->addSpacing(4);
    card->addWidget(m_connect, 0, Qt::AlignHCenter);
    card->addWidget(m_cardProgress, 0, Qt::AlignHCenter);
    m_cardError = new WarningLine(m_card);
    m_cardError->setAlignment(Qt::AlignHCenter);
    card->addWidget(m_cardError);
    card->addWidget(
        centredText(QStringLiteral("Google will ask you to allow calendar access. Vorrindel keeps the "
                                   "connection on this computer only — no Vorrindel account, no "
                                   "servers."),
                    scaledFont(0.85), Tone::tertiary, m_card, 400),
        0, Qt::AlignHCenter);
    m_card->addRow(card);

    // The connected accounts.
    m_accounts = addSection(QStringLiteral("Accounts"));
    auto* rowList = new QVBoxLayout;
    rowList->setSpacing(10);
    m_rows = KeyedRows<GoogleAccountRow>(rowList);
    m_accounts->addRow(rowList);
    auto* addRow = new QHBoxLayout;
    m_addAccount = new QPushButton(QStringLiteral("&Add another account…"), m_accounts);
    m_addAccount->setAccessibleName(QStringLiteral("Add another account…"));
    m_synced = caption(QString(), m_accounts);
    m_synced->setWordWrap(false);
    QPushButton* addCancel = nullptr;
    m_addProgress = signInProgress(m_accounts, &addCancel, true);
    m_synced->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // No spacer of the row's own: only the visible one of these takes the row, so that while an
    // account signs in the spinner and its text lead it.
    addRow->addWidget(m_addProgress, 1);
    addRow->addWidget(m_addAccount, 0, Qt::AlignLeft);
    addRow->addWidget(m_synced, 1);
    m_accounts->addRow(addRow);
    m_accountsError = new WarningLine(m_accounts);
    m_accounts->addRow(m_accountsError);
    m_privacy =
        addNote(QStringLiteral("Vorrindel reads your events to show them in the notch and creates the events "
                               "you add. Nothing is stored anywhere but this computer. Disconnect any time "
                               "with Remove, or at myaccount.google.com/permissions."));

    connect(m_clientID, &QLineEdit::textChanged, this, &GoogleSettings::updateClientButton);
    connect(m_clientSecret, &QLineEdit::textChanged, this, &GoogleSettings::updateClientButton);
    connect(m_useClient, &QPushButton::clicked, this, &GoogleSettings::useClient);
    connect(m_connect, &QPushButton::clicked, this, &GoogleSettings::connectAccount);
    connect(m_addAccount, &QPushButton::clicked, this, &GoogleSettings::connectAccount);
    connect(cardCancel, &QPushButton::clicked, this, &GoogleSettings::cancelSignIn);
    connect(addCancel, &QPushButton::clicked, this, &GoogleSettings::cancelSignIn);

    connect(&m_context.settings, &AppSettings::googleChanged, this, &GoogleSettings::sync);
    EventStore& store = m_context.store;
    connect(&store, &EventStore::isConnectingGoogleChanged, this, &GoogleSettings::sync);
    connect(&store, &EventStore::googleErrorChanged, this, &GoogleSettings::sync);
    connect(&store, &EventStore::googleLastSyncChanged, this, &GoogleSettings::sync);
    // The clock's beat only ages the "Synced" text.
    connect(&store, &EventStore::nowChanged, this, &GoogleSettings::updateSynced);

    showLayout(m_layout);
    m_clientID->setText(m_context.settings.google().clientID);
    m_clientSecret->setText(m_context.settings.google().clientSecret);
    sync();
}

void GoogleSettings::sync() {
    using GoogleSettingsModel::Layout;
    const GoogleConfig google = m_context.settings.google();
    const EventStore& store = m_context.store;
    const Layout layout = GoogleSettingsModel::layout(google);
    if (layout != m_layout)
        showLayout(layout);
    const std::optional<QString> fileProblem = m_context.settings.googleFileProblem();
    m_fileProblem->setMessage(fileProblem);
    m_fileSection->setVisible(fileProblem.has_value());

    const bool connecting = store.isConnectingGoogle();
    m_connect->setVisible(!connecting);
    m_cardProgress->setVisible(connecting);
    m_cardError->setMessage(store.googleError());

    QStringList emails;
    for (const GoogleAccount& account : google.accounts)
        emails << account.email;
    m_rows.sync(
        emails, [this](const QString&) { return new GoogleAccountRow(m_context, m_accounts); },
        [&google](GoogleAccountRow* row, const QString& email) {
            for (const GoogleAccount& account : google.accounts) {
                if (account.email == email) {
                    row->setAccount(account);
                    break;
                }
            }
        });
    m_addAccount->setVisible(!connecting);
    m_addProgress->setVisible(connecting);
    updateSynced();
    m_accountsError->setMessage(store.googleError());
}

void GoogleSettings::updateSynced() {
    const EventStore& store = m_context.store;
    const std::optional<QString> synced =
        GoogleSettingsModel::syncedText(store.googleLastSync(), store.now());
    m_synced->setText(synced.value_or(QString()));
    m_synced->setVisible(!store.isConnectingGoogle() && synced);
}

void GoogleSettings::showLayout(GoogleSettingsModel::Layout layout) {
    using GoogleSettingsModel::Layout;
    // Keyboard users keep their place: focus that sat in a section about to hide moves to the
    // first control of the one that replaces it.
    const bool hadFocus = isAncestorOf(QApplication::focusWidget());
    m_layout = layout;
    m_developer->setVisible(layout == Layout::developerClient);
    m_card->setVisible(layout == Layout::connectCard);
    m_accounts->setVisible(layout == Layout::accounts);
    m_privacy->setVisible(layout == Layout::accounts);
    if (layout == Layout::developerClient) {
        // The section starts from what is stored whenever it comes back.
        m_clientID->setText(m_context.settings.google().clientID);
        m_clientSecret->setText(m_context.settings.google().clientSecret);
    }
    updateClientButton();
    if (!hadFocus)
        return;
    QWidget* section = layout == Layout::developerClient ? static_cast<QWidget*>(m_developer)
                       : layout == Layout::connectCard   ? static_cast<QWidget*>(m_card)
                                                         : static_cast<QWidget*>(m_accounts);
    if (!section->isAncestorOf(QApplication::focusWidget())) {
        QWidget* first = layout == Layout::developerClient ? static_cast<QWidget*>(m_clientID)
                         : layout == Layout::connectCard   ? static_cast<QWidget*>(m_connect)
                                                           : static_cast<QWidget*>(m_addAccount);
        first->setFocus(Qt::OtherFocusReason);
    }
}

void GoogleSettings::updateClientButton() {
    m_useClient->setEnabled(!GoogleSettingsModel::clientValue(m_clientID->text()).isEmpty() &&
                            !GoogleSettingsModel::clientValue(m_clientSecret->text()).isEmpty());
}

void GoogleSettings::useClient() {
    GoogleConfig google = m_context.settings.google();
    google.clientID = GoogleSettingsModel::clientValue(m_clientID->text());
    google.clientSecret = GoogleSettingsModel::clientValue(m_clientSecret->text());
    if (google.clientID.isEmpty() || google.clientSecret.isEmpty())
        return;
    m_context.settings.setGoogle(google);
}

void GoogleSettings::connectAccount() {
    // The store runs the sign-in and reports through its published state; the result is not needed.
    EventStore* store = &m_context.store;
    QTimer::singleShot(0, store, [store] {
        Tasks::startDetached(store->connectGoogle(), QStringLiteral("Google sign-in"));
    });
}

void GoogleSettings::cancelSignIn() {
    if (GoogleSignIn* flow = m_context.store.googleFlow())
        flow->cancel();
}
