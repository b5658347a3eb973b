# The Windows build: cross-built on Debian with cmake/mingw-w64-x86_64.cmake against the static
# libraries scripts/windows-deps builds from Debian's source packages into DE_WINDOWS_PREFIX.
if(NOT DE_WINDOWS_PREFIX OR NOT EXISTS ${DE_WINDOWS_PREFIX}/.complete)
  message(FATAL_ERROR "DE_WINDOWS_PREFIX must name the prefix scripts/windows-deps built "
                      "(configure through scripts/windows)")
endif()

# Everything static, the compiler's runtime and winpthreads included: a program unpacked
# anywhere runs with Windows' own DLLs only.
add_link_options(-static)
# The main thread's stack as large as on Linux (8 MiB; Windows' default is 1 MiB), and every
# other thread's the same, as threads take the program's reserve when they ask for none.
add_link_options(-Wl,--stack,8388608)
# Header-only libraries (GLM, CLI11, stb) were copied into the prefix from their Debian packages.
include_directories(SYSTEM ${DE_WINDOWS_PREFIX}/include)
# Neither the source tree, the build tree nor the prefix is named inside a program.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=
                    -ffile-prefix-map=${DE_WINDOWS_PREFIX}/=)
# Windows headers: no min/max macros over std::min/std::max, and the wide-character API.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE)
# M_PI and its kin, which mingw's <math.h> keeps behind this in standard C++ mode.
add_compile_definitions(_USE_MATH_DEFINES)
# GL/glu.h wants CALLBACK from <windows.h>, which the GL code does not include (libepoxy's
# header gives the rest); the same definition as Windows' own, so the two never disagree.
add_compile_definitions(CALLBACK=__stdcall)

# Dear ImGui's core as a library, its backends as sources, stb's implementations as a library.
set(IMGUI_BACKENDS ${DE_WINDOWS_PREFIX}/share/imgui/backends)
set(IMGUI_INCLUDE ${DE_WINDOWS_PREFIX}/include/imgui)
add_library(imgui STATIC IMPORTED)
set_target_properties(imgui PROPERTIES IMPORTED_LOCATION ${DE_WINDOWS_PREFIX}/lib/libimgui.a)
add_library(stb STATIC IMPORTED)
set_target_properties(stb PROPERTIES IMPORTED_LOCATION ${DE_WINDOWS_PREFIX}/lib/libstb.a
  INTERFACE_INCLUDE_DIRECTORIES ${DE_WINDOWS_PREFIX}/include/stb)

# SDL's pkg-config file is written for programs whose main SDL replaces and which are all
# windowed (-Dmain=SDL_main, -mwindows). The programs here keep their own main, and only
# demoengine is windowed (vkd and vkg are console tools), so both go.
function(de_windows_static_sdl)
  foreach(property INTERFACE_COMPILE_OPTIONS INTERFACE_COMPILE_DEFINITIONS INTERFACE_LINK_OPTIONS
                   INTERFACE_LINK_LIBRARIES)
    get_target_property(values PkgConfig::SDL2 ${property})
    if(values)
      list(FILTER values EXCLUDE REGEX "^(-Dmain=SDL_main|main=SDL_main|-mwindows|.*SDL2main.*)$")
      set_target_properties(PkgConfig::SDL2 PROPERTIES ${property} "${values}")
    endif()
  endforeach()
endfunction()
