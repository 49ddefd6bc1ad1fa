#pragma once

#include "core/model/Person.h"
#include "core/quickadd/QuickAddDraft.h"
#include "core/quickadd/QuickAddParser.h"

#include <QString>

#include <functional>
#include <optional>

namespace QuickAdd {

// The typed line with one guest taken out, for the remove button of a guest that the parser read
// from the line. The guest's address goes wherever the parser reads it; in the "with" list only the
// names that resolve to the guest go, with their separators, and the others stay as typed ("with
// Ondrea, Oskel & Pim" without Oskel is "with Ondrea & Pim"); a list left empty goes with its "with".
//
// The result is checked by parsing it again: that guest is gone, and every other guest, the title,
// the date and the time are as before. Nothing when no such line was found; the caller then
// leaves the line as it is, so the guest stays visible rather than silently gone or someone else
// un-invited.
std::optional<QString> lineWithoutGuest(const QString& text, const Person& guest,
                                        const std::function<QuickAddDraft(const QString&)>& parse,
                                        const QuickAddParser::Resolver& resolve);

// What the error line says when no such line was found, so that the × does not seem broken.
QString guestStaysMessage(const Person& guest);

} // namespace QuickAdd
