#include "ui/quickadd/QuickAddView.h"

#include "core/model/ProcessArguments.h"
#include "core/model/TextRules.h"
#include "core/quickadd/QuickAddModel.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "core/quickadd/QuickAddTransition.h"
#include "ui/controls/ActivitySpinner.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/GoogleCalendarMark.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchState.h"
#include "ui/quickadd/ContentMotion.h"
#include "ui/quickadd/DestinationRow.h"
#include "ui/quickadd/InviteeChip.h"
#include "ui/quickadd/MaybeHScroll.h"
#include "ui/quickadd/MeetToggle.h"
#include "ui/quickadd/NotchQuickAddPanel.h"
#include "ui/quickadd/QuickAddParts.h"
#include "ui/quickadd/SuggestionRow.h"

#include <QBoxLayout>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

using QuickAdd::Field;

namespace {

// The destination list floats this far above the view's bottom edge, over the footer's left end.
constexpr int listBottomPadding = 34;
constexpr int listWidth = 280;
// The people field opening or closing, and the line turning into a meeting or back.
constexpr std::chrono::milliseconds easeDuration{180};

// A text field drawn by its box: no frame or background of its own, white text, a dim placeholder.
// In the snapshot mode it is static text (read-only, never focused, no caret).
QLineEdit* lineEdit(qreal fontSize, QFont::Weight weight, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setFont(Theme::uiFont(fontSize, weight));
    edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::white());
    palette.setColor(QPalette::PlaceholderText, Theme::white(0.3));
    palette.setColor(QPalette::Highlight, Theme::accent());
    palette.setColor(QPalette::HighlightedText, Theme::white());
    edit->setPalette(palette);
    edit->setTextMargins(0, 0, 0, 0);
    edit->setContentsMargins(0, 0, 0, 0);
    // As high as its text: the box around it gives the padding.
    edit->setFixedHeight(int(std::ceil(QFontMetricsF(edit->font()).height())) + 2);
    if (ProcessArguments::isSnapshotMode()) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
    }
    return edit;
}

void setFieldText(QLineEdit* edit, const QString& text) {
    // Only what the model rewrote: the user's own typing already shows, cursor and all. A text the
    // model brought in (the title of an event to edit) shows as far as a screen can show it; the
    // model keeps it whole, and unless the line is edited it is saved unchanged.
    if (edit->text() == text)
        return;
    const QString shown = TextRules::cutToScreen(text);
    if (edit->text() != shown)
        edit->setText(shown);
}

ElidedText* text(qreal size, QFont::Weight weight, const QColor& color, QWidget* parent, int maxLines = 1) {
    return new ElidedText(QString(), Theme::uiFont(size, weight), color, maxLines, parent);
}

// Moves the widgets into `layout` in the order given, after `first` items that stay in front.
template <typename W> void arrange(QBoxLayout* layout, const QList<W*>& widgets, int first) {
    for (int i = 0; i < widgets.size(); ++i) {
        const int at = layout->indexOf(widgets[i]);
        if (at != first + i) {
            if (at >= 0)
                layout->removeWidget(widgets[i]);
            layout->insertWidget(first + i, widgets[i]);
        }
    }
}

// Keeps the widgets whose key is still wanted (updated in place), makes the missing ones and hands
// the others to `retire`.
template <typename W, typename Data, typename Key, typename Make, typename Update, typename Retire>
QList<W*> rekey(const QList<W*>& current, const QList<Data>& data, Key keyOf, Make make, Update update,
                Retire retire) {
    QList<W*> next;
    QList<W*> spare = current;
    for (const Data& item : data) {
        const QString key = keyOf(item);
        const auto found = std::find_if(spare.begin(), spare.end(), [&](W* w) { return w->key() == key; });
        if (found != spare.end()) {
            W* widget = *found;
            spare.erase(found);
            update(widget, item);
            next << widget;
        } else {
            next << make(item);
        }
    }
    for (W* widget : spare)
        retire(widget);
    return next;
}

