# Settings every target of the project shares: warnings as errors and, when
# asked for, the sanitizers. Targets pick them up by linking varnel_common.
add_library(varnel_common INTERFACE)
target_compile_options(varnel_common INTERFACE -Wall -Wextra -Werror)
target_compile_definitions(varnel_common INTERFACE
  QT_NO_FOREACH
  QT_DISABLE_DEPRECATED_BEFORE=0x060400)

if(VARNEL_SANITIZE STREQUAL "thread")
  # Qt's inline QMutex code tells ThreadSanitizer about its locking
  # (qtsan_impl.h); what happens inside the Qt libraries it cannot see.
  target_compile_options(varnel_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(varnel_common INTERFACE -fsanitize=thread)
elseif(VARNEL_SANITIZE)
  target_compile_options(varnel_common INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(varnel_common INTERFACE -fsanitize=address,undefined)
endif()

# varnel_add_library(name SOURCES...) : one static library per source area.
function(varnel_area_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC varnel_common)
endfunction()
