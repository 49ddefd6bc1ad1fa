# Sources of core/remote