// As above, letting the others go at once. Widgets go later: one may be the button whose click is
// being handled.
template <typename W, typename Data, typename Key, typename Make, typename Update>
QList<W*> rekey(const QList<W*>& current, const QList<Data>& data, Key keyOf, Make make, Update update) {
    return rekey<W>(current, data, keyOf, make, update, [](W* widget) {
        widget->hide();
        widget->deleteLater();
    });
}

} // namespace

// The list of destinations that opens over the footer: a dark rounded card with a soft shadow.
class DestinationList : public QWidget {
public:
    static constexpr int shadow = 14; // room around the card for its shadow

    explicit DestinationList(QWidget* parent)
        : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(shadow + 4, shadow + 4, shadow + 4, shadow + 4);
        layout->setSpacing(1);
        m_layout = layout;
        setAccessibleName(QStringLiteral("Calendars"));
        hide();
    }

    QList<DestinationRow*> rows;

    void setRows(const QList<QuickAdd::DestinationRow>& data, std::function<void(const QString&)> pick) {
        rows = rekey<DestinationRow>(
            rows, data, [](const QuickAdd::DestinationRow& d) { return d.destination.id(); },
            [&](const QuickAdd::DestinationRow& d) {
                auto* row = new DestinationRow(d, this);
                const QString id = d.destination.id();
                connect(row, &QAbstractButton::clicked, this, [pick, id] { pick(id); });
                return row;
            },
            [](DestinationRow* row, const QuickAdd::DestinationRow& d) { row->setRow(d); });
        arrange<DestinationRow>(m_layout, rows, 0);
        for (DestinationRow* row : rows)
            row->show();
        resize(listWidth + 2 * shadow, m_layout->sizeHint().height());
    }

    // Shows or hides the card, fading and rising from the bottom while animations are on.
    void setOpen(bool open, QPoint at) {
        if (open == m_open) {
            if (open && !m_animation)
                move(at);
            return;
        }
        m_open = open;
        if (m_animation)
            m_animation->stop();
        if (!Motion::enabled()) {
            move(at);
            setVisible(open);
            return;
        }
        auto* effect = new QGraphicsOpacityEffect(this);
        effect->setOpacity(open ? 0.0 : 1.0);
        setGraphicsEffect(effect);
        const QPoint low = at + QPoint(0, 12);
        auto* group = new QParallelAnimationGroup(this);
        auto* fade = new QPropertyAnimation(effect, "opacity", group);
        fade->setDuration(150);
        fade->setEndValue(open ? 1.0 : 0.0);
        fade->setEasingCurve(QEasingCurve::OutCubic);
        auto* rise = new QPropertyAnimation(this, "pos", group);
        rise->setDuration(150);
        rise->setStartValue(open ? low : at);
        rise->setEndValue(open ? at : low);
        rise->setEasingCurve(QEasingCurve::OutCubic);
        connect(group, &QAbstractAnimation::finished, this, [this, open, at] {
            setGraphicsEffect(nullptr);
            move(at);
            setVisible(open);
        });
        m_animation = group;
        move(open ? low : at);
        show();
        raise();
        group->start(QAbstractAnimation::DeleteWhenStopped);
    }
    bool isOpen() const { return m_open; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF card = QRectF(rect()).adjusted(shadow, shadow, -shadow, -shadow);
        // A soft shadow 4 below the card: rings of falling opacity stand in for a blur.
        p.setPen(Qt::NoPen);
        for (int i = shadow - 2; i >= 0; i -= 2) {
            QPainterPath ring;
            const QRectF r = card.adjusted(-i, -i + 4, i, i + 4);
            ring.addRoundedRect(r, 10 + i, 10 + i);
            const qreal weight = 1.0 - qreal(i) / shadow;
            p.fillPath(ring, Theme::black(0.5 * weight * weight * 0.25));
        }
        QPainterPath shape;
        shape.addRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        p.fillPath(shape, QColor::fromRgbF(0.11f, 0.11f, 0.11f));
        p.setPen(QPen(Theme::white(0.15), 1));
        p.drawPath(shape);
    }

private:
    QVBoxLayout* m_layout;
    QPointer<QAbstractAnimation> m_animation;
    bool m_open = false;
};

