#pragma once

#include <QPoint>

#include <memory>

// Where the pointer is on the screens, in Qt's global coordinates.
class PointerSource {
public:
    virtual ~PointerSource() = default;
    virtual QPoint position() const = 0;
};

// The pointer as Qt's platform reports it (QCursor::pos()).
std::unique_ptr<PointerSource> cursorPointerSource();
