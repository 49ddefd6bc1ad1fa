#pragma once

#include <QRectF>

class Person;
class QPainter;

// A person's initials in a circle of the person's colour, for guest chips (18 across) and
// suggestions (20 across).
namespace Avatar {

void paint(QPainter& painter, const QRectF& circle, const Person& person);

} // namespace Avatar
