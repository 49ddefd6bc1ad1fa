# Sources of core/calendar
