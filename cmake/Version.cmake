# The one source of the version: the project's version, and the suffix that every text naming
# it carries ("0.07-pre1" in the version line and the banner).
set(QKL_VERSION 0.07)
set(QKL_VERSION_SUFFIX "-pre1")
set(QKL_VERSION_TEXT "${QKL_VERSION}${QKL_VERSION_SUFFIX}")
