# Installs the build into a fresh prefix and checks that the program, its codec library, the
# desktop entry and the icon arrive, and that the entry starts the program with that icon.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/glimmervellium lib/libpicodec.so.1 share/applications/glimmervellium.desktop
             share/icons/hicolor/scalable/apps/glimmervellium.svg)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/glimmervellium.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Glimmervellium 1.0" "Exec=glimmervellium"
             "Icon=glimmervellium")
  list(FIND entry "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks: ${line}")
  endif()
endforeach()
