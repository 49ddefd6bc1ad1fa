# Sources of core/quickadd
