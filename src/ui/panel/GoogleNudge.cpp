#include "ui/panel/GoogleNudge.h"

#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/ActivitySpinner.h"
#include "ui/controls/GoogleCalendarMark.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {

constexpr qreal topPadding = 4;
constexpr qreal paddingX = 10;
constexpr qreal paddingY = 8;
constexpr qreal spacing = 10;
constexpr qreal markSide = 20;
constexpr qreal lineGap = 1;
// The spacer before the button, at least 6, with the row's spacing on either side.
constexpr qreal textToButton = spacing + 6 + spacing;

} // namespace

GoogleNudge::GoogleNudge(EventStore& store, AppSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_settings(settings)
    , m_title(Theme::uiFont(12, QFont::DemiBold))
    , m_description(Theme::uiFont(10.5))
    , m_connect(new PillButton(tr("Connect"), NotchPillStyle{.prominent = true, .compact = true}, this))
    , m_spinner(new ActivitySpinner(16, this))
    , m_close(new IconButton(QStringLiteral("xmark"), tr("Not now"), this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(tr("Connect Google Calendar"));
    m_title.set(tr("Connect Google Calendar"));
    connect(m_connect, &QAbstractButton::clicked, this, [this] {
        // Started on a later turn, like any task begun from a click; the card does not wait for it.
        QTimer::singleShot(0, &m_store, [store = QPointer(&m_store)] {
            if (store)
                Tasks::startDetached(store->connectGoogle(), QStringLiteral("Google sign-in"));
        });
    });
    connect(m_close, &QAbstractButton::clicked, this, [this] { m_settings.setGooglePromptDismissed(true); });
    connect(&m_store, &EventStore::isConnectingGoogleChanged, this, &GoogleNudge::refresh);
    refresh();
}

QSize GoogleNudge::sizeHint() const {
    const qreal text = m_title.height() + lineGap + m_description.height();
    const qreal content = std::max(
        {markSide, text, qreal(m_connect->sizeHint().height()), qreal(IconButton::buttonSize.height())});
    return {400, int(std::ceil(topPadding + 2 * paddingY + content))};
}

QRectF GoogleNudge::card() const {
    return QRectF(0.5, topPadding + 0.5, width() - 1, height() - topPadding - 1);
}

void GoogleNudge::refresh() {
    const bool connecting = m_store.isConnectingGoogle();
    m_connect->setVisible(!connecting);
    m_spinner->setVisible(connecting);
    place();
}

void GoogleNudge::place() {
    const qreal midY = topPadding + (height() - topPadding) / 2;
    qreal right = width() - paddingX;
    const QSize close = m_close->size();
    m_close->move(int(right) - close.width(), int(std::round(midY - close.height() / 2.0)));
    right = m_close->x() - spacing;
    QWidget* action = m_store.isConnectingGoogle() ? static_cast<QWidget*>(m_spinner) : m_connect;
    const QSize size = action->sizeHint();
    action->setGeometry(int(right) - size.width(), int(std::round(midY - size.height() / 2.0)), size.width(),
                        size.height());
    const qreal textLeft = paddingX + markSide + spacing;
    const qreal textWidth = std::max<qreal>(0, action->x() - textToButton - textLeft);
    m_title.set(m_title.text(), textWidth);
    m_description.set(tr("Invite people to meetings and get Meet links added automatically."), textWidth);
    update();
}

void GoogleNudge::resizeEvent(QResizeEvent*) {
    place();
}

void GoogleNudge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = card();
    QPainterPath shape;
    shape.addRoundedRect(box, 10, 10);
    p.fillPath(shape, Theme::white(0.08));
    p.strokePath(shape, QPen(Theme::white(0.1), 1));

    const qreal midY = box.center().y();
    GoogleCalendarMark::paint(p, QRectF(paddingX, midY - markSide / 2, markSide, markSide), Theme::white());
    const qreal textLeft = paddingX + markSide + spacing;
    const auto [titleBaseline, descriptionBaseline] =
        TextLine::stackedBaselines(m_title, m_description, lineGap, midY);
    m_title.draw(p, textLeft, titleBaseline, Theme::white());
    m_description.draw(p, textLeft, descriptionBaseline, Theme::white(0.6));
}