QuickAddView::QuickAddView(NotchState& state, QuickAddEnv& env, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_env(env)
    , m_panel(new NotchQuickAddPanel(state, this)) {
    setAccessibleName(QStringLiteral("Quick add"));
    build();
    connect(&state, &NotchState::quickAddChanged, this, &QuickAddView::quickAddChanged);
    if (state.quickAdd())
        begin();
    else
        refresh();
}

QuickAddView::QuickAddView(NotchState& state, EventStore& store, QWidget* parent)
    : QuickAddView(state, *new QuickAddStoreEnv(store, nullptr), parent) {
    // The agenda's binding lives as long as the view.
    m_env.setParent(this);
}

QuickAddView::~QuickAddView() {
    // The model goes first: its Escape registration and panel connection end with it.
    delete m_model;
}

QuickAddModel* QuickAddView::model() const {
    return m_model;
}

QWidget* QuickAddView::fieldWidget(Field field) const {
    switch (field) {
    case Field::main:
        return m_mainEdit;
    case Field::when:
        return m_whenEdit;
    case Field::people:
        return m_peopleEdit;
    }
    return nullptr;
}

// ---- Building

void QuickAddView::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    // 1. Header
    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 10, 0, 0);
    headerRow->setSpacing(8);
    m_back = new IconButton(QuickAdd::Symbol::back, QuickAdd::Text::back, header);
    connect(m_back, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->back();
    });
    m_title = text(14, QFont::DemiBold, Theme::white(), header);
    m_headerHint = text(10, QFont::Medium, Theme::white(0.35), header);
    headerRow->addWidget(m_back);
    headerRow->addWidget(m_title);
    headerRow->addStretch(1);
    headerRow->addWidget(m_headerHint);
    header->setObjectName(QStringLiteral("header"));
    column->addWidget(header);

    // 2. Main line
    m_mainBox = new RoundedBox({10, 0.1, 0.12, 0.35}, this);
    auto* mainRow = new QHBoxLayout(m_mainBox);
    mainRow->setContentsMargins(12, 9, 12, 9);
    m_mainEdit = lineEdit(16, QFont::Medium, m_mainBox);
    mainRow->addWidget(m_mainEdit);
    column->addWidget(m_mainBox);

    // 3. When-line
    m_whenBox = new RoundedBox({8, 0.08, 0.1, 0.3}, this);
    auto* whenRow = new QHBoxLayout(m_whenBox);
    whenRow->setContentsMargins(10, 6, 10, 6);
    whenRow->setSpacing(8);
    whenRow->addWidget(
        new SymbolView(QuickAdd::Symbol::calendar, 11, QFont::DemiBold, Theme::white(0.5), m_whenBox));
    m_whenEdit = lineEdit(12.5, QFont::Medium, m_whenBox);
    m_whenEdit->setPlaceholderText(ProcessArguments::isSnapshotMode() ? QString()
                                                                      : QuickAdd::Text::whenPlaceholder);
    m_whenEdit->setAccessibleName(QStringLiteral("When"));
    whenRow->addWidget(m_whenEdit, 1);
    m_whenHint = text(9.5, QFont::Normal, Theme::white(0.35), m_whenBox);
    m_whenHint->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    whenRow->addWidget(m_whenHint);
    column->addWidget(m_whenBox);

    // 4. Guests
    m_guestRow = new QWidget(this);
    auto* guestRow = new QHBoxLayout(m_guestRow);
    guestRow->setContentsMargins(0, 0, 0, 0);
    guestRow->setSpacing(8);
    auto* strip = new QWidget;
    m_stripLayout = new QHBoxLayout(strip);
    m_stripLayout->setContentsMargins(0, 1, 0, 1);
    m_stripLayout->setSpacing(6);
    m_invite = new CapsuleButton(strip);
    m_invite->setHelp(QuickAdd::Text::inviteTooltip);
    connect(m_invite, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->toggleInvite();
    });
    m_guestsNote = text(10.5, QFont::Normal, Theme::white(0.35), strip);
    m_stripLayout->addWidget(m_invite);
    m_stripLayout->addWidget(m_guestsNote);
    m_stripLayout->addStretch(1);
    m_strip = new MaybeHScroll(strip, m_guestRow);
    m_meet = new MeetToggle(m_guestRow);
    connect(m_meet, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->toggleMeet();
    });
    guestRow->addWidget(m_strip, 1);
    guestRow->addWidget(m_meet);
    m_guestRow->setObjectName(QStringLiteral("guests"));
    column->addWidget(m_guestRow);

    // 5. People field
    m_peopleBlock = new QWidget(this);
    auto* peopleColumn = new QVBoxLayout(m_peopleBlock);
    peopleColumn->setContentsMargins(0, 0, 0, 0);
    peopleColumn->setSpacing(4);
    m_peopleBox = new RoundedBox({8, 0.08, 0.1, 0.3}, m_peopleBlock);
    auto* entryRow = new QHBoxLayout(m_peopleBox);
    entryRow->setContentsMargins(10, 6, 10, 6);
    entryRow->setSpacing(8);
    entryRow->addWidget(
        new SymbolView(QuickAdd::Symbol::at, 11, QFont::DemiBold, Theme::white(0.5), m_peopleBox));
    m_peopleEdit = lineEdit(12.5, QFont::Normal, m_peopleBox);
    m_peopleEdit->setPlaceholderText(ProcessArguments::isSnapshotMode()
                                         ? QuickAdd::Text::peoplePlaceholderStatic
                                         : QuickAdd::Text::peoplePlaceholder);
    m_peopleEdit->setAccessibleName(QStringLiteral("Invite"));
    entryRow->addWidget(m_peopleEdit, 1);
    entryRow->addWidget(
        new ElidedText(QuickAdd::Text::peopleHint, Theme::uiFont(9.5), Theme::white(0.35), 1, m_peopleBox));
    peopleColumn->addWidget(m_peopleBox);
    m_suggestionBox = new RowStack({8, 0.05, 0, 0}, 3, 1, m_peopleBlock);
    peopleColumn->addWidget(m_suggestionBox);
    m_peopleBlock->setObjectName(QStringLiteral("people"));
    column->addWidget(m_peopleBlock);

    // 6. Preview
    auto* preview = new QWidget(this);
    auto* previewColumn = new QVBoxLayout(preview);
    previewColumn->setContentsMargins(0, 0, 0, 0);
    previewColumn->setSpacing(3);
    auto* previewRow = new QHBoxLayout;
    previewRow->setSpacing(8);
    m_previewSymbol = new SymbolView(QuickAdd::Symbol::clock, 11, QFont::Normal, Theme::white(0.5), preview);
    m_previewText = new LineLabel(Theme::uiFont(12, QFont::Medium), Theme::white(0.9), preview);
    previewRow->addWidget(m_previewSymbol);
    previewRow->addWidget(m_previewText, 1);
    previewColumn->addLayout(previewRow);
    m_help = text(10.5, QFont::Normal, Theme::white(0.4), preview, 2);
    previewColumn->addWidget(m_help);
    preview->setObjectName(QStringLiteral("preview"));
    column->addWidget(preview);

    // 7. Google notice
    m_notice = new RoundedBox({10, 0.08, 0.1, 0.1}, this);
    auto* noticeRow = new QHBoxLayout(m_notice);
    noticeRow->setContentsMargins(10, 8, 10, 8);
    noticeRow->setSpacing(10);
    noticeRow->addWidget(new GoogleCalendarMark(20, m_notice));
    auto* noticeText = new QVBoxLayout;
    noticeText->setSpacing(1);
    m_noticeTitle = text(12, QFont::DemiBold, Theme::white(), m_notice);
    noticeText->addWidget(m_noticeTitle);
    noticeText->addWidget(new ElidedText(QuickAdd::Text::googleNoticeSubtitle, Theme::uiFont(10.5),
                                         Theme::white(0.6), 1, m_notice));
    noticeRow->addLayout(noticeText, 1);
    noticeRow->addSpacing(6);
    m_noticeSpinner = new ActivitySpinner(16, m_notice);
    m_noticeButton = new PillButton(QString(), NotchPillStyle{true, true, false}, m_notice);
    connect(m_noticeButton, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->connectGoogle();
    });
    noticeRow->addWidget(m_noticeSpinner);
    noticeRow->addWidget(m_noticeButton);
    column->addWidget(m_notice);

    // 8. Error line
    m_errorLine = new QWidget(this);
    auto* errorRow = new QHBoxLayout(m_errorLine);
    errorRow->setContentsMargins(0, 0, 0, 0);
    errorRow->setSpacing(6);
    errorRow->addWidget(
        new SymbolView(QuickAdd::Symbol::warning, 11, QFont::Normal, Theme::orange(), m_errorLine), 0,
        Qt::AlignTop);
    m_errorText = text(11, QFont::Normal, Theme::orange(), m_errorLine, 2);
    errorRow->addWidget(m_errorText, 1);
    m_errorLine->setObjectName(QStringLiteral("error"));
    column->addWidget(m_errorLine);

    // 9. Same day, 10. room, 11. footer
    m_sameDay = new SameDayList(this);
    column->addWidget(m_sameDay);
    column->addStretch(1);

    auto* footer = new QWidget(this);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(0, 0, 0, 4);
    footerRow->setSpacing(8);
    m_destination = new CapsuleButton(footer);
    m_destination->setMaximumButtonWidth(220);
    connect(m_destination, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->toggleCalendars();
    });
    m_routeHint = new LineLabel(Theme::uiFont(10.5), Theme::white(0.4), footer);
    m_cancel = new PillButton(QuickAdd::Text::cancel, NotchPillStyle{}, footer);
    connect(m_cancel, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->cancel();
    });
    m_primary = new PillButton(QString(), NotchPillStyle{true, false, false}, footer);
    connect(m_primary, &QAbstractButton::clicked, this, [this] {
        if (m_model)
            m_model->add();
    });
    footerRow->addWidget(m_destination);
    footerRow->addWidget(m_routeHint, 1);
    footerRow->addWidget(m_cancel);
    footerRow->addWidget(m_primary);
    footer->setObjectName(QStringLiteral("footer"));
    column->addWidget(footer);

    m_calendarList = new DestinationList(this);
    m_motion = new ContentMotion({column, m_stripLayout}, this);

    // The keyboard: typing, Return, Backspace in the empty people field, and where the focus went.
    connect(m_mainEdit, &QLineEdit::textEdited, this, [this](const QString& line) {
        if (m_model)
            m_model->setText(line);
    });
    connect(m_mainEdit, &QLineEdit::returnPressed, this, [this] {
        if (m_model)
            m_model->add();
    });
    connect(m_whenEdit, &QLineEdit::textEdited, this, [this](const QString& line) {
        if (m_model)
            m_model->setWhenText(line);
    });
    connect(m_whenEdit, &QLineEdit::returnPressed, this, [this] {
        if (m_model)
            m_model->whenReturn();
    });
    connect(m_peopleEdit, &QLineEdit::textEdited, this, [this](const QString& query) {
        if (m_model)
            m_model->setPeopleQuery(query);
    });
    connect(m_peopleEdit, &QLineEdit::returnPressed, this, [this] {
        if (m_model)
            m_model->commitPerson();
    });
    for (QLineEdit* edit : {m_mainEdit, m_whenEdit, m_peopleEdit})
        edit->installEventFilter(this);
    setTabOrder(m_mainEdit, m_whenEdit);
    setTabOrder(m_whenEdit, m_peopleEdit);
}

