# Warnings for every target of the including project. -Werror only when asked for: a newer
# compiler's new warning must not break a user's or a distribution's build, while the presets
# and CI turn it on to keep the code clean.
option(QKL_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra)
if(QKL_WERROR)
  add_compile_options(-Werror)
endif()
