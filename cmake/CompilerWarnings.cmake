# Warnings and sanitizers apply to every target of the project.
if(MSVC)
  add_compile_options(/W4)
  if(TARVO_WERROR)
    add_compile_options(/WX)
  endif()
else()
  add_compile_options(-Wall -Wextra)
  if(TARVO_WERROR)
    add_compile_options(-Werror)
  endif()
endif()

if(TARVO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

add_compile_definitions(TARVO_VERSION="${PROJECT_VERSION}")

# Programs that are shipped get the hardening Debian expects of installed programs: checked
# string and memory functions, and relocations resolved and made read-only at start.
if(UNIX AND NOT APPLE AND NOT TARVO_SANITIZE)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