// ---- Showings

void QuickAddView::quickAddChanged() {
    if (m_state.quickAdd() && !m_model)
        begin();
    else if (!m_state.quickAdd() && m_model)
        end();
}

void QuickAddView::begin() {
    m_model = new QuickAddModel(m_env, *m_panel, this);
    connect(m_model, &QuickAddModel::changed, this, &QuickAddView::refresh);
    connect(m_model, &QuickAddModel::focusRequested, this, &QuickAddView::focusField);
    // The snapshot renderer seeds the model itself; there is no panel to take requests from.
    if (!ProcessArguments::isSnapshotMode())
        m_model->appear();
    refresh();
    emit showingChanged();
}

void QuickAddView::end() {
    // The panel has already told the model that its showing is over; nothing it does reaches the
    // screen any more. What is drawn stays while the panel fades it out, as the change left it.
    m_motion->finish();
    m_shown.reset();
    m_model->disconnect(this);
    m_model->deleteLater();
    m_model = nullptr;
    emit showingChanged();
}

void QuickAddView::focusField(Field field) {
    QWidget* target = fieldWidget(field);
    if (target && target->isVisible())
        target->setFocus(Qt::OtherFocusReason);
}

// ---- Drawing the model's view

void QuickAddView::refresh() {
    if (!m_model || m_refreshing)
        return;
    // Widgets updated here may report back (a hidden field losing the focus); that waits for the next change.
    m_refreshing = true;
    const QuickAdd::Derived& v = m_model->view();
    const QuickAdd::State& s = m_model->state();
    using Curve = QuickAdd::Transition::Curve;
    const QuickAdd::Transition change = m_shown && Motion::enabled() && isVisible()
                                            ? QuickAdd::transitionBetween(*m_shown, v)
                                            : QuickAdd::Transition{};
    const bool moving = change.curve != Curve::none;
    // The blocks of the column that come and go, with whether they are wanted now.
    const std::pair<QWidget*, bool> blocks[] = {{m_whenBox, v.showWhenLine},
                                                {m_peopleBlock, v.showPeopleField},
                                                {m_notice, v.showGoogleNotice},
                                                {m_errorLine, v.error.has_value()},
                                                {m_sameDay, v.showSameDay}};
    QList<QWidget*> arriving;
    if (moving) {
        m_motion->begin();
        for (const auto& [block, wanted] : blocks) {
            if (!wanted && !block->isHidden())
                m_motion->fadeOut(block);
            else if (wanted && block->isHidden())
                arriving << block;
        }
        if (change.titleFades)
            m_motion->fadeOut(m_title, ContentMotion::Layer::above);
    }
    setUpdatesEnabled(false);

    // Header
    m_back->setContentOpacity(v.backEnabled ? 1.0 : 0.4);
    m_title->setText(v.headerTitle);
    m_headerHint->setText(v.headerHint);

    // Lines
    setFieldText(m_mainEdit, s.text);
    if (!ProcessArguments::isSnapshotMode()) {
        // The line being sent shows as it went out.
        m_mainEdit->setReadOnly(v.lineLocked);
        m_mainEdit->setPlaceholderText(v.mainPlaceholder);
    }
    m_mainEdit->setAccessibleName(v.mainPlaceholder);
    m_mainBox->setHighlighted(s.focus == Field::main);
    m_whenBox->setVisible(v.showWhenLine);
    if (v.showWhenLine) {
        setFieldText(m_whenEdit, s.whenText);
        m_whenBox->setHighlighted(s.focus == Field::when);
        m_whenHint->setText(v.whenHint);
        m_whenHint->setColor(v.whenHintWarns ? Theme::orange() : Theme::white(0.35));
    }

    // Guests
    refreshGuests(moving);

    // People field
    m_peopleBlock->setVisible(v.showPeopleField);
    if (v.showPeopleField) {
        setFieldText(m_peopleEdit, s.peopleQuery);
        m_peopleBox->setHighlighted(s.focus == Field::people);
        refreshSuggestions();
    }

    // Preview
    m_previewSymbol->setName(v.previewSymbol);
    m_previewSymbol->setColor(v.previewHighlighted ? Theme::yellow() : Theme::white(0.5));
    m_previewText->setLabelFont(Theme::uiFont(12, v.previewEmpty ? QFont::Normal : QFont::Medium));
    m_previewText->setColor(Theme::white(v.previewEmpty ? 0.5 : 0.9));
    m_previewText->setText(v.previewText);
    m_help->setText(v.helpText);

    // Google notice
    m_notice->setVisible(v.showGoogleNotice);
    if (v.showGoogleNotice) {
        m_noticeTitle->setText(v.googleNoticeTitle);
        m_noticeSpinner->setVisible(v.googleConnecting);
        m_noticeButton->setVisible(!v.googleConnecting && v.googleNoticeButton.has_value());
        m_noticeButton->setText(v.googleNoticeButton.value_or(QString()));
        m_noticeButton->setAccessibleName(m_noticeButton->text());
    }

    // Error line
    m_errorLine->setVisible(v.error.has_value());
    m_errorText->setText(v.error.value_or(QString()));

    // Same day
    m_sameDay->setVisible(v.showSameDay);
    if (v.showSameDay)
        m_sameDay->setContent(v.sameDayHeading, v.sameDayRows);

    // Footer
    CapsuleButton::Look look;
    look.fill = Theme::white(v.destinationButtonActive ? 0.2 : 0.12);
    look.text = Theme::white();
    look.spacing = 6;
    m_destination->setLook(look);
    if (v.destinationIsGoogle)
        m_destination->setLeading({CapsuleButton::Leading::Kind::googleMark, {}, 12, QFont::Normal, {}});
    else
        m_destination->setLeading(
            {CapsuleButton::Leading::Kind::dot, {}, 8, QFont::Normal, v.destinationColor});
    m_destination->setTrailing({v.showChevron ? QuickAdd::Symbol::chevron : QString(), 8, QFont::Bold,
                                Theme::white(0.6), v.chevronFlipped});
    m_destination->setHelp(v.destinationTooltip);
    m_destination->setLabel(v.destinationTitle);
    m_destination->setEnabled(!v.lineLocked);
    // Stays in the row when empty: it is what pushes the buttons to the right.
    m_routeHint->setText(v.routeHint.value_or(QString()));
    m_cancel->setEnabled(v.cancelEnabled);
    m_cancel->setContentOpacity(v.cancelEnabled ? 1.0 : 0.5);
    m_primary->setText(v.primaryTitle);
    m_primary->setAccessibleName(v.primaryTitle);
    m_primary->setBusy(v.primarySpinner);
    m_primary->setEnabled(v.primaryEnabled);
    m_primary->setContentOpacity(v.primaryEnabled ? 1.0 : 0.5);

    // The destination list
    // Rows outlive a showing (they are kept by key): they ask for the model of the moment.
    m_calendarList->setRows(v.destinationRows, [this](const QString& id) {
        if (m_model)
            m_model->pickDestination(id);
    });
    placeCalendarList();
    // Last: it measures the other rows as they are now shown.
    if (v.showPeopleField)
        fitSuggestions();

    if (moving) {
        for (QWidget* block : std::as_const(arriving))
            m_motion->fadeIn(block);
        if (change.titleFades)
            m_motion->fadeIn(m_title);
        const auto laidOut = [this] { m_strip->scrollToShow(m_inSight); };
        if (change.curve == Curve::spring)
            m_motion->start(Motion::contentSpring(), Motion::contentSpringDuration, laidOut);
        else
            m_motion->start(Motion::easeInOut(), easeDuration, laidOut);
    } else {
        m_motion->follow();
    }
    m_shown = v;

    setUpdatesEnabled(true);
    m_refreshing = false;
}

