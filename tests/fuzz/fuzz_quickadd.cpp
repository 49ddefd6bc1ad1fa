// libFuzzer target: one typed quick-add line, parsed as the quick-add field parses every keystroke.
#include "core/model/Cal.h"
#include "core/quickadd/QuickAddParser.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Cal cal(QTimeZone("Europe/Berlin"), QLocale(QLocale::English, QLocale::UnitedStates));
    static const QDateTime now(QDate(2025, 10, 20), QTime(9, 30), Qt::UTC);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QuickAddParser::Resolver people = [](const QString& name) -> std::optional<Person> {
        if (name.compare(QLatin1String("ondrea"), Qt::CaseInsensitive) == 0)
            return Person{QStringLiteral("ondrea@example.com"), QStringLiteral("Ondrea Vell")};
        return std::nullopt;
    };
    const QuickAddDraft draft = QuickAddParser::parse(text, now, 30, cal, people);
    if (draft.start.isValid() && draft.end.isValid() && draft.end < draft.start)
        __builtin_trap();
    (void)QuickAddParser::normalize(text);
    return 0;
}
