#include "ui/quickadd/SuggestionRow.h"

#include "ui/quickadd/Avatar.h"

SuggestionRow::SuggestionRow(const QuickAdd::Suggestion& suggestion, QWidget* parent)
    : RowButton(parent) {
    setSuggestion(suggestion);
}

QString SuggestionRow::keyOf(const QuickAdd::Suggestion& suggestion) {
    return (suggestion.invitesTypedAddress ? QStringLiteral("typed:") : QString()) + suggestion.person.id();
}

void SuggestionRow::setSuggestion(const QuickAdd::Suggestion& suggestion) {
    const bool retitled = suggestion.label != m_suggestion.label;
    m_suggestion = suggestion;
    setAccessibleName(suggestion.label);
    setAccessibleDescription(suggestion.detail.value_or(QString()));
    setToolTip(suggestion.person.email);
    if (retitled)
        updateGeometry();
    update();
}

void SuggestionRow::paintLeading(QPainter& painter, const QRectF& box) const {
    Avatar::paint(painter, box, m_suggestion.person);
}