void QuickAddView::refreshGuests(bool moving) {
    const QuickAdd::Derived& v = m_model->view();
    const int before = int(m_chips.size());
    const auto remove = [this](const Person& person) {
        if (m_model)
            m_model->remove(person);
    };
    m_chips = rekey<InviteeChip>(
        m_chips, v.chips, [](const QuickAdd::Chip& c) { return c.person.id(); },
        [&](const QuickAdd::Chip& c) {
            auto* chip = new InviteeChip(c, remove, m_strip->content());
            if (moving)
                m_motion->popIn(chip);
            return chip;
        },
        [](InviteeChip* chip, const QuickAdd::Chip& c) { chip->setChip(c); },
        [&](InviteeChip* chip) {
            if (moving) {
                m_motion->popOut(chip);
            } else {
                chip->hide();
                chip->deleteLater();
            }
        });
    arrange<InviteeChip>(m_stripLayout, m_chips, 0);
    for (InviteeChip* chip : m_chips)
        chip->show();

    m_invite->setVisible(v.showInviteButton);
    if (v.showInviteButton) {
        CapsuleButton::Look look;
        look.fill = Theme::white(v.inviteActive ? 0.2 : 0.1);
        look.stroke = Theme::white(0.14);
        look.dashed = v.inviteDashed;
        look.text = Theme::white();
        m_invite->setLook(look);
        m_invite->setLeading({CapsuleButton::Leading::Kind::symbol, v.inviteSymbol, 11, QFont::Normal, {}});
        m_invite->setLabel(v.inviteTitle);
    }
    m_guestsNote->setVisible(!v.guestsNote.isEmpty());
    m_guestsNote->setText(v.guestsNote);
    m_meet->setVisible(v.showMeetToggle);
    m_meet->setOn(v.meetOn);
    m_invite->setEnabled(!v.lineLocked);
    m_meet->setEnabled(!v.lineLocked);
    // A guest just added stays in sight, with the button to add the next one; a moving change
    // scrolls once the rows have their new places.
    m_inSight = nullptr;
    if (m_chips.size() > before)
        m_inSight = v.showInviteButton ? static_cast<QWidget*>(m_invite) : m_chips.last();
    if (m_inSight && !moving)
        m_strip->ensureVisible(m_inSight);
}

