#include "platform/PointerSource.h"

#include <QCursor>

namespace {

class CursorPointerSource final : public PointerSource {
public:
    QPoint position() const override { return QCursor::pos(); }
};

} // namespace

std::unique_ptr<PointerSource> cursorPointerSource() {
    return std::make_unique<CursorPointerSource>();
}
