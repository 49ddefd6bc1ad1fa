#pragma once

#include "ui/settings/SettingsContext.h"

#include <QWidget>

class QTabWidget;

// The settings window's content: the General, Google, Local Calendars and Notion tabs. Every control
// edits a setting in place or starts a store operation; there is no Save or Cancel. Ctrl+Tab and
// Ctrl+Shift+Tab move between the tabs, and Alt with the underlined letter of a tab opens it.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(const SettingsContext& context, QWidget* parent = nullptr);

    static constexpr QSize windowSize{560, 520};

    QTabWidget* tabs() const { return m_tabs; }

private:
    QTabWidget* m_tabs;
};