void QuickAddView::refreshSuggestions() {
    const QuickAdd::Derived& v = m_model->view();
    m_suggestions = rekey<SuggestionRow>(
        m_suggestions, v.suggestions, &SuggestionRow::keyOf,
        [&](const QuickAdd::Suggestion& s) {
            auto* row = new SuggestionRow(s, m_suggestionBox);
            connect(row, &QAbstractButton::clicked, this, [this, row] {
                if (!m_model)
                    return;
                if (row->suggestion().invitesTypedAddress)
                    m_model->commitPerson();
                else
                    m_model->addPerson(row->suggestion().person);
            });
            return row;
        },
        [](SuggestionRow* row, const QuickAdd::Suggestion& s) { row->setSuggestion(s); });
    m_suggestionBox->setRows(QList<QWidget*>(m_suggestions.cbegin(), m_suggestions.cend()));
    m_suggestionBox->setVisible(!m_suggestions.isEmpty());
}

// The suggestions take the height the other rows leave, so that the footer stays in the panel.
void QuickAddView::fitSuggestions() {
    auto* column = static_cast<QBoxLayout*>(layout());
    int used = 0;
    int shown = 0;
    for (int i = 0; i < column->count(); ++i) {
        QWidget* widget = column->itemAt(i)->widget();
        if (!widget || widget->isHidden())
            continue;
        ++shown;
        if (widget == m_peopleBlock)
            continue;
        used += widget->hasHeightForWidth() ? widget->heightForWidth(width()) : widget->sizeHint().height();
    }
    used += column->spacing() * std::max(0, shown - 1);
    used += m_peopleBox->sizeHint().height() + m_peopleBlock->layout()->spacing();
    m_suggestionBox->setHeightBudget(height() - used);
}

