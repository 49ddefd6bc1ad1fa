# Sources of core/settings
