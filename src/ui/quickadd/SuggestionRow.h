#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "ui/quickadd/QuickAddParts.h"

// A person offered in the people field: the avatar, the name (or the address) over the address of
// a named person or a hint ("Invite this address"), and a plus that brightens under the pointer.
// Clicking it runs the row's action (QuickAddView invites the person).
class SuggestionRow : public RowButton {
    Q_OBJECT

public:
    static constexpr qreal avatarSize = 20;

    explicit SuggestionRow(const QuickAdd::Suggestion& suggestion, QWidget* parent = nullptr);

    // Rows are kept by the address and by whether they invite the typed address.
    static QString keyOf(const QuickAdd::Suggestion& suggestion);
    QString key() const { return keyOf(m_suggestion); }
    const QuickAdd::Suggestion& suggestion() const { return m_suggestion; }
    void setSuggestion(const QuickAdd::Suggestion& suggestion);

protected:
    qreal leadingSide() const override { return avatarSize; }
    void paintLeading(QPainter& painter, const QRectF& box) const override;
    QString title() const override { return m_suggestion.label; }
    std::optional<QString> detail() const override { return m_suggestion.detail; }
    QString trailingSymbol() const override { return QuickAdd::Symbol::plus; }
    qreal trailingSize() const override { return 9; }
    QColor trailingColor() const override { return Theme::white(isHovering() ? 0.9 : 0.4); }

private:
    QuickAdd::Suggestion m_suggestion;
};