void QuickAddView::placeCalendarList() {
    const bool open = m_model && m_model->view().showCalendarList;
    const int cardHeight = m_calendarList->height() - 2 * DestinationList::shadow;
    const QPoint at(-DestinationList::shadow,
                    height() - listBottomPadding - cardHeight - DestinationList::shadow);
    m_calendarList->setOpen(open, at);
    if (open)
        m_calendarList->raise();
}

void QuickAddView::resizeEvent(QResizeEvent* event) {
    // A run lays its rows out for the old size.
    if (m_motion->isRunning())
        m_motion->finish();
    QWidget::resizeEvent(event);
    if (m_peopleBlock->isVisibleTo(this))
        fitSuggestions();
    placeCalendarList();
}

bool QuickAddView::eventFilter(QObject* watched, QEvent* event) {
    if (!m_model)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A field shown or hidden by the model moves the keyboard by itself; only the user's moves count.
        if (!m_refreshing && reason != Qt::OtherFocusReason) {
            if (watched == m_mainEdit)
                m_model->focused(Field::main);
            else if (watched == m_whenEdit)
                m_model->focused(Field::when);
            else if (watched == m_peopleEdit)
                m_model->focused(Field::people);
        }
    } else if (event->type() == QEvent::KeyPress && watched == m_peopleEdit) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier &&
            m_model->backspaceInPeopleField())
            return true;
    }
    return QWidget::eventFilter(watched, event);
}
