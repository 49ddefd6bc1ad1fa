#include "ui/settings/SettingsView.h"

#include "ui/settings/CalendarSettings.h"
#include "ui/settings/GeneralSettings.h"
#include "ui/settings/GoogleSettings.h"
#include "ui/settings/NotionSettings.h"

#include <QApplication>
#include <QTabWidget>
#include <QVBoxLayout>

SettingsView::SettingsView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_tabs(new QTabWidget(this)) {
    using SettingsStyle::themedSymbol;
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    m_tabs->setDocumentMode(false);
    m_tabs->setUsesScrollButtons(false);
    m_tabs->addTab(new GeneralSettings(context),
                   themedSymbol(QStringLiteral("preferences-system"), QStringLiteral("gearshape"), text),
                   QStringLiteral("&General"));
    m_tabs->addTab(new GoogleSettings(context),
                   themedSymbol(QStringLiteral("applications-internet"), QStringLiteral("globe"), text),
                   QStringLiteral("G&oogle"));
    m_tabs->addTab(new CalendarSettings(context),
                   themedSymbol(QStringLiteral("x-office-calendar"), QStringLiteral("calendar"), text),
                   QStringLiteral("&Local Calendars"));
    m_tabs->addTab(new NotionSettings(context),
                   themedSymbol(QStringLiteral("x-office-document"), QStringLiteral("doc-text"), text),
                   QStringLiteral("&Notion"));
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->widget(i)->setAccessibleName(m_tabs->tabText(i).remove(QLatin1Char('&')));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_tabs);
}
