# Sources of core/store
